#pragma once
// A whole window with the start-up, editor, value-entry and help units, in a
// fresh temporary current directory, its boxes answered and recorded.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "BufferEditor.h"
#include "Dialogs.h"
#include "Help.h"
#include "Startup.h"
#include "Usb_Velmar.h"
#include "ValueEntry.h"
#include "WindowFonts.h"
#include "devices/ProgramState.h"
#include "link/D2XXApi.h"

namespace velmar::test {

inline QApplication& App() {
    static int argc = 1;
    static char name[] = "velmar-ui-test";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        auto* created = new QApplication(argc, argv);
        ui::UseWindowStyle();
        return created;
    }();
    return *app;
}

// A USB door with nothing behind it.
namespace nodevice {
inline FT_STATUS List(void* arg1, void*, DWORD flags) {
    if (flags & FT_LIST_NUMBER_ONLY) *static_cast<DWORD*>(arg1) = 0;
    return FT_OK;
}
inline FT_STATUS Open(void*, DWORD, FT_HANDLE*) {
    return FT_DEVICE_NOT_FOUND;
}
inline FT_STATUS Handle(FT_HANDLE) {
    return FT_INVALID_HANDLE;
}
inline FT_STATUS Timeouts(FT_HANDLE, ULONG, ULONG) {
    return FT_INVALID_HANDLE;
}
inline FT_STATUS Queue(FT_HANDLE, DWORD*) {
    return FT_INVALID_HANDLE;
}
inline FT_STATUS Transfer(FT_HANDLE, void*, DWORD, DWORD* done) {
    *done = 0;
    return FT_INVALID_HANDLE;
}
inline FT_STATUS Latency(FT_HANDLE, UCHAR) {
    return FT_INVALID_HANDLE;
}
} // namespace nodevice

inline const D2XXBackend& NoDeviceBackend() {
    static const D2XXBackend table{"none",           nodevice::List,     nodevice::Open,
                                   nodevice::Handle, nodevice::Handle,   nodevice::Timeouts,
                                   nodevice::Queue,  nodevice::Transfer, nodevice::Transfer,
                                   nodevice::Latency};
    return table;
}

inline void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

class UiFixture : public ::testing::Test {
  protected:
    virtual const D2XXBackend& Backend() { return NoDeviceBackend(); }

    void SetUp() override {
        App();
        ASSERT_TRUE(dir_.isValid());
        previousDir_ = QDir::currentPath();
        ASSERT_TRUE(QDir::setCurrent(dir_.path()));
        ui::DialogHook() = [this](const ui::DialogRequest& request) {
            requests.push_back(request);
            ui::DialogAnswer answer;
            answer.Accepted =
                request.Kind == ui::DialogKind::Message ? questionAnswer : !chosenFile.empty();
            answer.FileName = chosenFile;
            return answer;
        };
        state = std::make_unique<ProgramState>(Backend());
        form = std::make_unique<TMainForm>(*state);
        startup = new ui::Startup(form->StartupParts(), *state);
        editor = new ui::BufferEditor(form->EditorParts(), *state);
        entry = new ui::ValueEntry(form->EntryParts(), *state);
        help = new ui::Help(form->HelpParts(), *state);
    }

    void TearDown() override {
        // Hidden first, as at the end of a run: the window gives up the focus.
        form->hide();
        form.reset();
        state.reset();
        ui::DialogHook() = nullptr;
        QDir::setCurrent(previousDir_);
    }

    // Shows the window and makes it the active one, so focus moves as a
    // user's clicks would move it.
    void ShowActive() {
        form->show();
        form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    }

    // With the system's separators, as the window shows and stores paths.
    std::string Path(const std::string& name) const {
        return (std::filesystem::path(dir_.path().toStdString()) / name).make_preferred().string();
    }

    std::vector<std::string> MessageTexts() const {
        std::vector<std::string> texts;
        for (const auto& r : requests)
            if (r.Kind == ui::DialogKind::Message) texts.push_back(r.Text);
        return texts;
    }

    std::unique_ptr<ProgramState> state;
    std::unique_ptr<TMainForm> form;
    ui::Startup* startup = nullptr;
    ui::BufferEditor* editor = nullptr;
    ui::ValueEntry* entry = nullptr;
    ui::Help* help = nullptr;
    std::vector<ui::DialogRequest> requests;
    bool questionAnswer = false;
    std::string chosenFile;

  private:
    QTemporaryDir dir_;
    QString previousDir_;
};

} // namespace velmar::test

// A 32 KiB 87C58H verify in which every byte differs, on the virtual
// programmer with its timing model on: the window's Verify button (its
// 32,768 difference lines drawn as they come), and the window's whole
// sequence of search, device, load and verify, against velmar-cli verify of
// the same image and chip as a whole process. Prints the times, the CPU
// each used and the ratios. Usage: ui_window_verify_bench [runs]
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBlock>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "Dialogs.h"
#include "FileDrop.h"
#include "Usb_Velmar.h"
#include "devices/DeviceCatalogue.h"
#include "devices/DeviceOperations.h"
#include "devices/ProgramState.h"
#include "virtual/VirtualBackend.h"
#include "virtual/VirtualProgrammer.h"

namespace {

using Clock = std::chrono::steady_clock;

double CpuMs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

double MsSince(Clock::time_point t0) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

double ChildrenCpuMs() {
    rusage u{};
    getrusage(RUSAGE_CHILDREN, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 +
           (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
}

double cliCpuMs = 0; // of the last run

double CliVerifyMs(const std::string& chip, const std::string& image) {
    const double cpu0 = ChildrenCpuMs();
    const std::vector<std::string> args = {
        VELMAR_CLI, "--virtual=timing=on,chip=" + chip, "--device", "87C58H", "verify", image};
    const auto t0 = Clock::now();
    std::fflush(stdout);
    const pid_t pid = fork();
    if (pid == 0) {
        std::vector<char*> argv;
        for (const auto& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        if (!std::freopen("/dev/null", "w", stdout) || !std::freopen("/dev/null", "w", stderr))
            _exit(127);
        execv(VELMAR_CLI, argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    const double ms = MsSince(t0);
    cliCpuMs = ChildrenCpuMs() - cpu0;
    // 1: the operation failed, as a verify that differs everywhere must.
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 1) {
        std::fprintf(stderr, "velmar-cli verify: unexpected status %d\n", status);
        std::exit(1);
    }
    return ms;
}

struct WindowRun {
    double totalMs = 0;  // search, device, load, verify
    double verifyMs = 0; // the Verify button alone
    double verifyCpuMs = 0;
    double searchMs = 0;
    double selectLoadMs = 0;
};

WindowRun WindowVerify(const std::string& chip, const std::string& image) {
    velmar::VirtualOptions options;
    options.Timing = true;
    options.ChipFile = chip;
    velmar::VirtualProgrammer::Instance().Reset(options);
    velmar::ProgramState state(velmar::VirtualBackend());
    TMainForm form(state);
    auto* drop = form.findChild<velmar::ui::FileDrop*>();
    form.show();
    QCoreApplication::processEvents();

    WindowRun run;
    const auto t0 = Clock::now();
    form.StaticText3Click();
    run.searchMs = MsSince(t0);
    const auto ts = Clock::now();
    form.Device->click();
    const auto& rows = velmar::DeviceCatalogue();
    const auto row =
        std::find_if(rows.begin(), rows.end(), [](const auto& r) { return r.Caption == "87C58H"; });
    form.Device_Box->setCurrentRow(static_cast<int>(row - rows.begin()));
    emit form.Device_Box->itemClicked(form.Device_Box->currentItem());
    if (!drop || !drop->LoadDroppedFile(image)) {
        std::fprintf(stderr, "the window did not load %s\n", image.c_str());
        std::exit(1);
    }
    run.selectLoadMs = MsSince(ts);
    const auto t1 = Clock::now();
    const double cpu1 = CpuMs();
    form.Verify->click();
    run.verifyMs = MsSince(t1);
    run.verifyCpuMs = CpuMs() - cpu1;
    run.totalMs = MsSince(t0);

    const int lines = form.Memo1->document()->blockCount();
    if (lines != 0x8000 ||
        form.StaticText3->text() != QStringLiteral("Device Did NOT Verify to Buffer....")) {
        std::fprintf(stderr, "the window's verify showed %d lines, banner \"%s\"\n", lines,
                     form.StaticText3->text().toStdString().c_str());
        std::exit(1);
    }
    return run;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    // Adapter prompts and the like: answered OK.
    velmar::ui::DialogHook() = [](const velmar::ui::DialogRequest&) {
        return velmar::ui::DialogAnswer{true, {}};
    };

    const std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                      ("velmar-window-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const std::string image = (dir / "image.bin").string();
    const std::string chip = (dir / "chip.bin").string();
    std::vector<char> data(0x8000);
    std::mt19937 gen(58);
    for (auto& b : data)
        b = static_cast<char>(gen());
    std::ofstream(image, std::ios::binary)
        .write(data.data(), static_cast<std::streamsize>(data.size()));
    for (auto& b : data)
        b = static_cast<char>(~b); // every byte differs
    std::ofstream(chip, std::ios::binary)
        .write(data.data(), static_cast<std::streamsize>(data.size()));

    std::printf("87C58H, 32 KiB, every byte differs; virtual programmer, timing on; platform %s\n",
                QGuiApplication::platformName().toStdString().c_str());
    std::vector<double> cli, window, verify;
    for (int i = 0; i < runs; ++i) {
        cli.push_back(CliVerifyMs(chip, image));
        const WindowRun w = WindowVerify(chip, image);
        window.push_back(w.totalMs);
        verify.push_back(w.verifyMs);
        std::printf("run %d: velmar-cli verify %7.1f ms (%.1f ms CPU)   window %7.1f ms (search "
                    "%.1f, device and "
                    "load %.1f, Verify button %.1f ms, %.1f ms CPU)\n",
                    i + 1, cli.back(), cliCpuMs, window.back(), w.searchMs, w.selectLoadMs,
                    verify.back(), w.verifyCpuMs);
        std::fflush(stdout);
    }
    const double c = Median(cli);
    const double w = Median(window);
    const double v = Median(verify);
    // The whole window sequence also runs the operation frames of device
    // selection and loading, each with its idle packets; the command line
    // has none of those.
    std::printf("median: velmar-cli verify %.1f ms; window Verify button %.1f ms, ratio %.2f; "
                "window search + device + load + verify %.1f ms, ratio %.2f\n",
                c, v, v / c, w, w / c);
    std::filesystem::remove_all(dir);
    return 0;
}

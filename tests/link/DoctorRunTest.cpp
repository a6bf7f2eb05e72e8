// velmar-cli doctor names the cause and the one fix for each way a
// programmer can stay out of reach, played by the libusb stand-in, and
// reports the virtual programmer's bridges.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "tests/support/ProcessRunner.h"

namespace velmar {
namespace {

struct Doctor {
    int exit = -1;
    std::string out;
};

class DoctorRun : public ::testing::Test {
  protected:
    void SetUp() override {
        root_ = std::filesystem::temp_directory_path() /
                ("velmar-doctor-" + std::to_string(std::random_device{}()));
        std::filesystem::create_directories(root_ / "dev/bus/usb/001");
        const std::string node = (root_ / "dev/bus/usb/001/002").string();
        std::ofstream(node).put('\n');
        chmod(node.c_str(), 0664);
    }
    void TearDown() override { std::filesystem::remove_all(root_); }

    void InstallRule(const std::string& product) {
        std::filesystem::create_directories(root_ / "etc/udev/rules.d");
        std::ofstream(root_ / "etc/udev/rules.d/60-velmar.rules")
            << "# velmar\nSUBSYSTEM==\"usb\", ATTR{idVendor}==\"0403\", ATTR{idProduct}==\""
            << product << "\", TAG+=\"uaccess\"\n";
    }

    // `libraryPath`: where the loader looks for the vendor's library (the
    // virtual programmer's drop-in there, told `dropInOptions`).
    Doctor RunDoctor(const std::string& program, const std::vector<std::string>& args,
                     const std::string& standIn, const std::string& libraryPath = "",
                     const std::string& dropInOptions = "") {
        test::ProcessOptions o;
        o.outPath = (root_ / "out").string();
        const std::string faults = (root_ / "faults").string();
        const std::string options = (root_ / "virtual-options").string();
        std::ofstream(options) << dropInOptions << "\n";
        o.env = {"VELMAR_STANDIN=" + standIn, "VELMAR_STANDIN_FAULTS=" + faults,
                 "VELMAR_DOCTOR_ROOT=" + root_.string(), "LD_LIBRARY_PATH=" + libraryPath,
                 "VELMAR_VIRTUAL_OPTIONS=" + options};
        Doctor d;
        d.exit = test::RunProcess(program, args, o);
        std::ifstream in(o.outPath);
        d.out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        std::ifstream f(faults);
        const std::string recorded{std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
        EXPECT_EQ(recorded, "") << standIn;
        return d;
    }

    Doctor OnBus(const std::string& standIn) { return RunDoctor(VELMAR_CLI_ON_STANDIN, {"--usb", "doctor"}, standIn); }

    std::filesystem::path root_;
};

bool Says(const Doctor& d, const std::string& text) {
    return d.out.find(text) != std::string::npos;
}

TEST_F(DoctorRun, AHealthyBridgeIsDescribedAndAnswers) {
    InstallRule("6001");
    const Doctor d = OnBus("bridge=ft232r");
    EXPECT_EQ(d.exit, 0) << d.out;
    EXPECT_TRUE(Says(d, "driver: libftdi1 ")) << d.out;
    EXPECT_TRUE(Says(d, "bridge 1: 0403:6001 FT232R, serial BP123001, \"Brindle Programmer\", channel A, bus 001 device 002")) << d.out;
    EXPECT_TRUE(Says(d, "device node /dev/bus/usb/001/002: ")) << d.out;
    EXPECT_TRUE(Says(d, " 0664, ")) << d.out;
    EXPECT_TRUE(Says(d, "udev rule /etc/udev/rules.d/60-velmar.rules: names 0403:6001")) << d.out;
    EXPECT_TRUE(Says(d, "version query: answered, firmware 1.23")) << d.out;
    EXPECT_FALSE(Says(d, "problem:")) << d.out;
}

TEST_F(DoctorRun, EachProblemIsNamedWithItsFix) {
    struct Case {
        const char* standIn;
        const char* problem;
        const char* fix;
    };
    const Case cases[] = {
        {"bridge=none", "problem: no FTDI bridge is on the bus", "fix: plug the programmer in"},
        {"bridge=ft232r,access=denied",
         "problem: this user may not open the bridge (LIBUSB_ERROR_ACCESS)",
         "fix: install velmar's udev rule and replug"},
        {"bridge=ft232r,claimed=elsewhere", "problem: another program has claimed the bridge",
         "fix: close the other program"},
        {"bridge=ft232r,firmware=silent",
         "problem: the bridge opened but did not answer the version query",
         "fix: unplug and replug the programmer"},
    };
    for (const Case& c : cases) {
        const Doctor d = OnBus(c.standIn);
        EXPECT_EQ(d.exit, 1) << c.standIn << "\n" << d.out;
        EXPECT_TRUE(Says(d, c.problem)) << c.standIn << "\n" << d.out;
        EXPECT_TRUE(Says(d, c.fix)) << c.standIn << "\n" << d.out;
        // The fix follows its problem directly.
        EXPECT_EQ(d.out.find("\n  fix: ", d.out.find("problem:")),
                  d.out.find('\n', d.out.find("problem:")))
            << d.out;
    }

    // A rule that does not name the bridge is the cause, not a missing one.
    InstallRule("6010");
    const Doctor wrongRule = OnBus("bridge=ft232r,access=denied");
    EXPECT_TRUE(Says(wrongRule, "does not name 0403:6001: install the package's rule")) << wrongRule.out;

    // ftdi_sio is only a fact for the libftdi1 door, which detaches it.
    const Doctor sio = OnBus("bridge=ft232h,sio=bound");
    EXPECT_EQ(sio.exit, 0) << sio.out;
    EXPECT_TRUE(Says(sio, "0403:6014 FT232H")) << sio.out;
    EXPECT_TRUE(Says(sio, "kernel driver: ftdi_sio holds the channel")) << sio.out;
}

TEST_F(DoctorRun, TheVirtualProgrammerShowsItsBridges) {
    const Doctor one = RunDoctor(VELMAR_CLI, {"--virtual", "doctor"}, "");
    EXPECT_EQ(one.exit, 0) << one.out;
    EXPECT_TRUE(Says(one, "bridge 1: virtual, serial BP123001, \"Brindle Programmer\"")) << one.out;
    const Doctor two = RunDoctor(VELMAR_CLI, {"--virtual=devices=2", "doctor"}, "");
    EXPECT_EQ(two.exit, 0) << two.out;
    EXPECT_TRUE(Says(two, "bridge 2: virtual, serial FT4Q7Z2K")) << two.out;
    EXPECT_TRUE(Says(two, "version query: no answer")) << two.out;
    const Doctor none = RunDoctor(VELMAR_CLI, {"--virtual=devices=0", "doctor"}, "");
    EXPECT_EQ(none.exit, 1) << none.out;
    EXPECT_TRUE(Says(none, "result: no programmer answered")) << none.out;
}

// The vendor's library as the driver (the drop-in plays it): the doctor lists
// the bridges it lists and asks through it, as probe does, adding what the bus
// shows of the same bridge; a bus bridge the library cannot list is explained.
TEST_F(DoctorRun, TheVendorLibraryListsAndAsksWhenItIsTheDriver) {
    const Doctor alone = RunDoctor(VELMAR_CLI, {"--usb", "doctor"}, "", VELMAR_DROPIN_DIR);
    EXPECT_EQ(alone.exit, 0) << alone.out;
    EXPECT_TRUE(Says(alone, "driver: the vendor's D2XX library ")) << alone.out;
    EXPECT_TRUE(Says(alone, "bridge 1: serial BP123001, \"Brindle Programmer\"\n")) << alone.out;
    EXPECT_TRUE(Says(alone, "version query: answered, firmware 1.23")) << alone.out;
    EXPECT_TRUE(Says(alone, "result: a programmer answered (firmware 1.23)")) << alone.out;

    InstallRule("6001");
    const Doctor both =
        RunDoctor(VELMAR_CLI_ON_STANDIN, {"--usb", "doctor"}, "bridge=ft232r", VELMAR_DROPIN_DIR);
    EXPECT_EQ(both.exit, 0) << both.out;
    EXPECT_TRUE(Says(both, "bridges: 1, as the vendor's library lists them")) << both.out;
    EXPECT_TRUE(Says(both, "bridge 1: 0403:6001 FT232R, serial BP123001")) << both.out;
    EXPECT_TRUE(Says(both, "udev rule /etc/udev/rules.d/60-velmar.rules: names 0403:6001"))
        << both.out;
    EXPECT_TRUE(Says(both, "version query: answered, firmware 1.23")) << both.out;
    EXPECT_FALSE(Says(both, "problem:")) << both.out;

    // The library lists nothing: the bus says why, or that there is nothing.
    const Doctor held = RunDoctor(VELMAR_CLI_ON_STANDIN, {"--usb", "doctor"},
                                  "bridge=ft232r,sio=bound", VELMAR_DROPIN_DIR, "devices=0");
    EXPECT_EQ(held.exit, 1) << held.out;
    EXPECT_TRUE(Says(held, "bridges: 0, as the vendor's library lists them")) << held.out;
    EXPECT_TRUE(Says(held, "problem: the vendor's D2XX library cannot open a bridge that "
                           "ftdi_sio holds"))
        << held.out;
    const Doctor none = RunDoctor(VELMAR_CLI_ON_STANDIN, {"--usb", "doctor"}, "bridge=none",
                                  VELMAR_DROPIN_DIR, "devices=0");
    EXPECT_EQ(none.exit, 1) << none.out;
    EXPECT_TRUE(Says(none, "problem: no FTDI bridge is listed by the vendor's D2XX library"))
        << none.out;
    EXPECT_TRUE(Says(none, "result: no programmer answered")) << none.out;
}

} // namespace
} // namespace velmar

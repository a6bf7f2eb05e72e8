// Each fault of the socket gives its own diagnosis after the failed run, and
// a run that passes names none.

#include <gtest/gtest.h>

#include "devices/DeviceOperations.h"
#include "devices/DiagnosisRead.h"
#include "tests/devices/VirtualRig.h"
#include "virtual/VirtualOptions.h"

namespace velmar::test {
namespace {

constexpr int k87C51H = 9; // 4K, erased 0xFF
constexpr int k8748 = 3;   // 1K, erased 0x00

VirtualOptions Faulty(const std::string& text) {
    VirtualOptions options;
    std::string error;
    EXPECT_TRUE(ParseVirtualOptions(text, options, error)) << error;
    return options;
}

// The one diagnosis of the panel, or "" when there was none.
std::string Named(const VirtualRig& rig) {
    EXPECT_LE(rig.panel.diagnoses.size(), 1u);
    return rig.panel.diagnoses.empty() ? "" : rig.panel.diagnoses.front();
}

bool Starts(const std::string& line, const std::string& text) {
    return line.rfind("diagnosis: " + text, 0) == 0;
}

// Programs the rig's image and verifies it (automatic verify).
std::string ProgramAndVerify(const std::string& faults, int row = k87C51H) {
    VirtualRig rig(row, Faulty(faults));
    rig.Image(7);
    tasks::Program(rig.S());
    EXPECT_EQ(rig.panel.LastSucceeded(), false);
    return Named(rig);
}

TEST(FailureDiagnosis, AHealthyRunNamesNone) {
    VirtualRig blank(k87C51H);
    tasks::BlankCheck(blank.S());
    EXPECT_EQ(blank.panel.LastSucceeded(), true);
    EXPECT_TRUE(blank.panel.diagnoses.empty());
    VirtualRig good(k87C51H);
    good.Image(3);
    tasks::Program(good.S());
    EXPECT_EQ(good.panel.LastSucceeded(), true);
    EXPECT_TRUE(good.panel.diagnoses.empty());
}

TEST(FailureDiagnosis, AStuckDataLine) {
    EXPECT_TRUE(Starts(ProgramAndVerify("stuck-data=3:0"),
                       "data line D3 reads 0 wherever 1 was expected: a bent pin, a bad contact "
                       "in the socket, or a dead output ("));
    EXPECT_TRUE(Starts(ProgramAndVerify("stuck-data=6:1"), "data line D6 reads 1 wherever 0"));
}

TEST(FailureDiagnosis, AnOpenAddressLine) {
    VirtualRig rig(k87C51H, Faulty("open-address=9"));
    rig.Image(11);
    for (std::size_t a = 0; a < rig.Vp().Chip().size(); ++a)
        rig.Vp().Chip()[a] = rig.S().Buffer[static_cast<std::int32_t>(a)];
    tasks::Verify(rig.S());
    EXPECT_TRUE(Starts(Named(rig), "address line A9 seems stuck: bytes at xx1xxxxxxxxx read their "
                                   "twins at xx0xxxxxxxxx ("))
        << Named(rig);
}

TEST(FailureDiagnosis, AnEmptyOrReversedSocket) {
    const std::string none =
        "no part in the socket, or a part the wrong way round or of another type (";
    for (const char* fault : {"no-chip", "reversed"}) {
        // The part refuses the first block: read back, it names the cause.
        VirtualRig rig(k87C51H, Faulty(fault));
        rig.Image(5);
        tasks::Program(rig.S());
        EXPECT_EQ(rig.panel.Status(), "Eprom DID NOT Program.............");
        EXPECT_TRUE(rig.panel.diagnoses.empty());
        DiagnoseProgramming(rig.S(), 0x00FF);
        EXPECT_EQ(rig.panel.LastSucceeded(), false);
        EXPECT_TRUE(Starts(Named(rig), none)) << fault << ": " << Named(rig);
    }
    // The empty socket of an 874X part reads 0xFF, not its erased 0x00.
    VirtualRig rig(k8748, Faulty("no-chip"));
    tasks::BlankCheck(rig.S());
    EXPECT_TRUE(Starts(Named(rig), none)) << Named(rig);
}

TEST(FailureDiagnosis, AnUnderErasedPart) {
    const std::string text =
        "the part was not fully erased (UV parts: longer in the eraser; flash: erase first) (";
    for (int row : {k87C51H, k8748}) {
        VirtualRig rig(row, Faulty("under-erased=3"));
        tasks::BlankCheck(rig.S());
        EXPECT_EQ(rig.panel.LastSucceeded(), false);
        EXPECT_TRUE(Starts(Named(rig), text)) << Named(rig);
    }
}

TEST(FailureDiagnosis, WeakCellsLeaveBitsUnprogrammed) {
    EXPECT_TRUE(
        Starts(ProgramAndVerify("weak-cells=2"),
               "bits did not take: Vpp too low, the wrong part selected, or a tired part ("));
}

TEST(FailureDiagnosis, AFewBytesAreTheFileOrThePartUnlessJustProgrammed) {
    // A few weak cells in 0000-01FF: the program's own verify has no file to
    // doubt; a later verify against the buffer does.
    VirtualRig rig(k87C51H, Faulty("weak-cells=1"));
    rig.Image(13);
    rig.S().Window.DeviceEnd = 0x01FF;
    tasks::Program(rig.S());
    EXPECT_EQ(rig.panel.LastSucceeded(), false);
    const std::string programmed = Named(rig);
    EXPECT_TRUE(Starts(programmed, "bits did not take: Vpp too low, the wrong part selected, or "
                                   "a tired part ("))
        << programmed;
    EXPECT_NE(programmed.find(" bytes from "), std::string::npos);
    rig.panel.diagnoses.clear();
    tasks::Verify(rig.S());
    EXPECT_TRUE(Starts(Named(rig), "bits did not take: Vpp too low, the wrong part selected, or "
                                   "a tired part, or the file differs ("))
        << Named(rig);
}

TEST(FailureDiagnosis, ARefusedBlockIsReadBackAndNamed) {
    VirtualRig rig(k87C51H, Faulty("fail-block=0240"));
    rig.Image(17);
    const OperationResult result = tasks::Program(rig.S());
    EXPECT_EQ(rig.panel.Status(), "Eprom DID NOT Program.............");
    EXPECT_EQ(result.StoppedAt, 0x0300);
    EXPECT_TRUE(rig.panel.diagnoses.empty());
    const DifferenceCount found = DiagnoseProgramming(rig.S(), result.StoppedAt - 1);
    EXPECT_EQ(rig.panel.LastSucceeded(), false);
    EXPECT_TRUE(Starts(Named(rig), "block 0200 did not program: the programmer gave up on it ("))
        << Named(rig);
    // The count the caller gets is the diagnosis' own.
    EXPECT_GT(found.Bytes, 0);
    EXPECT_EQ(found.First, 0x0240);
    EXPECT_LE(found.Last, 0x02FF);
    EXPECT_NE(Named(rig).find(" in " + std::to_string(found.Bytes) + " bytes from 0240 to "),
              std::string::npos)
        << Named(rig);
}

TEST(FailureDiagnosis, CellsThatReadDifferentlyEachTime) {
    VirtualRig rig(k87C51H, Faulty("weak-bits=0100:FF;0345:3C;0ABC:F0;0F00:0F"));
    rig.S().Buffer.Fill(0xFF);
    const long before = rig.Count(ReadBlock);
    tasks::Verify(rig.S());
    EXPECT_EQ(rig.panel.LastSucceeded(), false);
    EXPECT_TRUE(Starts(Named(rig), "the part reads differently each time: a loose contact or weak "
                                   "cells (try read --passes) ("))
        << Named(rig);
    EXPECT_EQ(rig.Count(ReadBlock) - before, 4); // the range was read twice
}

} // namespace
} // namespace velmar::test

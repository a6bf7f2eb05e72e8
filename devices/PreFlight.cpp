#include "PreFlight.h"

#include "DeviceCatalogue.h"
#include "DiagnosisRead.h"
#include "OperationFrame.h"
#include "buffer/HexText.h"

namespace velmar {

namespace {
constexpr std::int32_t kBlock = 256;
// Data starting this far into the part cannot have the reset vector in front.
constexpr std::int32_t kFarFromStart = 0x100;

// An MCS-48 reset jump takes two bytes, an MCS-51 one three.
int ResetVectorBytes(const CatalogueRow& part) {
    return part.Can().Cpu == Cpu::Mcs48 ? 2 : 3;
}
} // namespace

std::vector<std::uint8_t> ImageOfRange(const ProgramState& state, std::uint8_t outside) {
    const AddressWindow& w = state.Window;
    std::vector<std::uint8_t> bytes;
    for (std::int64_t i = 0; i <= std::int64_t{w.DeviceEnd} - w.DeviceStart; ++i) {
        const std::int64_t position = w.BufferStart + i;
        bytes.push_back(DataBuffer::Contains(position)
                            ? state.Buffer[static_cast<std::int32_t>(position)]
                            : outside);
    }
    return bytes;
}

std::optional<std::string> OriginWarning(const ProgramState& state, std::uint8_t fill,
                                         const CatalogueRow& part) {
    const std::vector<std::uint8_t> image = ImageOfRange(state, fill);
    std::size_t first = 0;
    while (first < image.size() && image[first] == fill)
        ++first;
    if (first == image.size()) return std::nullopt;
    const std::int32_t start = state.Window.DeviceStart;
    if (first >= static_cast<std::size_t>(kFarFromStart))
        return "the image's data start at " + HexText(start + static_cast<std::int32_t>(first), 4) +
               ", the part's code starts at " + HexText(start, 4) + ": wrong --offset?";
    const int vector = ResetVectorBytes(part);
    if (first < static_cast<std::size_t>(vector)) return std::nullopt;
    return "the image's reset vector (" + HexText(start, 4) + "-" + HexText(start + vector - 1, 4) +
           ") holds only " + HexText(fill, 2) + ": the part would not start";
}

PartFit FitPart(std::int32_t start, const std::vector<std::uint8_t>& image,
                const std::vector<std::uint8_t>& part, std::uint8_t erased) {
    PartFit fit;
    for (std::size_t i = 0; i < image.size() && i < part.size(); ++i) {
        ++fit.total;
        if (image[i] == part[i]) {
            ++fit.alreadyRight;
            continue;
        }
        // Programming only moves bits away from the erased value.
        const unsigned moved = part[i] ^ erased;
        const unsigned wanted = image[i] ^ erased;
        if ((moved & ~wanted) == 0) continue;
        if (fit.cannotTake++ == 0) {
            fit.firstAddress = start + static_cast<std::int32_t>(i);
            fit.holds = part[i];
            fit.image = image[i];
        }
    }
    return fit;
}

std::string RefusalText(const PartFit& fit) {
    return std::to_string(fit.cannotTake) +
           (fit.cannotTake == 1 ? " byte cannot" : " bytes cannot") +
           " take the image: the part is not blank where the image needs erased bits; first " +
           HexText(fit.firstAddress, 4) + ": holds " + HexText(fit.holds, 2) + ", image " +
           HexText(fit.image, 2);
}

std::vector<std::int32_t> ChangedBlocks(std::int32_t start, const std::vector<std::uint8_t>& image,
                                        const std::vector<std::uint8_t>& part) {
    std::vector<std::int32_t> blocks;
    for (std::size_t i = 0; i < image.size(); i += kBlock) {
        bool differs = false;
        for (std::size_t j = i; j < i + kBlock && j < image.size() && !differs; ++j)
            differs = j >= part.size() || image[j] != part[j];
        if (differs) blocks.push_back(start + static_cast<std::int32_t>(i));
    }
    return blocks;
}

std::optional<std::vector<std::uint8_t>> ReadPartBeforeProgramming(ProgramState& state) {
    BeginOperation(state);
    const unsigned mark = state.Link.FrameFaultMark;
    state.Panel->QuitOffered();
    state.Panel->Status("Reading Device before programming....");
    std::optional<std::vector<std::uint8_t>> part;
    if (state.Link.IsOpen() && !LinkFailedSince(state, mark)) part = ReadDeviceRange(state);
    if (!part || LinkFailedSince(state, mark)) {
        part.reset();
        state.FailFlag = true;
        state.Panel->Status("Device could NOT be read before programming....");
    }
    EndDeviceOperation(state, mark, "Device could NOT be read before programming....");
    if (state.FailFlag) part.reset();
    return part;
}

} // namespace velmar

#include "VirtualSession.h"

#include <cerrno>
#include <cstring>
#include <fstream>

#include "Platform.h"
#include "devices/DeviceCatalogue.h"
#include "virtual/VirtualProgrammer.h"

namespace velmar::cli {

namespace {

// Looked at, not opened: the programmer opens the chip file once itself.
bool Readable(const std::string& path, std::string& error) {
    int number = 0;
    if (platform::FileReadable(path, number)) return true;
    error = "cannot read " + path + ": " + std::strerror(number);
    return false;
}

// The trace of this run only: an existing file is emptied first.
bool Truncate(const std::string& path, std::string& error) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (out) return true;
    error = "cannot write " + path + ": " + std::strerror(errno);
    return false;
}

} // namespace

bool VirtualSession::Start(const Arguments& arguments, std::string& error) {
    VirtualOptions options;
    if (!ParseVirtualOptions(arguments.virtualOptions, options, error)) {
        error = "--virtual: " + error;
        return false;
    }
    if (!arguments.tracePath.empty()) options.TraceFile = arguments.tracePath;
    if (!options.TraceFile.empty() && !Truncate(options.TraceFile, error)) return false;
    if (!options.ChipFile.empty() && !Readable(options.ChipFile, error)) return false;

    if (arguments.catalogueRow >= 0) {
        const CatalogueRow& row =
            DeviceCatalogue()[static_cast<std::size_t>(arguments.catalogueRow)];
        if (!options.PartChosen()) {
            options.Family = row.Code();
            if (options.Size == 0) options.Size = static_cast<std::uint32_t>(row.DeviceEnd) + 1;
        }
    }
    VirtualProgrammer::Instance().Reset(options);
    return true;
}

const D2XXBackend& VirtualSession::Backend() const {
    return VirtualBackend();
}

std::function<void()> VirtualSession::PartSwap() const {
    if (!VirtualProgrammer::Instance().Options().Swap) return {};
    return [] { VirtualProgrammer::Instance().SwapPart(); };
}

bool VirtualSession::Finish(std::string& error) {
    const VirtualProgrammer& programmer = VirtualProgrammer::Instance();
    const std::string& path = programmer.Options().SaveChipFile;
    if (path.empty() || programmer.SaveChip(path)) return true;
    error = "cannot write " + path;
    return false;
}

} // namespace velmar::cli

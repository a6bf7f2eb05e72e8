#include "VirtualSession.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "devices/DeviceCatalogue.h"
#include "virtual/VirtualBackend.h"
#include "virtual/VirtualProgrammer.h"

namespace velmar::cli {

namespace {

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
    // Chips kept in a folder that is not there would be lost at the end.
    std::error_code ec;
    if (!options.StateDir.empty() && !std::filesystem::is_directory(options.StateDir, ec)) {
        error = "--virtual: state-dir " + options.StateDir + " is not a folder";
        return false;
    }
    if (!arguments.tracePath.empty()) options.TraceFile = arguments.tracePath;
    if (!options.TraceFile.empty() && !Truncate(options.TraceFile, error)) return false;

    if (arguments.catalogueRow >= 0) {
        const CatalogueRow& row =
            DeviceCatalogue()[static_cast<std::size_t>(arguments.catalogueRow)];
        if (!options.PartChosen()) {
            options.Family = row.Code();
            if (options.Size == 0) options.Size = static_cast<std::uint32_t>(row.DeviceEnd) + 1;
        }
    }
    VirtualProgrammer& programmer = VirtualProgrammer::Instance();
    programmer.Reset(options);
    // A chip file that gave nothing is not an erased part: the run was meant
    // for contents it does not have.
    if (!options.ChipFile.empty() && !programmer.ChipFileProblem().empty()) {
        error = "--virtual: chip=" + programmer.ChipFileProblem();
        return false;
    }
    return true;
}

const D2XXBackend& VirtualSession::Backend() const {
    return VirtualBackend();
}

std::function<void()> VirtualSession::PartSwap() const {
    if (!VirtualProgrammer::Instance().Options().Swap) return {};
    return [] { VirtualProgrammer::Instance().SwapPart(); };
}

int VirtualSession::TraceWriteFailed() const {
    return VirtualProgrammer::Instance().TraceWriteFailed();
}

std::string VirtualSession::TracePath() const {
    return VirtualProgrammer::Instance().Options().TraceFile;
}

bool VirtualSession::Finish(std::string& error) {
    const VirtualProgrammer& programmer = VirtualProgrammer::Instance();
    const std::string& path = programmer.Options().SaveChipFile;
    if (path.empty() || programmer.SaveChip(path)) return true;
    error = "cannot write " + path;
    return false;
}

} // namespace velmar::cli

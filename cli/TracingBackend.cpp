#include "TracingBackend.h"

#include <cerrno>

#include "virtual/PacketTrace.h"

namespace velmar::cli {

namespace {

const D2XXBackend* gInner = nullptr;
std::FILE* gTrace = nullptr;
std::FILE* gCopy = nullptr;
int gWriteError = 0; // errno of the first trace line that was not written

// One line to the trace; the first failure of a trace file is kept for the end.
void WriteLine(std::FILE* file, const std::string& line) {
    errno = 0;
    const bool written = std::fprintf(file, "%s\n", line.c_str()) >= 0 && std::fflush(file) == 0;
    // -vv's lines on the error stream are messages, not the trace file.
    if (!written && file != stderr && gWriteError == 0) gWriteError = errno != 0 ? errno : EIO;
}

FT_STATUS TracedListDevices(void* a1, void* a2, DWORD flags) {
    return gInner->ListDevices(a1, a2, flags);
}
FT_STATUS TracedOpenEx(void* a1, DWORD flags, FT_HANDLE* handle) {
    return gInner->OpenEx(a1, flags, handle);
}
FT_STATUS TracedClose(FT_HANDLE handle) {
    return gInner->Close(handle);
}
FT_STATUS TracedResetDevice(FT_HANDLE handle) {
    return gInner->ResetDevice(handle);
}
FT_STATUS TracedSetTimeouts(FT_HANDLE handle, ULONG readMs, ULONG writeMs) {
    return gInner->SetTimeouts(handle, readMs, writeMs);
}
FT_STATUS TracedGetQueueStatus(FT_HANDLE handle, DWORD* rx) {
    return gInner->GetQueueStatus(handle, rx);
}
FT_STATUS TracedWrite(FT_HANDLE handle, void* buffer, DWORD count, DWORD* written) {
    // Each write call is one packet: 8, 74 or 264 bytes as the host built it.
    if (gTrace != nullptr && buffer != nullptr && count > 0) {
        // The same line format as the virtual programmer's own trace.
        const std::string line = PacketTrace::Line(static_cast<const std::uint8_t*>(buffer), count);
        WriteLine(gTrace, line);
        if (gCopy != nullptr) WriteLine(gCopy, line);
    }
    return gInner->Write(handle, buffer, count, written);
}
FT_STATUS TracedRead(FT_HANDLE handle, void* buffer, DWORD count, DWORD* read) {
    return gInner->Read(handle, buffer, count, read);
}
FT_STATUS TracedSetLatencyTimer(FT_HANDLE handle, UCHAR ms) {
    return gInner->SetLatencyTimer(handle, ms);
}

D2XXBackend gTable{};

} // namespace

int TraceWriteFailed() {
    return gWriteError;
}

void TraceAlsoTo(std::FILE* copy) {
    gCopy = copy;
}

const D2XXBackend& TracingBackend(const D2XXBackend& inner, std::FILE* trace) {
    gInner = &inner;
    gTrace = trace;
    gTable =
        D2XXBackend{inner.name,           TracedListDevices,
                    TracedOpenEx,         TracedClose,
                    TracedResetDevice,    TracedSetTimeouts,
                    TracedGetQueueStatus, TracedWrite,
                    TracedRead,           inner.SetLatencyTimer ? TracedSetLatencyTimer : nullptr};
    return gTable;
}

} // namespace velmar::cli

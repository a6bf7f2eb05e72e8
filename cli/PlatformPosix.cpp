#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

#include "Platform.h"

namespace velmar::cli::platform {

namespace {

void (*gOnInterrupt)() = nullptr;

extern "C" void OnSigint(int) {
    if (gOnInterrupt) gOnInterrupt();
    std::signal(SIGINT, SIG_DFL);
}

} // namespace

// A file-size limit must end a write with an error (and the unfinished
// temporary file removed), not kill the process in the middle of it.
void InitConsole() {
    std::signal(SIGXFSZ, SIG_IGN);
}

bool IsTerminal(std::FILE* stream) {
    return ::isatty(::fileno(stream)) != 0;
}

void WriteErrorRaw(const char* text) {
    const ssize_t ignored = ::write(STDERR_FILENO, text, std::strlen(text));
    (void)ignored;
}

bool DirectoryWritable(const std::string& dir, int& errorNumber) {
    if (::access(dir.c_str(), W_OK) == 0) return true;
    errorNumber = errno;
    return false;
}

void InstallInterruptHandler(void (*onInterrupt)()) {
    gOnInterrupt = onInterrupt;
    std::signal(SIGINT, OnSigint);
}

bool FileReadable(const std::string& path, int& errorNumber) {
    if (::access(path.c_str(), R_OK) == 0) return true;
    errorNumber = errno;
    return false;
}

std::FILE* OpenMemoryStream(std::string& bytes) {
    return ::fmemopen(bytes.data(), bytes.size(), "rb");
}

} // namespace velmar::cli::platform

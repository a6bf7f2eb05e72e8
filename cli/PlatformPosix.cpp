#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <string>

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

std::string RegularFileIdentity(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return "";
    return std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino);
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

bool SyncToDisk(std::FILE* stream) {
    return std::fflush(stream) == 0 && ::fsync(::fileno(stream)) == 0;
}

std::string HostName() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0) return "";
    return name;
}

FileLock::~FileLock() {
    Unlock();
}

bool FileLock::Lock(const std::string& path, int& errorNumber) {
    Unlock();
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        errorNumber = errno;
        return false;
    }
    while (::flock(fd, LOCK_EX) != 0) {
        if (errno == EINTR) continue;
        errorNumber = errno;
        ::close(fd);
        return false;
    }
    handle_ = fd;
    return true;
}

void FileLock::Unlock() {
    if (handle_ < 0) return;
    ::close(static_cast<int>(handle_)); // closing gives the lock back
    handle_ = -1;
}

} // namespace velmar::cli::platform

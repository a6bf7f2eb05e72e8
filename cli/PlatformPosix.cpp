#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <string>

#include "Platform.h"

namespace velmar::cli::platform {

namespace {

void (*gOnInterrupt)() = nullptr;

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

// The first of them stops the run; from then on each one ends the process.
extern "C" void OnStopSignal(int) {
    if (gOnInterrupt) gOnInterrupt();
    for (int signal : kStopSignals)
        std::signal(signal, SIG_DFL);
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

namespace {

volatile std::sig_atomic_t gInstalled = 0;

void Route(bool restart) {
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = restart ? SA_RESTART : 0;
    for (int signal : kStopSignals) {
        struct sigaction before {};
        if (::sigaction(signal, nullptr, &before) != 0) continue;
        // A signal ignored by whoever started us (nohup) stays ignored; one
        // that already came and ended our handling stays ended.
        if (before.sa_handler == SIG_IGN && signal != SIGINT) continue;
        if (gInstalled != 0 && before.sa_handler != OnStopSignal) continue;
        ::sigaction(signal, &action, nullptr);
    }
    gInstalled = 1;
}

} // namespace

void InstallInterruptHandler(void (*onInterrupt)()) {
    gOnInterrupt = onInterrupt;
    gInstalled = 0;
    Route(true);
}

void SetWaitingReadsInterruptible(bool on) {
    if (gInstalled != 0) Route(!on);
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

long ProcessId() {
    return static_cast<long>(::getpid());
}

bool ProcessRuns(long pid) {
    if (pid <= 0) return true;
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH;
}

ReadOutcome ReadRegularFile(const std::string& path, std::string& text, int& errorNumber) {
    // O_NONBLOCK: opening a FIFO must not wait for a writer.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        errorNumber = errno;
        if (errno == ENOENT) return ReadOutcome::Missing;
        if (errno == EISDIR || errno == ENXIO) return ReadOutcome::NotRegular;
        return ReadOutcome::Failed;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        errorNumber = errno;
        ::close(fd);
        return ReadOutcome::NotRegular;
    }
    text.clear();
    char chunk[4096];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            errorNumber = errno;
            ::close(fd);
            return ReadOutcome::Failed;
        }
        text.append(chunk, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return ReadOutcome::Read;
}

namespace {

bool WriteAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool SyncFolderOf(const std::string& path) {
    std::string folder = std::filesystem::path(path).parent_path().string();
    if (folder.empty()) folder = ".";
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool synced = ::fsync(fd) == 0 || errno == EINVAL; // some file systems cannot
    ::close(fd);
    return synced;
}

} // namespace

bool ReplaceFileDurably(const std::string& path, const std::string& text, int& errorNumber) {
    const std::string temp = path + ".tmp-" + std::to_string(::getpid());
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        errorNumber = errno;
        return false;
    }
    if (!WriteAll(fd, text) || ::fsync(fd) != 0) {
        errorNumber = errno;
        ::close(fd);
        ::unlink(temp.c_str());
        return false;
    }
    if (::close(fd) != 0 || ::rename(temp.c_str(), path.c_str()) != 0) {
        errorNumber = errno;
        ::unlink(temp.c_str());
        return false;
    }
    if (!SyncFolderOf(path)) {
        errorNumber = errno;
        return false;
    }
    return true;
}

FileLock::~FileLock() {
    Unlock();
}

bool FileLock::Lock(const std::string& path, int& errorNumber,
                    const std::function<void()>& onBusy) {
    Unlock();
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        errorNumber = errno;
        return false;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK && onBusy) onBusy();
        while (::flock(fd, LOCK_EX) != 0) {
            if (errno == EINTR) continue;
            errorNumber = errno;
            ::close(fd);
            return false;
        }
    }
    handle_ = fd;
    return true;
}

void FileLock::Note(const std::string& text) {
    if (handle_ < 0) return;
    const int fd = static_cast<int>(handle_);
    if (::ftruncate(fd, 0) != 0 || ::lseek(fd, 0, SEEK_SET) != 0) return;
    WriteAll(fd, text);
}

void FileLock::Unlock() {
    if (handle_ < 0) return;
    ::close(static_cast<int>(handle_)); // closing gives the lock back
    handle_ = -1;
}

} // namespace velmar::cli::platform

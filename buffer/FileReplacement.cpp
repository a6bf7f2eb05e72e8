#include "FileReplacement.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>
#include <system_error>

#if defined(__unix__) || defined(__APPLE__)
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#define VELMAR_POSIX_FILES 1
#endif

namespace velmar {

namespace fs = std::filesystem;

FileReplacement::FileReplacement(std::string path) : path_(std::move(path)), target_(path_) {}

FileReplacement::~FileReplacement() {
    if (file_) std::fclose(file_);
#ifdef VELMAR_POSIX_FILES
    if (straightFd_ >= 0) ::close(straightFd_);
#endif
    if (!committed_ && !temp_.empty()) {
        std::error_code ec;
        fs::remove(temp_, ec);
    }
}

namespace {

enum class TargetKind { Absent, Regular, Straight, Refused };

// A symbolic link is followed: replacing it by a plain file would cut it.
std::string ResolveTarget(const std::string& path) {
    std::error_code ec;
    if (fs::is_symlink(fs::symlink_status(path, ec))) {
        fs::path resolved = fs::weakly_canonical(path, ec);
        if (!ec) return resolved.string();
    }
    return path;
}

// Renaming a file over a FIFO or a device node would replace the node
// itself: those are written in place, and other kinds are not written.
TargetKind Classify(const std::string& target, std::string& refusal) {
#ifdef VELMAR_POSIX_FILES
    struct stat info {};
    if (::stat(target.c_str(), &info) != 0) {
        // Writing through a dangling link would make a file wherever it
        // points; replacing it would cut the link.
        if (::lstat(target.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
            refusal = target + " is a symbolic link to a missing file";
            return TargetKind::Refused;
        }
        return TargetKind::Absent;
    }
    if (S_ISREG(info.st_mode)) return TargetKind::Regular;
    if (S_ISFIFO(info.st_mode) || S_ISCHR(info.st_mode)) return TargetKind::Straight;
    refusal = S_ISSOCK(info.st_mode)  ? "it is a socket, not a regular file"
              : S_ISBLK(info.st_mode) ? "it is a block device, not a regular file"
              : S_ISDIR(info.st_mode) ? std::string(std::strerror(EISDIR))
                                      : "it is not a regular file";
    return TargetKind::Refused;
#else
    std::error_code ec;
    if (!fs::exists(target, ec)) return TargetKind::Absent;
    if (fs::is_directory(target, ec)) {
        refusal = std::strerror(EISDIR);
        return TargetKind::Refused;
    }
    return TargetKind::Regular;
#endif
}

} // namespace

std::string OutputProblem(const std::string& path) {
    // Asked of the name as given: every link is followed, /dev/stdout too.
    std::string refusal;
    const TargetKind kind = Classify(path, refusal);
    if (kind == TargetKind::Refused) return refusal;
#ifdef VELMAR_POSIX_FILES
    std::string checked = path;
    if (kind == TargetKind::Absent) {
        const fs::path parent = fs::path(ResolveTarget(path)).parent_path();
        checked = parent.empty() ? "." : parent.string();
    }
    if (::access(checked.c_str(), W_OK) != 0) return std::strerror(errno);
#endif
    return {};
}

bool FileReplacement::Open() {
    // The kind is asked of the name as given, so that a link to a FIFO or
    // device (/dev/stdout) is written through; only a file is replaced at
    // the end of its links.
    std::string refusal;
    const TargetKind kind = Classify(path_, refusal);
    if (kind == TargetKind::Refused) {
        error_ = refusal;
        return false;
    }
    if (kind == TargetKind::Straight) return OpenStraight();
    target_ = ResolveTarget(path_);
#ifdef VELMAR_POSIX_FILES
    // A write-protected file stays protected, although a rename could replace it.
    if (::access(target_.c_str(), F_OK) == 0 && ::access(target_.c_str(), W_OK) != 0)
        return Fail("", errno);
#endif

    const fs::path target(target_);
    const fs::path dir = target.has_parent_path() ? target.parent_path() : fs::path(".");
    std::random_device seed;
    std::mt19937 random(seed());
    for (int attempt = 0; attempt < 16; ++attempt) {
        fs::path candidate = dir / ("." + target.filename().string() + "." +
                                    std::to_string(random() % 1000000) + ".tmp");
        errno = 0;
        file_ = std::fopen(candidate.string().c_str(), "wbx"); // never reuse an existing name
        if (file_) {
            temp_ = candidate.string();
            return true;
        }
        if (errno != EEXIST) return Fail("", errno);
    }
    return Fail("", EEXIST);
}

bool FileReplacement::OpenStraight() {
#ifdef VELMAR_POSIX_FILES
    // No O_CREAT and no O_TRUNC: whatever the name is by now, nothing is
    // created or cut. Opening a FIFO waits for its reader.
    int fd = -1;
    do {
        errno = 0;
        fd = ::open(target_.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return Fail("", errno);
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !(S_ISFIFO(info.st_mode) || S_ISCHR(info.st_mode))) {
        ::close(fd);
        error_ = "it changed while it was being opened";
        return false;
    }
    straightFd_ = fd;
    straight_ = true;
    return true;
#else
    return Fail("", ENOTSUP);
#endif
}

namespace {

#ifdef VELMAR_POSIX_FILES
// Writes everything to a FIFO or device. A reader that went away gives EPIPE
// here instead of a SIGPIPE that would end the program.
int WriteAll(int fd, const char* bytes, std::size_t size) {
    sigset_t pipeSignal, previous;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSignal, &previous);
    sigset_t pending;
    sigemptyset(&pending);
    sigpending(&pending);
    const bool alreadyPending = sigismember(&pending, SIGPIPE) == 1;
    int error = 0;
    while (size > 0) {
        const ssize_t n = ::write(fd, bytes, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            error = errno;
            break;
        }
        if (n == 0) {
            error = EIO;
            break;
        }
        bytes += n;
        size -= static_cast<std::size_t>(n);
    }
    if (error == EPIPE && !alreadyPending) {
        const timespec zero{};
        while (sigtimedwait(&pipeSignal, nullptr, &zero) < 0 && errno == EINTR) {
        }
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return error;
}
#endif

} // namespace

bool FileReplacement::Write(const void* data, std::size_t size) {
#ifdef VELMAR_POSIX_FILES
    if (straightFd_ >= 0) {
        const int error = WriteAll(straightFd_, static_cast<const char*>(data), size);
        return error == 0 || Fail("", error);
    }
#endif
    return WriteStream(data, size);
}

bool FileReplacement::Commit() {
#ifdef VELMAR_POSIX_FILES
    if (straightFd_ >= 0) {
        const int fd = straightFd_;
        straightFd_ = -1;
        errno = 0;
        if (::close(fd) != 0 && errno != EINTR) return Fail("", errno);
        committed_ = true;
        return true;
    }
#endif
    if (!CloseStream()) return false;

    std::error_code ec;
    // Keep the permissions of the file being replaced.
    fs::file_status old = fs::status(target_, ec);
    if (!ec && fs::exists(old)) fs::permissions(temp_, old.permissions(), ec);
    ec.clear();
    fs::rename(temp_, target_, ec);
    if (ec) {
        error_ = ec.message();
        return false;
    }
    committed_ = true;
    return true;
}

} // namespace velmar

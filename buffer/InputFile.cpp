#include "InputFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#if defined(__unix__) || defined(__APPLE__)
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>
#define VELMAR_POSIX_FILES 1
#endif

namespace velmar {

InputFile OpenInputFile(const std::string& path, std::string& error) {
    errno = 0;
    InputFile file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        error = std::strerror(errno ? errno : ENOENT);
        return nullptr;
    }
#ifdef VELMAR_POSIX_FILES
    // A directory opens for reading but holds no data.
    struct stat info {};
    if (::fstat(fileno(file.get()), &info) == 0 && S_ISDIR(info.st_mode)) {
        error = std::strerror(EISDIR);
        return nullptr;
    }
#endif
    return file;
}

bool OpenUnwaitedInput(const std::string& path, std::size_t limit, int quietMs,
                       UnwaitedInput& input, std::string& error) {
    input = UnwaitedInput{};
#ifdef VELMAR_POSIX_FILES
    // A FIFO opened for reading without O_NONBLOCK waits for a writer.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
        error = std::strerror(S_ISDIR(info.st_mode) ? EISDIR : errno);
        ::close(fd);
        return false;
    }
    if (S_ISREG(info.st_mode)) {
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        input.file.reset(::fdopen(fd, "rb"));
        if (!input.file) {
            error = std::strerror(errno);
            ::close(fd);
            return false;
        }
        return true;
    }
    input.regular = false;
    char chunk[65536];
    while (input.bytes.size() < limit) {
        const ssize_t n = ::read(fd, chunk, std::min(sizeof chunk, limit - input.bytes.size()));
        if (n > 0) {
            input.bytes.append(chunk, static_cast<std::size_t>(n));
            continue;
        }
        if (n == 0) break; // closed by its writer, or never had one
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
            error = std::strerror(errno);
            ::close(fd);
            return false;
        }
        // A writer is there but silent: wait a little, never for good.
        pollfd wait{fd, POLLIN, 0};
        if (::poll(&wait, 1, quietMs) <= 0) break;
    }
    ::close(fd);
    return true;
#else
    (void)limit;
    (void)quietMs;
    input.file = OpenInputFile(path, error);
    return static_cast<bool>(input.file);
#endif
}

} // namespace velmar

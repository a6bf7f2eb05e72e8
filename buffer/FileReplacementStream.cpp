// The parts of the safe save that do not differ between systems: the error
// text, and the buffered stream of the temporary file.
#include <cerrno>
#include <cstring>

#include "FileReplacement.h"

namespace velmar {

bool FileReplacement::Fail(const std::string& what, int errorNumber) {
    error_ = what.empty() ? std::string(std::strerror(errorNumber))
                          : what + ": " + std::strerror(errorNumber);
    return false;
}

bool FileReplacement::WriteStream(const void* data, std::size_t size) {
    if (!file_) return false;
    if (size == 0) return true;
    errno = 0;
    if (std::fwrite(data, 1, size, file_) != size) return Fail("", errno ? errno : EIO);
    return true;
}

bool FileReplacement::CloseStream() {
    if (!file_) return false;
    errno = 0;
    const bool flushed = std::fflush(file_) == 0;
    // No flush to the disk: the swap alone keeps the old file whole if the
    // write fails, and a save must stay as quick as the tools people compare
    // it with.
    const int flushError = errno;
    const bool closed = std::fclose(file_) == 0;
    const int closeError = errno;
    file_ = nullptr;
    if (!flushed) return Fail("", flushError ? flushError : EIO);
    if (!closed) return Fail("", closeError ? closeError : EIO);
    return true;
}

} // namespace velmar

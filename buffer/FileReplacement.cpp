#include "FileReplacement.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>
#include <system_error>

#if defined(__unix__) || defined(__APPLE__)
#include <unistd.h>
#endif

namespace velmar {

namespace fs = std::filesystem;

FileReplacement::FileReplacement(std::string path) : path_(std::move(path)), target_(path_) {}

FileReplacement::~FileReplacement() {
    if (file_) std::fclose(file_);
    if (!committed_ && !temp_.empty()) {
        std::error_code ec;
        fs::remove(temp_, ec);
    }
}

bool FileReplacement::Fail(const std::string& what, int errorNumber) {
    error_ = what.empty() ? std::string(std::strerror(errorNumber))
                          : what + ": " + std::strerror(errorNumber);
    return false;
}

bool FileReplacement::Open() {
    std::error_code ec;
    // Replacing a symbolic link by a plain file would cut it; write where it points.
    if (fs::is_symlink(fs::symlink_status(path_, ec))) {
        fs::path resolved = fs::weakly_canonical(path_, ec);
        if (!ec) target_ = resolved.string();
    }
    if (fs::is_directory(target_, ec)) return Fail("", EISDIR);
#if defined(__unix__) || defined(__APPLE__)
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

bool FileReplacement::Write(const void* data, std::size_t size) {
    if (!file_) return false;
    if (size == 0) return true;
    errno = 0;
    if (std::fwrite(data, 1, size, file_) != size) return Fail("", errno ? errno : EIO);
    return true;
}

bool FileReplacement::Commit() {
    if (!file_) return false;
    errno = 0;
    const bool flushed = std::fflush(file_) == 0;
    // No fsync: the rename alone keeps the old file whole if the write fails,
    // and a save must stay as quick as the tools people compare it with.
    const int flushError = errno;
    const bool closed = std::fclose(file_) == 0;
    const int closeError = errno;
    file_ = nullptr;
    if (!flushed) return Fail("", flushError ? flushError : EIO);
    if (!closed) return Fail("", closeError ? closeError : EIO);

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

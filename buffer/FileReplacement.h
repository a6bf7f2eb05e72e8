#pragma once
// Writes a file so that the old one survives a failed write: the bytes go to
// a temporary file beside the target, which is renamed over the target only
// after everything was written and flushed.

#include <cstddef>
#include <cstdio>
#include <string>

namespace velmar {

class FileReplacement {
  public:
    explicit FileReplacement(std::string path);
    ~FileReplacement(); // removes the temporary file unless committed
    FileReplacement(const FileReplacement&) = delete;
    FileReplacement& operator=(const FileReplacement&) = delete;

    // Creates the temporary file; false with Error() set when that fails.
    bool Open();
    bool Write(const void* data, std::size_t size);
    // Flushes, closes and renames over the target. False with Error() set;
    // the target is untouched then.
    bool Commit();

    const std::string& Error() const { return error_; }

  private:
    bool Fail(const std::string& what, int errorNumber);

    std::string path_;   // the file the user named
    std::string target_; // where it really lives (a symbolic link is followed)
    std::string temp_;
    std::FILE* file_ = nullptr;
    bool committed_ = false;
    std::string error_;
};

} // namespace velmar

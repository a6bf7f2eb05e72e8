#pragma once
// Writes a file so that the old one survives a failed write: the bytes go to
// a temporary file beside the target, which is renamed over the target only
// after everything was written and flushed.
//
// Only a regular file (or a name not yet taken) is replaced. A FIFO or a
// character device (/dev/null, a terminal) is written straight, since a
// rename would put a plain file in its place; a socket, a block device or
// any other kind of file is refused.

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

    // Creates the temporary file (or opens the FIFO or device); false with
    // Error() set when that fails.
    bool Open();
    bool Write(const void* data, std::size_t size);
    // Flushes, closes and renames over the target. False with Error() set;
    // the target is untouched then (a FIFO or device has had what was written).
    bool Commit();

    // True when Open() found a FIFO or character device and writes straight.
    bool WritesStraight() const { return straight_; }

    const std::string& Error() const { return error_; }

  private:
    bool Fail(const std::string& what, int errorNumber);
    // The temporary file's stream: write, then flush and close it.
    bool WriteStream(const void* data, std::size_t size);
    bool CloseStream();
    bool OpenStraight();

    std::string path_;   // the file the user named
    std::string target_; // where it really lives (a symbolic link is followed)
    std::string temp_;
    std::FILE* file_ = nullptr;
    int straightFd_ = -1; // the FIFO or device written straight
    bool committed_ = false;
    bool straight_ = false;
    std::string error_;
};

// Why `path` cannot be written by a FileReplacement, found without writing
// anything (a refused kind of file, no write permission); empty when a write
// may be tried.
std::string OutputProblem(const std::string& path);

} // namespace velmar

#pragma once
// An input file opened once: whatever checks it passed is what gets read,
// and a FIFO is never opened a second time (its writer is gone by then).

#include <cstdio>
#include <memory>
#include <string>

namespace velmar {

struct FileCloser {
    void operator()(std::FILE* stream) const {
        if (stream) std::fclose(stream);
    }
};
using InputFile = std::unique_ptr<std::FILE, FileCloser>;

// Opens `path` for binary reading. A directory is refused. Null with `error`
// set to the system's reason when it cannot be opened.
InputFile OpenInputFile(const std::string& path, std::string& error);

// An input opened at start-up, when nothing may wait for a FIFO's writer: a
// regular file stays open to be read from its start; anything else (a FIFO,
// a device) has been read at once into `bytes`.
struct UnwaitedInput {
    bool regular = true;
    InputFile file;    // the regular file
    std::string bytes; // what anything else held
};

// Opens `path` once, without waiting for a writer (O_NONBLOCK for the open).
// Anything but a regular file is read until its writer closes it, sends
// nothing for `quietMs`, or `limit` bytes have come; no writer at all is an
// empty input. False with `error` set when it cannot be opened or read.
bool OpenUnwaitedInput(const std::string& path, std::size_t limit, int quietMs,
                       UnwaitedInput& input, std::string& error);

} // namespace velmar

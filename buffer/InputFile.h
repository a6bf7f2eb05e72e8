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

} // namespace velmar

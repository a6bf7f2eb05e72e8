#include "Terminal.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace velmar::cli {

bool IsTerminal(std::FILE* stream) {
#ifdef _WIN32
    return _isatty(_fileno(stream)) != 0;
#else
    return ::isatty(::fileno(stream)) != 0;
#endif
}

std::FILE* OpenMemoryStream(std::string& bytes) {
#ifdef _WIN32
    // No memory streams: a temporary file, removed when closed.
    std::FILE* stream = std::tmpfile();
    if (stream == nullptr) return nullptr;
    if (std::fwrite(bytes.data(), 1, bytes.size(), stream) != bytes.size()) {
        std::fclose(stream);
        return nullptr;
    }
    std::rewind(stream);
    return stream;
#else
    return ::fmemopen(bytes.data(), bytes.size(), "rb");
#endif
}

} // namespace velmar::cli

#include "Terminal.h"

#include <unistd.h>

namespace velmar::cli {

bool IsTerminal(std::FILE* stream) {
    return ::isatty(::fileno(stream)) != 0;
}

} // namespace velmar::cli

#include "InputFile.h"

#include <cerrno>
#include <cstring>

#if defined(__unix__) || defined(__APPLE__)
#include <sys/stat.h>
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

} // namespace velmar

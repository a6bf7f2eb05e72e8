#include "TemporaryFile.h"

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cerrno>
#include <string>
#endif

namespace velmar {

#if defined(_WIN32)

// Not tmpfile(): msvcrt makes that file in the root of the current drive,
// where a user without administrator rights may not create files, and Wine's
// picks a name, frees it and opens it again, so two processes can meet there.
// Here the name carries the process and is created only if it is new.
std::FILE* OpenTemporaryFile() {
    wchar_t folder[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, folder);
    if (length == 0 || length > MAX_PATH) {
        errno = ENOENT;
        return nullptr;
    }
    static volatile LONG sequence = 0;
    HANDLE file = INVALID_HANDLE_VALUE;
    DWORD error = ERROR_FILE_EXISTS;
    // A name can be taken only by a file a crashed process of the same number left.
    for (int attempt = 0; attempt < 100 && error == ERROR_FILE_EXISTS; ++attempt) {
        const std::wstring name = std::wstring(folder) + L"velmar-" +
                                  std::to_wstring(GetCurrentProcessId()) + L"-" +
                                  std::to_wstring(InterlockedIncrement(&sequence)) + L".tmp";
        file = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        error = file == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS;
    }
    if (file == INVALID_HANDLE_VALUE) {
        errno = error == ERROR_PATH_NOT_FOUND ? ENOENT : EACCES;
        return nullptr;
    }
    const int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_RDWR | _O_BINARY);
    if (descriptor == -1) {
        CloseHandle(file);
        return nullptr;
    }
    std::FILE* stream = _fdopen(descriptor, "w+b");
    if (stream == nullptr) _close(descriptor);
    return stream;
}

#else

std::FILE* OpenTemporaryFile() {
    return std::tmpfile(); // glibc's makes its name with O_EXCL and unlinks it at once
}

#endif

} // namespace velmar

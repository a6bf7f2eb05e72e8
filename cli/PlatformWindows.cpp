#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "Platform.h"
#include "buffer/TemporaryFile.h"
#include "buffer/WideText.h"

namespace velmar::cli::platform {

namespace {

void (*gOnInterrupt)() = nullptr;
volatile LONG gInterruptSeen = 0;

// How long closing the console window leaves the operation to stop as Quit
// stops it; Windows ends the process soon after the handler returns.
constexpr DWORD kCloseGraceMs = 4000;

} // namespace

// Runs on a thread of its own, which Windows starts for the event.
BOOL WINAPI OnConsoleEvent(DWORD event) {
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
        // The second one falls through to the default handler, which ends the process.
        if (InterlockedExchange(&gInterruptSeen, 1) != 0) return FALSE;
        if (gOnInterrupt) gOnInterrupt();
        return TRUE;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        InterlockedExchange(&gInterruptSeen, 1);
        if (gOnInterrupt) gOnInterrupt();
        Sleep(kCloseGraceMs);
        return TRUE;
    default:
        return FALSE;
    }
}

void InitConsole() {
    // LF line ends, byte for byte what the Linux build writes.
    std::fflush(stdout);
    std::fflush(stderr);
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    const HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    if (err != INVALID_HANDLE_VALUE && GetConsoleMode(err, &mode))
        SetConsoleMode(err, mode | ENABLE_PROCESSED_OUTPUT | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
}

bool IsTerminal(std::FILE* stream) {
    // _isatty is also true for NUL; only a console counts.
    const intptr_t os = _get_osfhandle(_fileno(stream));
    DWORD mode = 0;
    return os != -1 && GetConsoleMode(reinterpret_cast<HANDLE>(os), &mode) != 0;
}

void WriteErrorRaw(const char* text) {
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), text, static_cast<DWORD>(std::strlen(text)), &written,
              nullptr);
}

bool DirectoryWritable(const std::string& dir, int& errorNumber) {
    // Windows keeps no write bit on folders: try to create a file there.
    const auto folder = WideFromUtf8(dir);
    if (!folder) {
        errorNumber = EILSEQ;
        return false;
    }
    std::wstring probe = *folder;
    if (!probe.empty() && probe.back() != L'\\' && probe.back() != L'/') probe += L'\\';
    probe += L".velmar-write-probe-" + std::to_wstring(GetCurrentProcessId()) + L".tmp";
    const HANDLE h = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
        CloseHandle(h);
        return true;
    }
    switch (GetLastError()) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
        errorNumber = ENOENT;
        break;
    case ERROR_FILE_EXISTS:
        return true; // a stale probe of an earlier run: the folder takes files
    default:
        errorNumber = EACCES;
        break;
    }
    return false;
}

bool HandleConsoleEvent(unsigned long event) {
    return OnConsoleEvent(event) != FALSE;
}

void InstallInterruptHandler(void (*onInterrupt)()) {
    gOnInterrupt = onInterrupt;
    InterlockedExchange(&gInterruptSeen, 0);
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

std::string RegularFileIdentity(const std::string& path) {
    const auto wide = WideFromUtf8(path);
    if (!wide) return "";
    // Opened for no access at all: only its identity is asked for.
    HANDLE file =
        CreateFileW(wide->c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return "";
    BY_HANDLE_FILE_INFORMATION info{};
    const bool known = GetFileInformationByHandle(file, &info) != 0 &&
                       GetFileType(file) == FILE_TYPE_DISK &&
                       (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    CloseHandle(file);
    if (!known) return "";
    return std::to_string(info.dwVolumeSerialNumber) + ":" +
           std::to_string((static_cast<unsigned long long>(info.nFileIndexHigh) << 32) |
                          info.nFileIndexLow);
}

void SetWaitingReadsInterruptible(bool) {}

bool FileReadable(const std::string& path, int& errorNumber) {
    const auto wide = WideFromUtf8(path);
    if (!wide) {
        errorNumber = EILSEQ;
        return false;
    }
    if (_waccess(wide->c_str(), 4) == 0) return true;
    errorNumber = errno;
    return false;
}

std::FILE* OpenMemoryStream(std::string& bytes) {
    // No memory streams: a temporary file, removed when closed.
    std::FILE* stream = OpenTemporaryFile();
    if (stream == nullptr) return nullptr;
    if (std::fwrite(bytes.data(), 1, bytes.size(), stream) != bytes.size()) {
        std::fclose(stream);
        return nullptr;
    }
    std::rewind(stream);
    return stream;
}

bool SyncToDisk(std::FILE* stream) {
    return std::fflush(stream) == 0 && _commit(_fileno(stream)) == 0;
}

std::string HostName() {
    char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = sizeof name;
    if (!GetComputerNameA(name, &size)) return "";
    return std::string(name, size);
}

long ProcessId() {
    return static_cast<long>(GetCurrentProcessId());
}

bool ProcessRuns(long pid) {
    if (pid <= 0) return true;
    const HANDLE process =
        OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, static_cast<DWORD>(pid));
    if (process == nullptr) return GetLastError() == ERROR_ACCESS_DENIED;
    DWORD code = 0;
    const bool runs = GetExitCodeProcess(process, &code) && code == STILL_ACTIVE;
    CloseHandle(process);
    return runs;
}

ReadOutcome ReadRegularFile(const std::string& path, std::string& text, int& errorNumber) {
    const auto wide = WideFromUtf8(path);
    if (!wide) {
        errorNumber = EILSEQ;
        return ReadOutcome::Failed;
    }
    const DWORD attributes = GetFileAttributesW(wide->c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD e = GetLastError();
        errorNumber = ENOENT;
        return e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND ? ReadOutcome::Missing
                                                                       : ReadOutcome::Failed;
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return ReadOutcome::NotRegular;
    const HANDLE file = CreateFileW(wide->c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        errorNumber = EACCES;
        return ReadOutcome::Failed;
    }
    if (GetFileType(file) != FILE_TYPE_DISK) {
        CloseHandle(file);
        return ReadOutcome::NotRegular;
    }
    text.clear();
    char chunk[4096];
    DWORD n = 0;
    while (ReadFile(file, chunk, sizeof chunk, &n, nullptr) && n > 0)
        text.append(chunk, n);
    CloseHandle(file);
    return ReadOutcome::Read;
}

bool ReplaceFileDurably(const std::string& path, const std::string& text, int& errorNumber) {
    const auto wide = WideFromUtf8(path);
    if (!wide) {
        errorNumber = EILSEQ;
        return false;
    }
    const std::wstring temp = *wide + L".tmp-" + std::to_wstring(GetCurrentProcessId());
    const HANDLE file = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        errorNumber = EACCES;
        return false;
    }
    DWORD written = 0;
    const bool ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written,
                              nullptr) &&
                    written == text.size() && FlushFileBuffers(file);
    CloseHandle(file);
    // MOVEFILE_WRITE_THROUGH: returns once the rename is on the disk.
    if (!ok || !MoveFileExW(temp.c_str(), wide->c_str(),
                            MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        errorNumber = ok ? EACCES : ENOSPC;
        DeleteFileW(temp.c_str());
        return false;
    }
    return true;
}

FileLock::~FileLock() {
    Unlock();
}

bool FileLock::Lock(const std::string& path, int& errorNumber,
                    const std::function<void()>& onBusy) {
    Unlock();
    const auto wide = WideFromUtf8(path);
    if (!wide) {
        errorNumber = EILSEQ;
        return false;
    }
    const HANDLE file = CreateFileW(wide->c_str(), GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        errorNumber = EACCES;
        return false;
    }
    // A byte far past any end: Windows locks keep others from the bytes
    // they cover, and the file itself must stay readable (a log, the note).
    OVERLAPPED at{};
    at.OffsetHigh = 0x7FFFFFFF;
    if (!LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
        if (onBusy) onBusy();
        at = OVERLAPPED{};
        at.OffsetHigh = 0x7FFFFFFF;
        if (!LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &at)) {
            errorNumber = EACCES;
            CloseHandle(file);
            return false;
        }
    }
    handle_ = reinterpret_cast<std::intptr_t>(file);
    return true;
}

void FileLock::Note(const std::string& text) {
    if (handle_ == -1) return;
    const HANDLE file = reinterpret_cast<HANDLE>(handle_);
    if (SetFilePointer(file, 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER) return;
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    SetEndOfFile(file);
}

void FileLock::Unlock() {
    if (handle_ == -1) return;
    CloseHandle(reinterpret_cast<HANDLE>(handle_)); // closing gives the lock back
    handle_ = -1;
}

} // namespace velmar::cli::platform

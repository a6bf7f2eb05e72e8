// The safe save on Windows: the same steps as on POSIX systems, through the
// wide-character calls so that any file name works (the class's paths are
// UTF-8), with an exclusive create for the temporary file and ReplaceFileW,
// which keeps the replaced file's attributes and security, for the swap.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cerrno>
#include <cstring>
#include <random>

#include "FileReplacement.h"
#include "WideText.h"

namespace velmar {

namespace {

int ErrnoOf(DWORD error) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_NETPATH:
        return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return EACCES;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return EEXIST;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return ENOSPC;
    case ERROR_WRITE_PROTECT:
        return EROFS;
    default:
        return EIO;
    }
}

// The folder part of a path, with its separator; empty for a bare name.
std::wstring FolderOf(const std::wstring& path) {
    const std::size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

std::wstring NameOf(const std::wstring& path) {
    const std::size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

// Where a symbolic link or junction finally points, or empty.
std::wstring FinalPath(const std::wstring& link) {
    const HANDLE h =
        CreateFileW(link.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return {};
    std::wstring path(MAX_PATH, L'\0');
    DWORD n = GetFinalPathNameByHandleW(h, path.data(), static_cast<DWORD>(path.size()),
                                        FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (n >= path.size()) {
        path.resize(n + 1);
        n = GetFinalPathNameByHandleW(h, path.data(), static_cast<DWORD>(path.size()),
                                      FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    }
    CloseHandle(h);
    if (n == 0 || n >= path.size()) return {};
    path.resize(n);
    // "\\?\C:\..." names a drive path; keep the plain form for messages.
    if (path.rfind(L"\\\\?\\", 0) == 0 && path.size() > 6 && path[5] == L':') path.erase(0, 4);
    return path;
}

} // namespace

FileReplacement::FileReplacement(std::string path) : path_(std::move(path)), target_(path_) {}

FileReplacement::~FileReplacement() {
    if (file_) std::fclose(file_);
    if (committed_ || temp_.empty()) return;
    if (const auto temp = WideFromUtf8(temp_)) DeleteFileW(temp->c_str());
}

bool FileReplacement::Open() {
    const auto named = WideFromUtf8(path_);
    if (!named) return Fail("", EILSEQ);
    std::wstring target = *named;
    DWORD attributes = GetFileAttributesW(target.c_str());
    // Replacing a symbolic link by a plain file would cut it; write where it points.
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        const std::wstring resolved = FinalPath(target);
        if (resolved.empty()) return Fail("symbolic link to a missing file", ENOENT);
        target = resolved;
        target_ = Utf8FromWide(target);
        attributes = GetFileAttributesW(target.c_str());
    }
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) return Fail("", EISDIR);
        // A write-protected file stays protected, although ReplaceFileW could replace it.
        if (attributes & FILE_ATTRIBUTE_READONLY) return Fail("", EACCES);
    }

    const std::wstring dir = FolderOf(target);
    const std::wstring name = NameOf(target);
    std::random_device seed;
    std::mt19937 random(seed());
    for (int attempt = 0; attempt < 16; ++attempt) {
        const std::wstring candidate =
            dir + L"." + name + L"." + std::to_wstring(random() % 1000000) + L".tmp";
        // CREATE_NEW: never reuse an existing name, whoever made it.
        const HANDLE h = CreateFileW(candidate.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                     FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            const DWORD error = GetLastError();
            if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) continue;
            return Fail("", ErrnoOf(error));
        }
        temp_ = Utf8FromWide(candidate);
        const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_WRONLY | _O_BINARY);
        if (fd == -1) {
            CloseHandle(h);
            return Fail("", EMFILE);
        }
        file_ = _fdopen(fd, "wb");
        if (!file_) {
            _close(fd);
            return Fail("", errno ? errno : EMFILE);
        }
        return true;
    }
    return Fail("", EEXIST);
}

bool FileReplacement::Write(const void* data, std::size_t size) {
    return WriteStream(data, size);
}

bool FileReplacement::Commit() {
    if (!CloseStream()) return false;

    const auto wideTarget = WideFromUtf8(target_);
    const auto wideTemp = WideFromUtf8(temp_);
    if (!wideTarget || !wideTemp) return Fail("", EILSEQ);
    const std::wstring& target = *wideTarget;
    const std::wstring& temp = *wideTemp;
    if (GetFileAttributesW(target.c_str()) != INVALID_FILE_ATTRIBUTES) {
        // Keeps the old file's attributes, security and creation time.
        if (ReplaceFileW(target.c_str(), temp.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS,
                         nullptr, nullptr)) {
            committed_ = true;
            return true;
        }
        const DWORD error = GetLastError();
        // Some file systems cannot replace; a plain move is still atomic there.
        // After ERROR_UNABLE_TO_MOVE_REPLACEMENT the old file is gone: the move must follow.
        if (error != ERROR_UNABLE_TO_MOVE_REPLACEMENT && error != ERROR_UNABLE_TO_REMOVE_REPLACED &&
            error != ERROR_INVALID_PARAMETER && error != ERROR_NOT_SUPPORTED &&
            error != ERROR_INVALID_FUNCTION)
            return Fail("", ErrnoOf(error));
    }
    if (!MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING))
        return Fail("", ErrnoOf(GetLastError()));
    committed_ = true;
    return true;
}

std::string OutputProblem(const std::string& path) {
    // Windows has no FIFOs or device nodes for a save to meet; a folder, or a
    // read-only file, is what the save itself would refuse.
    const auto named = WideFromUtf8(path);
    if (!named) return std::strerror(EILSEQ);
    const std::wstring& wide = *named;
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        // A new file: its folder must be there.
        std::wstring folder = FolderOf(wide);
        if (folder.empty()) folder = L".";
        const DWORD folderAttributes = GetFileAttributesW(folder.c_str());
        if (folderAttributes == INVALID_FILE_ATTRIBUTES ||
            !(folderAttributes & FILE_ATTRIBUTE_DIRECTORY))
            return std::strerror(ENOENT);
        return {};
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return std::strerror(EISDIR);
    if (attributes & FILE_ATTRIBUTE_READONLY) return std::strerror(EACCES);
    return {};
}

} // namespace velmar

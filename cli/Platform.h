#pragma once
// The few calls of velmar-cli that differ between POSIX systems and Windows.
// Everything else in cli/ is standard C++.

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

namespace velmar::cli::platform {

// Called once at start. On Windows: standard output and error written in
// binary mode, so lines end in LF as on Linux (the console shows LF as a new
// line), and the console told to honour the progress bar's escape sequence.
void InitConsole();

// True when `stream` goes to a terminal or console (not a file or a pipe).
bool IsTerminal(std::FILE* stream);

// True when `path` can be opened for reading, found without opening it (a
// FIFO must be opened once only); errorNumber holds the errno value otherwise.
bool FileReadable(const std::string& path, int& errorNumber);

// A stream that reads `bytes` (kept alive by the caller); nullptr on failure.
std::FILE* OpenMemoryStream(std::string& bytes);

// Writes text to standard error without the C library: safe inside an
// interrupt handler.
void WriteErrorRaw(const char* text);

// True when files can be created in `dir`; errorNumber holds the errno value
// otherwise.
bool DirectoryWritable(const std::string& dir, int& errorNumber);

// Routes the user's interrupt to `onInterrupt` once: Ctrl-C (SIGINT), SIGTERM
// and SIGHUP on POSIX; Ctrl-C, Ctrl-Break and closing the console window on
// Windows. A second one ends the process at once. `onInterrupt` must be safe
// in a signal handler (set a flag, WriteErrorRaw).
void InstallInterruptHandler(void (*onInterrupt)());
// While on, an interrupt also ends a read that waits (the part prompt's) with
// an error instead of letting it wait on; elsewhere reads carry on (a file
// load stops at its next line). Windows' console read ends on Ctrl-C anyway.
void SetWaitingReadsInterruptible(bool on);

// Writes what `stream` holds through to the disk (fflush, then fsync or
// _commit); false when either fails.
bool SyncToDisk(std::FILE* stream);

// Who a regular file is, whatever name reaches it (a symbolic or hard link
// too): the device and file number; "" when `path` names no regular file.
std::string RegularFileIdentity(const std::string& path);

// This computer's name ("" when it has none).
std::string HostName();

// This process's id, and whether the process `pid` of this computer still
// runs (true when that cannot be found out).
long ProcessId();
bool ProcessRuns(long pid);

enum class ReadOutcome { Read, Missing, NotRegular, Failed };
// Reads a regular file whole. A folder, FIFO or device is NotRegular and
// never opened in a way that could block; Failed leaves the errno value in
// errorNumber.
ReadOutcome ReadRegularFile(const std::string& path, std::string& text, int& errorNumber);

// Replaces `path` with `text` so that it survives a power cut: a temporary
// file beside it is written and synced, renamed over it, and the folder
// synced. False with the errno value in errorNumber; `path` is untouched then.
bool ReplaceFileDurably(const std::string& path, const std::string& text, int& errorNumber);

// An exclusive lock on a file, for the processes that share it: taken by
// Lock (waiting while another process holds it), given back by Unlock or
// the destructor. The file is created when missing. The lock covers no byte
// the file holds, so the file itself (a log) can be read and written while
// locked.
class FileLock {
  public:
    FileLock() = default;
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    // False with the errno value in errorNumber when the file cannot be
    // opened or locked. When another process holds the lock, `onBusy` (when
    // set) is called once before the wait.
    bool Lock(const std::string& path, int& errorNumber,
              const std::function<void()>& onBusy = {});
    // Replaces what the locked file holds with `text` (who holds it).
    void Note(const std::string& text);
    void Unlock();

  private:
    std::intptr_t handle_ = -1;
};

#if defined(_WIN32)
// The console control handler itself, for tests: `event` is a CTRL_*_EVENT
// value; false when the event is left to the default handler (which ends the
// process).
bool HandleConsoleEvent(unsigned long event);
#endif

} // namespace velmar::cli::platform

#pragma once
// The few calls of velmar-cli that differ between POSIX systems and Windows.
// Everything else in cli/ is standard C++.

#include <cstdint>
#include <cstdio>
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

// Routes the user's interrupt to `onInterrupt` once: Ctrl-C (SIGINT) on
// POSIX; Ctrl-C, Ctrl-Break and closing the console window on Windows. A
// second Ctrl-C or Ctrl-Break ends the process at once. `onInterrupt` must
// be safe in a signal handler (set a flag, WriteErrorRaw).
void InstallInterruptHandler(void (*onInterrupt)());

// Writes what `stream` holds through to the disk (fflush, then fsync or
// _commit); false when either fails.
bool SyncToDisk(std::FILE* stream);

// Who a regular file is, whatever name reaches it (a symbolic or hard link
// too): the device and file number; "" when `path` names no regular file.
std::string RegularFileIdentity(const std::string& path);

// This computer's name ("" when it has none).
std::string HostName();

// An exclusive lock on a file, for the processes that share it: taken by
// Lock (waiting while another process holds it), given back by Unlock or
// the destructor. The file is created when missing.
class FileLock {
  public:
    FileLock() = default;
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    // False with the errno value in errorNumber when the file cannot be
    // opened or locked.
    bool Lock(const std::string& path, int& errorNumber);
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

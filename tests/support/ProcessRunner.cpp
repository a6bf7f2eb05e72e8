#include "ProcessRunner.h"

#include <chrono>
#include <thread>

#if defined(_WIN32)
#include <windows.h>

#include <map>

#include "buffer/WideText.h"
#else
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#endif

namespace velmar::test {

#if defined(_WIN32)

namespace {

// One argument as the C runtime's parser reads it back.
std::wstring Quote(const std::wstring& arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) return arg;
    std::wstring quoted = L"\"";
    std::size_t backslashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        if (c == L'"')
            quoted.append(backslashes * 2 + 1, L'\\');
        else
            quoted.append(backslashes, L'\\');
        backslashes = 0;
        quoted.push_back(c);
    }
    quoted.append(backslashes * 2, L'\\');
    quoted.push_back(L'"');
    return quoted;
}

std::wstring Upper(std::wstring text) {
    for (wchar_t& c : text)
        if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
    return text;
}

// This process's environment with `extra` added, as CreateProcessW takes it.
std::wstring EnvironmentBlock(const std::vector<std::string>& extra) {
    std::map<std::wstring, std::wstring> vars; // by upper-case name, as Windows compares them
    wchar_t* strings = GetEnvironmentStringsW();
    for (const wchar_t* p = strings; *p; p += wcslen(p) + 1) {
        const std::wstring entry(p);
        const std::size_t eq = entry.find(L'=', 1); // "=C:=..." entries start with '='
        vars[Upper(entry.substr(0, eq))] = entry;
    }
    FreeEnvironmentStringsW(strings);
    for (const std::string& e : extra) {
        const std::wstring entry = WideFromUtf8(e).value();
        vars[Upper(entry.substr(0, entry.find(L'=')))] = entry;
    }
    std::wstring block;
    for (const auto& [name, entry] : vars) {
        block += entry;
        block.push_back(L'\0');
    }
    block.push_back(L'\0');
    return block;
}

HANDLE Inheritable(const std::string& path, bool write) {
    SECURITY_ATTRIBUTES sa{sizeof(sa), nullptr, TRUE};
    const std::wstring name = path.empty() ? L"NUL" : WideFromUtf8(path).value();
    return CreateFileW(name.c_str(), write ? GENERIC_WRITE : GENERIC_READ,
                       FILE_SHARE_READ | FILE_SHARE_WRITE, &sa,
                       write ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

} // namespace

int RunProcess(const std::string& program, const std::vector<std::string>& args,
               const ProcessOptions& options) {
    std::wstring commandLine = Quote(WideFromUtf8(program).value());
    for (const std::string& a : args)
        commandLine += L" " + Quote(WideFromUtf8(a).value());
    std::wstring environment = EnvironmentBlock(options.env);

    PROCESS_INFORMATION pi{};
    DWORD flags = CREATE_UNICODE_ENVIRONMENT;
    if (options.interruptAfterMs >= 0) flags |= CREATE_NEW_PROCESS_GROUP;
    // Wine now and then fails to start a child on a loaded machine, before the
    // child runs any code of its own; a few more tries tell that apart from a
    // program that cannot start at all.
    bool started = false;
    DWORD startError = 0;
    for (int attempt = 0; attempt < 4 && !started; ++attempt) {
        if (attempt > 0) std::this_thread::sleep_for(std::chrono::milliseconds(250 * attempt));
        const HANDLE in = Inheritable(options.inPath, false);
        const HANDLE out = Inheritable(options.outPath, true);
        const HANDLE err = Inheritable(options.errPath, true);
        STARTUPINFOW si{};
        si.cb = sizeof(si);
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdInput = in;
        si.hStdOutput = out;
        si.hStdError = err;
        std::wstring line = commandLine; // CreateProcessW may write into it
        started =
            CreateProcessW(WideFromUtf8(program).value().c_str(), line.data(), nullptr, nullptr,
                           TRUE, flags, environment.data(),
                           options.workDir.empty() ? nullptr
                                                   : WideFromUtf8(options.workDir).value().c_str(),
                           &si, &pi) != 0;
        if (!started) startError = GetLastError();
        for (HANDLE h : {in, out, err})
            if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    }
    if (!started) {
        // Said where the child's errors would be, so a failing test shows why.
        const HANDLE err = Inheritable(options.errPath, true);
        if (err != INVALID_HANDLE_VALUE) {
            const std::string text =
                "RunProcess: CreateProcessW failed, error " + std::to_string(startError) + "\n";
            DWORD written = 0;
            WriteFile(err, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
            CloseHandle(err);
        }
        return -1;
    }
    if (options.interruptAfterMs >= 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(options.interruptAfterMs));
        GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, pi.dwProcessId);
    }
    WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD code = 0;
    const bool exited = GetExitCodeProcess(pi.hProcess, &code) != 0;
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return exited ? static_cast<int>(code) : -1;
}

bool CanInterruptChildren() {
    // Console control events reach a child only through a console both share.
    return GetConsoleWindow() != nullptr;
}

#else

int RunProcess(const std::string& program, const std::vector<std::string>& args,
               const ProcessOptions& options) {
    // Everything the child needs is made before the fork: tests start
    // children from several threads, and a forked child must not allocate.
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        auto target = [](const std::string& path) {
            return path.empty() ? open("/dev/null", O_WRONLY)
                                : open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        };
        const int out = target(options.outPath);
        const int err = target(options.errPath);
        const int in =
            open(options.inPath.empty() ? "/dev/null" : options.inPath.c_str(), O_RDONLY);
        if (out < 0 || err < 0 || in < 0) _exit(127);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        if (!options.workDir.empty() && chdir(options.workDir.c_str()) != 0) _exit(127);
        for (const auto& e : options.env)
            putenv(const_cast<char*>(e.c_str()));
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    if (pid > 0 && options.interruptAfterMs >= 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(options.interruptAfterMs));
        kill(pid, SIGINT);
    }
    int status = 0;
    if (pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status)) return WEXITSTATUS(status);
    return -1;
}

bool CanInterruptChildren() {
    return true;
}

#endif

} // namespace velmar::test

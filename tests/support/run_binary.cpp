#include "support/run_binary.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "cli/messages.h"
#include "cli/run_driver.h"
#include "support/temp_dir.h"

#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <fcntl.h>
#include <grp.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <csignal>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

std::string readText(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The text as the program wrote it. On Windows the standard streams are in text
// mode and turn each line end into CR LF; turn them back.
std::string asWritten(std::string text)
{
#if defined(_WIN32)
    std::string::size_type at = 0;
    while ((at = text.find("\r\n", at)) != std::string::npos) {
        text.erase(at, 1);
        ++at;
    }
#endif
    return text;
}

#if defined(_WIN32)
// The path of the binary. A cross build records it as a Unix path; under wine,
// kernel32 has a function that turns it into the Windows path of the same file.
std::string binaryPath()
{
    const std::string recorded = SHEETPAK_BINARY;
    if (recorded.empty() || recorded[0] != '/') {
        return fs::path(recorded).make_preferred().string();
    }
    using ToDosName = WCHAR*(CDECL*)(LPCSTR);
    const FARPROC function = GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_dos_file_name");
    if (function == nullptr) {
        return recorded;
    }
    // Through void(*)() so that the compiler accepts the change of function type.
    const auto toDosName = reinterpret_cast<ToDosName>(reinterpret_cast<void (*)()>(function));
    WCHAR* dosName = toDosName(recorded.c_str());
    if (dosName == nullptr) {
        return recorded;
    }
    const std::string converted = fs::path(dosName).string();
    HeapFree(GetProcessHeap(), 0, dosName);
    return converted;
}

// Appends `argument` to a command line so that the C runtime of the child
// splits it back into exactly `argument`: quotes around it when it is empty or
// holds white space or quotes, a backslash before each quote, and backslashes
// doubled where a quote follows them.
void appendQuoted(std::string& commandLine, const std::string& argument)
{
    if (!commandLine.empty()) {
        commandLine += ' ';
    }
    if (!argument.empty() && argument.find_first_of(" \t\n\v\"") == std::string::npos) {
        commandLine += argument;
        return;
    }
    commandLine += '"';
    std::size_t backslashes = 0;
    for (const char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        if (c == '"') {
            commandLine.append(2 * backslashes + 1, '\\');
        } else {
            commandLine.append(backslashes, '\\');
        }
        backslashes = 0;
        commandLine += c;
    }
    commandLine.append(2 * backslashes, '\\');
    commandLine += '"';
}

HANDLE openInheritable(const fs::path& path, DWORD access, DWORD creation)
{
    SECURITY_ATTRIBUTES inherit{};
    inherit.nLength = sizeof(inherit);
    inherit.bInheritHandle = TRUE;
    const HANDLE handle = CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                      creation, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        throw std::runtime_error("cannot open " + path.string());
    }
    return handle;
}

// Windows has no per-process file size limit: `fileSizeLimit` is not honoured.
HANDLE startProcess(const std::vector<std::string>& arguments, const fs::path& workingDirectory,
                    const fs::path& outPath, const fs::path& errPath, std::uint64_t /*fileSizeLimit*/,
                    unsigned /*timeoutSeconds*/)
{
    const std::string program = binaryPath();
    std::string commandLine;
    appendQuoted(commandLine, program);
    for (const std::string& argument : arguments) {
        appendQuoted(commandLine, argument);
    }

    // Standard input from the null device, so the child has no console input.
    const HANDLE in = openInheritable(L"NUL", GENERIC_READ, OPEN_EXISTING);
    const HANDLE out = openInheritable(outPath, GENERIC_WRITE, CREATE_ALWAYS);
    const HANDLE err = openInheritable(errPath, GENERIC_WRITE, CREATE_ALWAYS);

    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in;
    startup.hStdOutput = out;
    startup.hStdError = err;
    PROCESS_INFORMATION process{};
    const std::string directory = workingDirectory.string();
    const BOOL started = CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                                        CREATE_NO_WINDOW, nullptr, directory.c_str(), &startup, &process);
    CloseHandle(in);
    CloseHandle(out);
    CloseHandle(err);
    if (!started) {
        throw std::runtime_error("cannot start " + program + " (error " + std::to_string(GetLastError()) + ")");
    }
    CloseHandle(process.hThread);
    return process.hProcess;
}

int waitForProcess(HANDLE process)
{
    WaitForSingleObject(process, INFINITE);
    DWORD exitCode = 0;
    const BOOL known = GetExitCodeProcess(process, &exitCode);
    CloseHandle(process);
    return known ? static_cast<int>(exitCode) : -1;
}
#else
// The user and group of nobody on Linux and the BSDs.
constexpr uid_t kNobody = 65534;

// In a child about to run the program: the stop signals at their defaults and
// none blocked, as an interactive shell starts a program, and no core files (a test run in the
// background may have been started with some of them ignored).
void resetStopSignals()
{
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
        std::signal(signal, SIG_DFL);
    }
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    // SIGQUIT leaves no core file in the test's folder.
    const rlimit noCore{0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
}

// Starts the binary in a child process; returns its process id.
pid_t startProcess(const std::vector<std::string>& arguments, const fs::path& workingDirectory,
                   const fs::path& outPath, const fs::path& errPath, std::uint64_t fileSizeLimit,
                   unsigned timeoutSeconds, bool unprivileged = false)
{
    std::vector<std::string> argvStorage;
    argvStorage.push_back(SHEETPAK_BINARY);
    argvStorage.insert(argvStorage.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& argument : argvStorage) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);

    const pid_t child = fork();
    if (child < 0) {
        throw std::runtime_error("fork failed");
    }
    if (child == 0) {
        const int in = open("/dev/null", O_RDONLY);
        const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (in < 0 || out < 0 || err < 0 || dup2(in, 0) < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0 ||
            chdir(workingDirectory.c_str()) != 0) {
            _exit(127);
        }
        if (fileSizeLimit != 0) {
            // The signal at its default, as a user's shell leaves it: the
            // program itself must keep a write past the limit from killing it.
            std::signal(SIGXFSZ, SIG_DFL);
            const rlimit limit{static_cast<rlim_t>(fileSizeLimit), static_cast<rlim_t>(fileSizeLimit)};
            if (setrlimit(RLIMIT_FSIZE, &limit) != 0) {
                _exit(127);
            }
        }
        if (timeoutSeconds != 0) {
            alarm(timeoutSeconds);  // survives the exec; SIGALRM ends the run
        }
        resetStopSignals();
        // The superuser passes every permission check: run as nobody instead,
        // whose permissions bind as a user's do.
        if (unprivileged && geteuid() == 0 &&
            (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0)) {
            _exit(127);
        }
        execv(argv[0], argv.data());
        _exit(127);
    }
    return child;
}

// The exit status of a started child; -1 when a signal ended it.
int waitForProcess(pid_t child)
{
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
#endif

}  // namespace

bool canLimitFileSize()
{
#if defined(_WIN32)
    return false;
#else
    return true;
#endif
}

RunResult runSheetpakBinary(const std::vector<std::string>& arguments, const fs::path& workingDirectory,
                            std::uint64_t fileSizeLimit, unsigned timeoutSeconds)
{
    TempDir capture;
    const fs::path outPath = capture / "stdout.txt";
    const fs::path errPath = capture / "stderr.txt";
    const int status =
        waitForProcess(startProcess(arguments, workingDirectory, outPath, errPath, fileSizeLimit, timeoutSeconds));
    return {status, asWritten(readText(outPath)), asWritten(readText(errPath))};
}

RunResult runSheetpakBinaryAsUser(const std::vector<std::string>& arguments, const fs::path& workingDirectory)
{
#if defined(_WIN32)
    return runSheetpakBinary(arguments, workingDirectory);
#else
    TempDir capture;
    const fs::path outPath = capture / "stdout.txt";
    const fs::path errPath = capture / "stderr.txt";
    const int status = waitForProcess(startProcess(arguments, workingDirectory, outPath, errPath, 0, 0, true));
    return {status, asWritten(readText(outPath)), asWritten(readText(errPath))};
#endif
}

bool writeProtectionBindsUser(const fs::path& readOnlyFile)
{
#if defined(_WIN32)
    std::FILE* file = std::fopen(readOnlyFile.string().c_str(), "r+b");
    if (file != nullptr) {
        std::fclose(file);
        return false;
    }
    return true;
#else
    static_cast<void>(readOnlyFile);
    return true;
#endif
}

std::vector<RunResult> runSheetpakBinariesAtOnce(const std::vector<std::vector<std::string>>& runs,
                                                 const fs::path& workingDirectory)
{
    TempDir capture;
    std::vector<decltype(startProcess({}, {}, {}, {}, 0, 0))> started;
    for (std::size_t k = 0; k < runs.size(); ++k) {
        const std::string stem = std::to_string(k);
        started.push_back(startProcess(runs[k], workingDirectory, capture / (stem + ".out"),
                                       capture / (stem + ".err"), 0, 0));
    }
    std::vector<RunResult> results;
    for (std::size_t k = 0; k < runs.size(); ++k) {
        const std::string stem = std::to_string(k);
        const int status = waitForProcess(started[k]);
        results.push_back({status, asWritten(readText(capture / (stem + ".out"))),
                           asWritten(readText(capture / (stem + ".err")))});
    }
    return results;
}

bool canRunInChild()
{
#if defined(_WIN32)
    return false;
#else
    return true;
#endif
}

RunResult runSheetpakInChild(const std::vector<std::string>& arguments, const fs::path& workingDirectory,
                             const FileFaultForTests& fault)
{
    return runSheetpakInChildSignalled(arguments, workingDirectory, fault).run;
}

SignalledRun runSheetpakInChildSignalled(const std::vector<std::string>& arguments, const fs::path& workingDirectory,
                                         const FileFaultForTests& fault)
{
#if defined(_WIN32)
    static_cast<void>(arguments);
    static_cast<void>(workingDirectory);
    static_cast<void>(fault);
    throw std::runtime_error("no fork on this platform");
#else
    TempDir capture;
    const fs::path outPath = capture / "stdout.txt";
    std::vector<std::string> argvStorage{"sheetpak"};
    argvStorage.insert(argvStorage.end(), arguments.begin(), arguments.end());
    std::vector<const char*> argv;
    for (const std::string& argument : argvStorage) {
        argv.push_back(argument.c_str());
    }
    argv.push_back(nullptr);

    std::fflush(stdout);
    const pid_t child = fork();
    if (child < 0) {
        throw std::runtime_error("fork failed");
    }
    if (child == 0) {
        const int in = open("/dev/null", O_RDONLY);
        const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (in < 0 || out < 0 || dup2(in, 0) < 0 || dup2(out, 1) < 0 || chdir(workingDirectory.c_str()) != 0) {
            _exit(127);
        }
        resetStopSignals();
        setFileFaultForTests(fault);
        const int status = runSheetpak(static_cast<int>(argvStorage.size()), argv.data());
        std::fflush(stdout);
        _exit(status);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
    }
    return {{WIFEXITED(status) ? WEXITSTATUS(status) : -1, readText(outPath), ""},
            WIFSIGNALED(status) ? WTERMSIG(status) : 0};
#endif
}

SignalledRun runSheetpakBinarySignalled(const std::vector<std::string>& arguments, const fs::path& workingDirectory,
                                        std::chrono::microseconds after, int signal)
{
#if defined(_WIN32)
    static_cast<void>(arguments);
    static_cast<void>(workingDirectory);
    static_cast<void>(after);
    static_cast<void>(signal);
    throw std::runtime_error("no signals on this platform");
#else
    TempDir capture;
    const fs::path outPath = capture / "stdout.txt";
    const fs::path errPath = capture / "stderr.txt";
    const pid_t child = startProcess(arguments, workingDirectory, outPath, errPath, 0, 0);
    std::this_thread::sleep_for(after);
    // A run that has ended already is a zombie until waited for: the signal
    // does nothing to it.
    kill(child, signal);
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
    }
    return {{WIFEXITED(status) ? WEXITSTATUS(status) : -1, asWritten(readText(outPath)), asWritten(readText(errPath))},
            WIFSIGNALED(status) ? WTERMSIG(status) : 0};
#endif
}

const std::string& bannerText()
{
    static const std::string banner = kBanner;
    return banner;
}

std::string afterBanner(const std::string& output)
{
    const std::string& banner = bannerText();
    if (output.compare(0, banner.size(), banner) == 0) {
        return output.substr(banner.size());
    }
    return output;
}

std::string systemSays(int code)
{
#if defined(_WIN32)
    // The tool reports the Windows error of the call that failed, in the
    // system's words: the error that stands for `code` there. A folder is
    // refused by the tool itself before any call, with EISDIR's text.
    DWORD error = 0;
    switch (code) {
    case ENOENT:
        error = ERROR_FILE_NOT_FOUND;
        break;
    case EACCES:
        error = ERROR_ACCESS_DENIED;
        break;
    case ENOSPC:
        error = ERROR_DISK_FULL;
        break;
    default:
        break;
    }
    if (error != 0) {
        char text[512];
        const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
                                            0, text, sizeof text, nullptr);
        std::string said(text, length);
        while (!said.empty() && (said.back() == '\n' || said.back() == '\r' || said.back() == ' ' || said.back() == '.')) {
            said.pop_back();
        }
        return "The system says: " + said + ".\n";
    }
#endif
    return std::string("The system says: ") + std::strerror(code) + ".\n";
}

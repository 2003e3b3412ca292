#include "support/run_binary.h"

#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

#include "cli/messages.h"
#include "support/temp_dir.h"

#if !defined(_WIN32)
#include <fcntl.h>
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

#if !defined(_WIN32)
int runProcess(const std::vector<std::string>& arguments, const fs::path& workingDirectory,
               const fs::path& outPath, const fs::path& errPath, std::uint64_t fileSizeLimit)
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
            // Writes past the limit then fail with EFBIG instead of raising SIGXFSZ.
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{static_cast<rlim_t>(fileSizeLimit), static_cast<rlim_t>(fileSizeLimit)};
            if (setrlimit(RLIMIT_FSIZE, &limit) != 0) {
                _exit(127);
            }
        }
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
#endif

}  // namespace

#if !defined(_WIN32)
bool canLimitFileSize()
{
    return true;
}
#endif

RunResult runSheetpakBinary(const std::vector<std::string>& arguments, const fs::path& workingDirectory,
                            std::uint64_t fileSizeLimit)
{
    TempDir capture;
    const fs::path outPath = capture / "stdout.txt";
    const fs::path errPath = capture / "stderr.txt";
    const int status = runProcess(arguments, workingDirectory, outPath, errPath, fileSizeLimit);
    return {status, readText(outPath), readText(errPath)};
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

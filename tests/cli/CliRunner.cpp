#include "CliRunner.h"

#include "base/FileUtil.h"

#include <csignal>
#include <cstdio>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace {

std::string SlurpOutput(const std::string& path) {
    return quirel::readWholeFile(path, quirel::kMaxMeasurementFileBytes).value_or(std::string());
}

} // namespace

CliResult RunCli(const std::vector<std::string>& arguments, int interruptAfterMs, int limitSeconds) {
    char dir[] = "/tmp/quirel-cli-XXXXXX";
    if (!::mkdtemp(dir))
        return {};
    const std::string out = std::string(dir) + "/out", err = std::string(dir) + "/err";
    const pid_t pid = ::fork();
    if (pid == 0) {
        // No terminal: a command that would ask must not wait for an answer.
        ::freopen("/dev/null", "r", stdin);
        ::freopen(out.c_str(), "w", stdout);
        ::freopen(err.c_str(), "w", stderr);
        ::chdir(dir); // no Parameters.ini here: the default catalogue is found by the program itself
        std::vector<std::string> args{QUIREL_CLI_PATH};
        args.insert(args.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        for (std::string& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    CliResult r;
    int status = 0;
    bool interrupted = interruptAfterMs < 0;
    for (int ms = 0; ms < limitSeconds * 1000 && ::waitpid(pid, &status, WNOHANG) == 0; ms += 10) {
        if (!interrupted && ms >= interruptAfterMs) {
            ::kill(pid, SIGINT);
            interrupted = true;
        }
        ::usleep(10000);
    }
    if (::waitpid(pid, &status, WNOHANG) == 0) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
    }
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = SlurpOutput(out);
    r.err = SlurpOutput(err);
    std::remove(out.c_str());
    std::remove(err.c_str());
    ::rmdir(dir);
    return r;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream s(text);
    for (std::string line; std::getline(s, line);)
        lines.push_back(line);
    return lines;
}

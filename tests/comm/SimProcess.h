#pragma once

#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace quirel::test {

// quirel-sim as a child process: started with the given options, its endpoint lines read until "ready";
// killed and reaped when the object goes, also when a test fails.
class SimProcess {
public:
    explicit SimProcess(const std::vector<std::string>& options) {
        int out[2];
        if (::pipe(out) != 0)
            return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(out[1], STDOUT_FILENO);
            ::close(out[0]);
            ::close(out[1]);
            std::vector<std::string> args{QUIREL_SIM_PATH, "--no-stdin"};
            args.insert(args.end(), options.begin(), options.end());
            std::vector<char*> argv;
            for (std::string& a : args)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        ::close(out[1]);
        fd_ = out[0];
        std::string line;
        while (pid_ > 0) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 10000) <= 0)
                break;
            char c;
            if (::read(fd_, &c, 1) != 1)
                break;
            if (c != '\n') {
                line += c;
                continue;
            }
            if (line == "ready") {
                ready_ = true;
                break;
            }
            if (line.rfind("tcp ", 0) == 0)
                tcp_ = line.substr(4);
            else if (line.rfind("pty ", 0) == 0)
                pty_ = line.substr(4);
            line.clear();
        }
    }
    ~SimProcess() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            int status = 0;
            for (int i = 0; i < 200 && ::waitpid(pid_, &status, WNOHANG) == 0; ++i)
                ::usleep(10000);
            if (::waitpid(pid_, &status, WNOHANG) == 0) {
                ::kill(pid_, SIGKILL);
                ::waitpid(pid_, &status, 0);
            }
        }
        if (fd_ >= 0)
            ::close(fd_);
    }
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    bool ready() const { return ready_; }
    const std::string& tcp() const { return tcp_; } // "127.0.0.1:PORT"
    const std::string& pty() const { return pty_; }

private:
    pid_t pid_ = -1;
    int fd_ = -1;
    bool ready_ = false;
    std::string tcp_, pty_;
};

} // namespace quirel::test

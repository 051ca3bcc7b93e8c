// Child processes for tests, with fork, exec and pipes.
#include "child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cerrno>
#include <chrono>
#include <csignal>

extern char** environ;

namespace kelvarin::test {

namespace {

std::vector<char*> ArgvOf(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const std::string& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);
    return args;
}

// Starts argv with stdin from /dev/null and stdout/stderr on the given fds.
// The child is killed when the test dies, so a crashed test never leaves a
// server behind that holds the test runner's output open.
int Spawn(const std::vector<std::string>& argv, int outFd, int errFd) {
    std::vector<char*> args = ArgvOf(argv);
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid != 0) {
        return pid;  // the child's id, or -1
    }
    // In the child: only async-signal-safe calls until exec.
    if (prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || getppid() != parent) {
        _exit(127);
    }
    const int input = open("/dev/null", O_RDONLY);
    if (input < 0 || dup2(input, 0) < 0 || dup2(outFd, 1) < 0 ||
        (errFd >= 0 && dup2(errFd, 2) < 0)) {
        _exit(127);
    }
    execve(args[0], args.data(), environ);
    _exit(127);
}

int ExitCodeOf(int status) {
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

RunResult RunProgram(const std::vector<std::string>& argv) {
    RunResult result;
    int out[2];
    int err[2];
    if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) {
        return result;
    }
    int pid = Spawn(argv, out[1], err[1]);
    close(out[1]);
    close(err[1]);
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    int open = 2;
    while (pid > 0 && open > 0) {
        if (poll(fds, 2, -1) < 0 && errno != EINTR) {
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd >= 0 && fds[i].revents) {
                char buffer[4096];
                ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
                if (got > 0) {
                    (i == 0 ? result.out : result.err).append(buffer, static_cast<size_t>(got));
                } else {
                    fds[i].fd = -1;
                    --open;
                }
            }
        }
    }
    close(out[0]);
    close(err[0]);
    int status = 0;
    if (pid > 0 && waitpid(pid, &status, 0) == pid) {
        result.exitCode = ExitCodeOf(status);
    }
    return result;
}

ChildProcess::ChildProcess(const std::vector<std::string>& argv) {
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) {
        return;
    }
    const int pid = Spawn(argv, out[1], -1);
    close(out[1]);
    m_output = out[0];
    if (pid > 0) {
        m_process = pid;
    }
}

ChildProcess::~ChildProcess() {
    Stop();
    if (m_output != kNone) {
        close(static_cast<int>(m_output));
    }
}

std::string ChildProcess::ReadLine(int timeoutMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        std::size_t end = m_pending.find('\n');
        if (end != std::string::npos) {
            std::string line = m_pending.substr(0, end);
            m_pending.erase(0, end + 1);
            return line;
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                        deadline - std::chrono::steady_clock::now())
                        .count();
        if (m_output == kNone || left <= 0) {
            return {};
        }
        const int output = static_cast<int>(m_output);
        pollfd fd{output, POLLIN, 0};
        if (poll(&fd, 1, static_cast<int>(left)) <= 0) {
            continue;
        }
        char buffer[4096];
        ssize_t got = read(output, buffer, sizeof buffer);
        if (got <= 0) {
            return {};
        }
        m_pending.append(buffer, static_cast<size_t>(got));
    }
}

int ChildProcess::Stop(int signal) {
    if (m_process == kNone) {
        return -1;
    }
    const pid_t pid = static_cast<pid_t>(m_process);
    kill(pid, signal);
    int status = 0;
    int code = -1;
    if (waitpid(pid, &status, 0) == pid) {
        code = ExitCodeOf(status);
    }
    m_process = kNone;
    return code;
}

}  // namespace kelvarin::test

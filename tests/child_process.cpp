// Child processes for tests, with posix_spawn and pipes.
#include "child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
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
int Spawn(const std::vector<std::string>& argv, int outFd, int errFd) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, outFd, 1);
    if (errFd >= 0) {
        posix_spawn_file_actions_adddup2(&actions, errFd, 2);
    }
    std::vector<char*> args = ArgvOf(argv);
    pid_t pid = -1;
    int rc = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? pid : -1;
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
    m_pid = Spawn(argv, out[1], -1);
    close(out[1]);
    m_outFd = out[0];
}

ChildProcess::~ChildProcess() {
    Stop();
    if (m_outFd >= 0) {
        close(m_outFd);
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
        if (m_outFd < 0 || left <= 0) {
            return {};
        }
        pollfd fd{m_outFd, POLLIN, 0};
        if (poll(&fd, 1, static_cast<int>(left)) <= 0) {
            continue;
        }
        char buffer[4096];
        ssize_t got = read(m_outFd, buffer, sizeof buffer);
        if (got <= 0) {
            return {};
        }
        m_pending.append(buffer, static_cast<size_t>(got));
    }
}

int ChildProcess::Stop(int signal) {
    if (m_pid <= 0) {
        return -1;
    }
    kill(m_pid, signal);
    int status = 0;
    int code = -1;
    if (waitpid(m_pid, &status, 0) == m_pid) {
        code = ExitCodeOf(status);
    }
    m_pid = -1;
    return code;
}

}  // namespace kelvarin::test

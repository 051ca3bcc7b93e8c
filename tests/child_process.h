// Running the project's programs from tests: run to completion, or start one
// (a server) and read its output while it runs.
#pragma once

#include <string>
#include <vector>

namespace kelvarin::test {

// What a finished program did.
struct RunResult {
    int exitCode = -1;  // -1 when it did not exit normally
    std::string out;    // standard output
    std::string err;    // standard error
};

// Runs argv[0] with argv, standard input empty, and waits for it to end.
RunResult RunProgram(const std::vector<std::string>& argv);

// A program started in the background, with its standard output on a pipe.
// Stopped with SIGTERM and waited for when the object goes away.
class ChildProcess {
  public:
    explicit ChildProcess(const std::vector<std::string>& argv);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // True when the program started.
    bool Started() const { return m_pid > 0; }

    // The next line of standard output, without its end, waiting at most
    // timeoutMs; empty on time-out or end of output.
    std::string ReadLine(int timeoutMs = 5000);

    // Sends signal and waits for the program to end; returns its exit code,
    // or -1 when it did not exit normally.
    int Stop(int signal = 15);

    int Pid() const { return m_pid; }

  private:
    int m_pid = -1;
    int m_outFd = -1;
    std::string m_pending;
};

}  // namespace kelvarin::test

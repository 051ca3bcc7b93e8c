// Running the project's programs from tests: run to completion, or start one
// (a server) and read its output while it runs.
#pragma once

#include <cstdint>
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
// Stopped with SIGTERM (on Windows: ended) and waited for when the object
// goes away. A test that dies takes its children with it.
class ChildProcess {
  public:
    explicit ChildProcess(const std::vector<std::string>& argv);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // True when the program started.
    bool Started() const { return m_process != kNone; }

    // The next line of standard output, without its end, waiting at most
    // timeoutMs; empty on time-out or end of output.
    std::string ReadLine(int timeoutMs = 5000);

    // Sends signal and waits for the program to end; returns its exit code,
    // or -1 when it did not exit normally. Windows has no signals: there the
    // program is ended and -1 returned.
    int Stop(int signal = 15);

  private:
    static constexpr std::intptr_t kNone = -1;
    std::intptr_t m_process = kNone;  // the process id, or on Windows its handle
    std::intptr_t m_output = kNone;   // the pipe's reading end: a descriptor or a handle
    std::string m_pending;
};

}  // namespace kelvarin::test

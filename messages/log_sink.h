// Where log lines go: the window's log, the terminal, a test's memory.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kelvarin {

// Receives log lines, one at a time, in the order they are produced. The
// window appends them to its log, the command line prints them.
class LogSink {
  public:
    virtual ~LogSink() = default;
    // Appends one line (UTF-8, no line end).
    virtual void AppendLine(std::string_view line) = 0;
};

// A log sink that keeps the lines in memory, for callers that report later.
class LogLines : public LogSink {
  public:
    void AppendLine(std::string_view line) override { m_lines.emplace_back(line); }
    // The lines appended so far, oldest first.
    const std::vector<std::string>& Lines() const { return m_lines; }

  private:
    std::vector<std::string> m_lines;
};

}  // namespace kelvarin

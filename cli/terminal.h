// Log lines and the progress bar on a terminal, and Ctrl+C as a stop.
#pragma once

#include "log_sink.h"
#include "progress_sink.h"

#include <atomic>
#include <cstdint>
#include <string_view>

namespace kelvarin::cli {

// Takes Ctrl+C over for the life of the object: the first one sets Stop()
// (a job then stops after the requests in flight); the handler then steps
// aside, so a second one ends the program at once. One at a time.
class InterruptGuard {
  public:
    InterruptGuard();
    ~InterruptGuard();
    InterruptGuard(const InterruptGuard&) = delete;
    InterruptGuard& operator=(const InterruptGuard&) = delete;

    // The flag a job is given as its stop.
    static const std::atomic<bool>* Stop();

  private:
    void (*m_previous)(int);
};

// Prints log lines on stdout and, when stderr is a terminal, a progress bar
// on stderr that is cleared before each log line so the two never mix.
class TerminalReporter : public LogSink, public ProgressSink {
  public:
    TerminalReporter();
    ~TerminalReporter() override;

    void AppendLine(std::string_view line) override;
    void SetRange(std::uint32_t low, std::uint32_t high) override;
    void SetPosition(std::uint32_t position) override;

    // Ends the bar's line, if one is shown.
    void Finish();

  private:
    void DrawBar();
    void ClearBar();

    bool m_showBar;
    bool m_active = false;
    bool m_barShown = false;
    int m_drawn = -1;
    std::uint32_t m_low = 0;
    std::uint32_t m_high = 0;
    std::uint32_t m_position = 0;
};

}  // namespace kelvarin::cli

// Log lines and the progress bar on a terminal.
#pragma once

#include "log_sink.h"
#include "progress_sink.h"

#include <cstdint>
#include <string_view>

namespace kelvarin::cli {

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

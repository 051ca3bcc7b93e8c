// The terminal reporter: log lines on stdout, a progress bar on stderr.
#include "terminal.h"

#include "console.h"

#include <cstdio>
#include <iostream>
#include <string>

namespace kelvarin::cli {

namespace {

constexpr int kBarWidth = 40;

}  // namespace

TerminalReporter::TerminalReporter() : m_showBar(IsTerminal(stderr)) {}

TerminalReporter::~TerminalReporter() {
    Finish();
}

void TerminalReporter::AppendLine(std::string_view line) {
    ClearBar();
    std::cout << line << '\n' << std::flush;
    DrawBar();
}

void TerminalReporter::SetRange(std::uint32_t low, std::uint32_t high) {
    m_low = low;
    m_high = high;
    m_position = low;
    m_drawn = -1;
    m_active = high > low;
    DrawBar();
}

void TerminalReporter::SetPosition(std::uint32_t position) {
    m_position = position;
    DrawBar();
}

void TerminalReporter::Finish() {
    ClearBar();
    m_active = false;
}

void TerminalReporter::DrawBar() {
    if (!m_showBar || !m_active) {
        return;
    }
    const double done = static_cast<double>(m_position - m_low) / (m_high - m_low);
    const int filled = static_cast<int>(done * kBarWidth);
    const int percent = static_cast<int>(done * 100);
    if (percent == m_drawn) {
        return;  // redraw only when the figure changes
    }
    m_drawn = percent;
    std::string bar(static_cast<std::size_t>(filled), '#');
    bar.append(static_cast<std::size_t>(kBarWidth - filled), '-');
    std::fprintf(stderr, "\r[%s] %3d%% %u/%u", bar.c_str(), percent, m_position - m_low,
                 m_high - m_low);
    std::fflush(stderr);
    m_barShown = true;
}

void TerminalReporter::ClearBar() {
    if (m_barShown) {
        std::fprintf(stderr, "\r\033[K");
        std::fflush(stderr);
        m_barShown = false;
        m_drawn = -1;
    }
}

}  // namespace kelvarin::cli

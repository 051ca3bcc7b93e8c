// The terminal reporter (log lines on stdout, a progress bar on stderr) and
// Ctrl+C as a job's stop.
#include "terminal.h"

#include "console.h"

#include <csignal>
#include <cstdio>
#include <iostream>
#include <string>

namespace kelvarin::cli {

namespace {

std::atomic<bool> g_stop{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

extern "C" void OnInterrupt(int) {
    g_stop.store(true);
    std::signal(SIGINT, SIG_DFL);
}

constexpr int kBarWidth = 40;

}  // namespace

InterruptGuard::InterruptGuard() {
    g_stop.store(false);
    m_previous = std::signal(SIGINT, OnInterrupt);
}

InterruptGuard::~InterruptGuard() {
    std::signal(SIGINT, m_previous == SIG_ERR ? SIG_DFL : m_previous);
}

const std::atomic<bool>* InterruptGuard::Stop() {
    return &g_stop;
}

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

// kelvarin-cli send: connect, pack, dump and download, as the window's Send.
#include "commands.h"

#include "download.h"
#include "dump_file.h"
#include "file_list.h"
#include "socket_link.h"

#include <unistd.h>
#include <cstdio>
#include <iostream>
#include <string>

namespace kelvarin::cli {

namespace {

// Prints log lines on stdout and, when stderr is a terminal, a progress bar
// on stderr that is cleared before each log line so the two never mix.
class TerminalReporter : public LogSink, public ProgressSink {
  public:
    TerminalReporter() : m_showBar(::isatty(STDERR_FILENO) == 1) {}
    ~TerminalReporter() override { Finish(); }

    void AppendLine(std::string_view line) override {
        ClearBar();
        std::cout << line << '\n' << std::flush;
        DrawBar();
    }

    void SetRange(std::uint32_t low, std::uint32_t high) override {
        m_low = low;
        m_high = high;
        m_position = low;
        m_drawn = -1;
        m_active = high > low;
        DrawBar();
    }

    void SetPosition(std::uint32_t position) override {
        m_position = position;
        DrawBar();
    }

    // Ends the bar's line, if one is shown.
    void Finish() {
        ClearBar();
        m_active = false;
    }

  private:
    static constexpr int kWidth = 40;

    void DrawBar() {
        if (!m_showBar || !m_active) {
            return;
        }
        const double done = static_cast<double>(m_position - m_low) / (m_high - m_low);
        const int filled = static_cast<int>(done * kWidth);
        const int percent = static_cast<int>(done * 100);
        if (percent == m_drawn) {
            return;  // redraw only when the figure changes
        }
        m_drawn = percent;
        std::string bar(static_cast<std::size_t>(filled), '#');
        bar.append(static_cast<std::size_t>(kWidth - filled), '-');
        std::fprintf(stderr, "\r[%s] %3d%% %u/%u", bar.c_str(), percent, m_position - m_low,
                     m_high - m_low);
        std::fflush(stderr);
        m_barShown = true;
    }

    void ClearBar() {
        if (m_barShown) {
            std::fprintf(stderr, "\r\033[K");
            std::fflush(stderr);
            m_barShown = false;
            m_drawn = -1;
        }
    }

    bool m_showBar;
    bool m_active = false;
    bool m_barShown = false;
    int m_drawn = -1;
    std::uint32_t m_low = 0;
    std::uint32_t m_high = 0;
    std::uint32_t m_position = 0;
};

}  // namespace

int RunSend(const std::string& address, int port, const std::vector<std::string>& files,
            const std::string& dumpOverride) {
    FileListModel list;
    const bool dropped = !FillFileList(files, list);

    TerminalReporter reporter;
    CSocketLink link;
    char line[512];
    if (!link.Open(0, false, kReplyTimeoutMs) || !link.Connect(address, port)) {
        std::snprintf(line, sizeof line, "%s:%d 连接失败", address.c_str(), port);
        reporter.AppendLine(line);
        return kExitNoConnection;
    }
    std::snprintf(line, sizeof line, "%s:%d 连接成功", address.c_str(), port);
    reporter.AppendLine(line);

    const std::string dumpPath = dumpOverride.empty() ? DefaultDumpPath(true) : dumpOverride;
    SendReport report = SendWebImage(list, link, reporter, reporter, dumpPath);
    reporter.Finish();
    link.Close();
    return (report.Succeeded() && !dropped) ? kExitOk : kExitFailed;
}

}  // namespace kelvarin::cli

// A job's steps on a terminal: log lines on one stream, refusals and other
// usage errors on stderr after the program's name.
#pragma once

#include "job_log.h"

#include <iosfwd>
#include <string>
#include <string_view>

namespace kelvarin::cli {

// The option of the command line that gives field ("--dump", "-o", ...).
std::string OptionName(PlanField field);

// Log lines written to a stream, one a line, flushed as they come.
class StreamLog : public LogSink, public ProgressSink {
  public:
    explicit StreamLog(std::ostream& out) : m_out(out) {}
    void AppendLine(std::string_view line) override;
    void SetRange(std::uint32_t, std::uint32_t) override {}
    void SetPosition(std::uint32_t) override {}

  private:
    std::ostream& m_out;
};

// JobLog for kelvarin-cli: a refusal that is a usage error (a folder, an
// image or targets file, an output that would destroy an input, a trace that
// cannot be written) and the entries of a site folder left out go to stderr;
// what the packed files decide (all or nothing, nothing to compare) goes to
// the log, after the packer's lines.
class CliLog : public JobLog {
  public:
    // Names what a refusal is about by the command line's options.
    CliLog(const MessageCatalog& catalog, LogSink& log, ProgressSink& progress)
        : JobLog(catalog, log, progress, OptionName) {}
    void OnSiteSkipped(const SkippedEntry& entry) override;
    void OnRefused(const PlanProblem& problem, const PackResult* packed) override;
    // A pull's records are listed as inspect lists them.
    void OnReadOut(const PullReport& report, const std::string& file, const std::string& error,
                   bool backup) override;
};

// Prints "kelvarin-cli: " and text on stderr.
void SayError(std::string_view text);

}  // namespace kelvarin::cli

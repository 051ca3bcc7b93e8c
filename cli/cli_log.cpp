// Where kelvarin-cli says what.
#include "cli_log.h"

#include "records.h"

#include <iostream>

namespace kelvarin::cli {

void StreamLog::AppendLine(std::string_view line) {
    m_out << line << '\n' << std::flush;
}

void SayError(std::string_view text) {
    std::cerr << "kelvarin-cli: " << text << '\n';
}

void CliLog::OnSiteSkipped(const SkippedEntry& entry) {
    SayError(Catalog().SiteSkippedLine(entry));
}

void CliLog::OnReadOut(const PullReport& report, const std::string& file,
                       const std::string& error, bool backup) {
    if (!backup && report.outcome == PullOutcome::kImage && error.empty()) {
        const std::string_view image(reinterpret_cast<const char*>(report.image.data()),
                                     report.image.size());
        PrintRecords(ReadImage(image));
    }
    if (!backup && report.outcome == PullOutcome::kImage && !error.empty()) {
        SayError(Catalog().Text(MessageId::kImageNotWritten, {file, error}));
        return;
    }
    JobLog::OnReadOut(report, file, error, backup);
}

void CliLog::OnRefused(const PlanProblem& problem, const PackResult* packed) {
    if (problem.fault == PlanFault::kPartial || problem.fault == PlanFault::kNothingToCompare) {
        JobLog::OnRefused(problem, packed);
        return;
    }
    if (packed) {
        OnPacked(*packed);
    }
    for (const std::string& line : Catalog().RefusalLines(problem)) {
        SayError(line);
    }
}

}  // namespace kelvarin::cli

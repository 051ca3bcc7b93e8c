// Where kelvarin-cli says what.
#include "cli_log.h"

#include "ascii.h"
#include "records.h"

#include <iostream>

namespace kelvarin::cli {

void StreamLog::AppendLine(std::string_view line) {
    m_out << line << '\n' << std::flush;
}

std::string OptionName(PlanField field) {
    switch (field) {
        case PlanField::kSite:
            return "--site";
        case PlanField::kRoot:
            return "--root";
        case PlanField::kTargets:
            return "--targets";
        case PlanField::kImage:
            return "--image";
        case PlanField::kOutput:
            return "-o";
        case PlanField::kDump:
            return "--dump";
        case PlanField::kTrace:
            return "--trace";
        case PlanField::kBackup:
            return "--backup";
        case PlanField::kJournal:
            return "--journal";
        case PlanField::kCert:
            return "--cert";
        case PlanField::kKey:
            return "--key";
        case PlanField::kKeyPasswordFile:
            return "--key-password-file";
        case PlanField::kCa:
            return "--ca";
        case PlanField::kRange:
            return "RANGE";
        case PlanField::kTargetsOut:
            return "--targets-out";
        case PlanField::kNone:
            break;
    }
    return {};
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
        PrintRecords(ReadImage(BytesText(report.image)));
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
    for (const std::string& line : Catalog().RefusalLines(problem, Names())) {
        SayError(line);
    }
}

}  // namespace kelvarin::cli

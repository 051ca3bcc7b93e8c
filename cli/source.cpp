// What every subcommand shares: its source options as a job's source, and a
// job's report as an exit code.
#include "commands.h"

namespace kelvarin::cli {

JobSource SourceOf(const ImageSource& source) {
    JobSource job;
    job.files = source.files.files;
    job.site = source.files.site;
    job.root = source.files.root;
    job.pack.contentTypes = source.files.contentTypes;
    job.pack.gzip = source.files.gzip;
    job.allOrNothing = source.files.allOrNothing;
    job.image = source.image;
    return job;
}

JournalSettings JournalArguments::Settings() const {
    JournalSettings settings;
    settings.off = path == "none";
    settings.path = settings.off ? std::string() : path;
    settings.warnBytes = static_cast<std::uint64_t>(maxMb) << 20;
    return settings;
}

int ExitCodeOf(const JobReport& report) {
    switch (report.Outcome()) {
        case JobOutcome::kOk:
            return kExitOk;
        case JobOutcome::kFailed:
            return kExitFailed;
        case JobOutcome::kRefused:
            return kExitUsage;
        case JobOutcome::kNoConnection:
            return kExitNoConnection;
        case JobOutcome::kUnreadable:
            return kExitUnreadable;
        case JobOutcome::kStopped:
            return kExitInterrupted;
    }
    return kExitFailed;
}

}  // namespace kelvarin::cli

// kelvarin-cli fleet: one image, packed once, downloaded to many devices at
// once; each device's line as it finishes, a summary, and JSON for programs.
#include "ascii.h"
#include "catalog.h"
#include "cli_log.h"
#include "commands.h"
#include "command_line.h"
#include "fleet.h"
#include "net.h"
#include "options.h"
#include "user_dirs.h"
#include "job_run.h"
#include "utc_time.h"

#include <chrono>

#include <iostream>
#include <sstream>

#include <memory>

namespace kelvarin::cli {

namespace {

// A time as JSON: UTC text, or null for none.
std::string JsonTime(std::chrono::system_clock::time_point time) {
    return time == std::chrono::system_clock::time_point{} ? "null" : JsonString(UtcText(time));
}

// One device's JSON object; error in English, empty for none.
std::string JsonDevice(const FleetTarget& target, const TargetResult& facts,
                       const std::string& error, const std::string& leftOutList,
                       const std::string& imageSha256) {
    std::ostringstream json;
    json << "  {\"target\": " << JsonString(target.Text())
         << ", \"ok\": " << (error.empty() ? "true" : "false")
         << ", \"failed_chunks\": " << facts.download.failedChunks
         << ", \"seconds\": " << JsonSeconds(facts.seconds)
         << ", \"error\": " << (error.empty() ? "null" : JsonString(error))
         << ", \"files_left_out\": " << leftOutList
         << ", \"current\": " << (facts.current ? "true" : "false")
         << ", \"retries\": " << facts.download.retries
         << ", \"reconnects\": " << facts.download.reconnects
         << ", \"started\": " << (facts.started ? "true" : "false")
         << ", \"start\": " << JsonTime(facts.startTime)
         << ", \"end\": " << JsonTime(facts.endTime)
         << ", \"bytes_written\": " << facts.download.bytesEchoed
         << ", \"image_sha256\": " << JsonString(imageSha256)
         << ", \"backup\": " << (facts.backupFile.empty() ? "null" : JsonString(facts.backupFile));
    // Only what changed, asked for (or a dry run): how many chunks were read,
    // written and read back, beside a full send's.
    if (facts.delta) {
        const DeltaFacts& delta = *facts.delta;
        json << ", \"mode\": " << JsonString(delta.ModeName()) << ", \"dry_run\": "
             << (facts.dryRun ? "true" : "false") << ", \"requests_read\": " << delta.readRequests
             << ", \"chunks_written\": " << delta.chunksWritten
             << ", \"chunks_read_back\": " << delta.chunksReadBack
             << ", \"chunks_full\": " << delta.fullChunks
             << ", \"device_image_sha256\": " << JsonString(delta.imageSha256);
        if (facts.dryRun) {
            json << ", \"estimate_seconds\": " << JsonSeconds(delta.estimateSeconds);
        }
    }
    json << "}";
    return json.str();
}

// The report as one JSON array, an object per target, errors in English,
// for the programs that read it: "ok" is the job's judgement of the device.
// When all or nothing kept the image back, every device failed for that
// reason (none was touched).
std::string JsonResults(const JobReport& report) {
    const MessageCatalog english(Language::kEnglish);
    std::string leftOut = "[";
    for (std::size_t i = 0; i < report.leftOut.size(); ++i) {
        leftOut += (i == 0 ? "" : ", ") + JsonString(report.leftOut[i]);
    }
    leftOut += "]";
    std::vector<std::string> objects;
    if (report.refusal && report.pack) {
        const std::string why = english.NothingSentLine(*report.pack);
        for (const FleetTarget& target : report.targets) {
            TargetResult untouched;
            untouched.target = target;
            untouched.started = false;
            objects.push_back(JsonDevice(target, untouched, why, leftOut, report.imageSha256));
        }
    }
    for (const DeviceReport& device : report.devices) {
        objects.push_back(JsonDevice(device.facts.target, device.facts,
                                     english.TargetFailure(device), leftOut, report.imageSha256));
    }
    std::string json = "[";
    for (std::size_t i = 0; i < objects.size(); ++i) {
        json += (i == 0 ? "\n" : ",\n") + objects[i];
    }
    return json + (objects.empty() ? "]\n" : "\n]\n");
}

}  // namespace

int RunFleet(const FleetArguments& arguments) {
    JobPlan plan;
    plan.kind = JobKind::kFleet;
    plan.source = SourceOf(arguments.source);
    plan.targetsFile = arguments.targetsPath;
    plan.outputs.dump =
        arguments.dumpPath.empty() ? DefaultDumpTarget() : DumpTarget{arguments.dumpPath};
    plan.outputs.trace = arguments.link.tracePath;
    plan.transfer = arguments.link.Transfer();
    plan.verify = arguments.verify;
    plan.skipCurrent = arguments.skipCurrent;
    plan.outputs.backupDir = arguments.backupDir;
    plan.jobs = arguments.jobs;
    plan.canary = arguments.canary;
    plan.maxFailures = arguments.maxFailures;
    plan.journal = arguments.journal.Settings();
    plan.tls = arguments.link.tls;
    plan.delta = arguments.delta.delta;
    plan.trustJournal = arguments.delta.trustJournal;
    plan.dryRun = arguments.delta.dryRun;

    // With --json, standard output holds the JSON alone; the log goes to
    // standard error.
    const MessageCatalog catalog(LanguageFromEnvironment());
    StreamLog out(arguments.json ? std::cerr : std::cout);
    CliLog log(catalog, out, out);
    const JobReport report = RunJob(plan, log);
    const bool usable = !report.refusal || report.refusal->fault == PlanFault::kPartial;
    if (usable && !report.refusal) {
        out.AppendLine(catalog.FleetSummary(static_cast<int>(report.devices.size()),
                                            report.Succeeded()));
    }
    if (arguments.json && usable) {
        std::cout << JsonResults(report) << std::flush;
    }
    return ExitCodeOf(report);
}

Command AddFleetCommand(CLI::App& app) {
    auto arguments = std::make_shared<FleetArguments>();
    CLI::App* fleet = app.add_subcommand(
        "fleet", "Pack once and download the image to every device of a targets file at once");
    fleet
        ->add_option("--targets", arguments->targetsPath,
                     "File of ADDRESS[:PORT][/UNIT] lines (port 502 and --unit when left out; "
                     "# comments)")
        ->required();
    AddImageOptions(*fleet, arguments->source);
    fleet->add_option("--dump", arguments->dumpPath,
                      std::string("Where to write the copy of the image (default ") +
                          kUserPlaceNames.dump + ")");
    fleet->add_flag("--verify", arguments->verify,
                    "Read each device's image back after its download and compare");
    fleet->add_flag("--json", arguments->json,
                    "Print one JSON array of results (target, ok, failed_chunks, seconds, "
                    "error) instead of lines");
    // One wait holds every device's socket: where a wait holds fewer sockets
    // (select() on Windows), so many devices at once and no more.
    const int mostJobs =
        static_cast<int>(std::min<std::size_t>(kelvarin::kMaxFleetJobs, net::MaxWaitSockets()));
    const std::string jobsLimit =
        mostJobs < kelvarin::kMaxFleetJobs
            ? "devices at once on this system, where one wait (select()) holds " +
                  std::to_string(net::MaxWaitSockets()) + " sockets"
            : "devices at once";
    fleet
        ->add_option("--jobs", arguments->jobs,
                     "Devices at once (default: all of them); at most " + std::to_string(mostJobs) +
                         " " + jobsLimit)
        ->check(cmdline::AtMost(mostJobs, jobsLimit))
        ->check(CLI::Range(1, mostJobs));
    fleet->add_flag("--skip-current", arguments->skipCurrent,
                    "Read each device back first and leave alone those that already hold the "
                    "image (reported as current)");
    fleet
        ->add_option("--canary", arguments->canary,
                     "Send to the first N targets of the file alone first; the rest start only "
                     "when every one of them succeeded (verified, with --verify)")
        ->check(CLI::Range(1, 1 << 20));
    fleet
        ->add_option("--max-failures", arguments->maxFailures,
                     "Once K devices have failed, start no further device; those not started "
                     "are said (\"started\": false in the JSON) and the run exits 1")
        ->check(CLI::Range(1, 1 << 20));
    fleet->add_option("--backup", arguments->backupDir,
                      "Before its first write, read each device's image out into this folder "
                      "(a file a device); a device that cannot be read out is not written and "
                      "fails, the others go on");
    AddDeltaOptions(*fleet, arguments->delta);
    AddLinkOptions(*fleet, arguments->link);
    AddJournalOptions(*fleet, arguments->journal);
    RequireOneOf(*fleet, {"files", "--site", "--image"}, "files, --site or --image");
    return {fleet, [arguments] { return RunFleet(*arguments); }};
}

}  // namespace kelvarin::cli

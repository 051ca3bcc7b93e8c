// kelvarin-cli send and verify: one device's job, with Ctrl+C as its stop.
#include "catalog.h"
#include "cli_log.h"
#include "commands.h"
#include "options.h"
#include "user_dirs.h"
#include "job_run.h"
#include "terminal.h"

#include <memory>

namespace kelvarin::cli {

namespace {

// Runs plan with the terminal as its log and Ctrl+C as its stop.
int RunOnTerminal(const JobPlan& plan) {
    InterruptGuard interrupt;
    const MessageCatalog catalog(LanguageFromEnvironment());
    TerminalReporter reporter;
    CliLog log(catalog, reporter, reporter);
    const JobReport report = RunJob(plan, log, InterruptGuard::Stop());
    reporter.Finish();
    return ExitCodeOf(report);
}

JobPlan DevicePlan(JobKind kind, const std::string& address, int port, const ImageSource& source,
                   const LinkArguments& link, const JournalArguments& journal) {
    JobPlan plan;
    plan.journal = journal.Settings();
    plan.kind = kind;
    plan.source = SourceOf(source);
    plan.targets = {{address, port, link.unit}};
    plan.transfer = link.Transfer();
    plan.outputs.trace = link.tracePath;
    plan.tls = link.tls;
    return plan;
}

}  // namespace

TransferOptions LinkArguments::Transfer() const {
    TransferOptions options;
    options.retries = retries;
    options.autoWindow = window == "auto";
    options.window = options.autoWindow ? 1 : std::stoi(window);
    options.chunkBytes = static_cast<std::size_t>(chunk);
    options.timeouts = LinkTimeouts::All(timeoutMs);
    options.firstReplyMs = firstTimeoutMs;
    options.unit = static_cast<std::uint8_t>(unit);
    return options;
}

int RunSend(const SendArguments& arguments) {
    JobPlan plan = DevicePlan(JobKind::kSend, arguments.address, arguments.port,
                              arguments.source, arguments.link, arguments.journal);
    plan.outputs.dump =
        arguments.dumpPath.empty() ? DefaultDumpTarget() : DumpTarget{arguments.dumpPath};
    plan.verify = arguments.verify;
    plan.outputs.backupDir = arguments.backupDir;
    plan.delta = arguments.delta.delta;
    plan.trustJournal = arguments.delta.trustJournal;
    plan.dryRun = arguments.delta.dryRun;
    return RunOnTerminal(plan);
}

int RunPull(const PullArguments& arguments) {
    JobPlan plan = DevicePlan(JobKind::kPull, arguments.address, arguments.port, {},
                              arguments.link, arguments.journal);
    plan.outputs.imageFile = arguments.output;
    return RunOnTerminal(plan);
}

int RunVerify(const VerifyArguments& arguments) {
    return RunOnTerminal(DevicePlan(JobKind::kVerify, arguments.address, arguments.port,
                                    arguments.source, arguments.link, arguments.journal));
}

Command AddSendCommand(CLI::App& app) {
    auto arguments = std::make_shared<SendArguments>();
    CLI::App* send = app.add_subcommand(
        "send", "Pack files, or take an image file, and download the image to a device");
    AddTarget(*send, arguments->address, arguments->port);
    AddImageOptions(*send, arguments->source);
    send->add_option("--dump", arguments->dumpPath,
                     std::string("Where to write the copy of the image (default ") +
                         kUserPlaceNames.dump + ")");
    send->add_flag("--verify", arguments->verify,
                   "Read the image back after the download and compare");
    send->add_option("--backup", arguments->backupDir,
                     "Before the first write, read the device's image out into this folder "
                     "(ADDRESS-PORT-UNIT-YYYYMMDDTHHMMSSZ.img, UTC); a device that cannot be read "
                     "out is not written. Roll back with send --image BACKUP");
    AddDeltaOptions(*send, arguments->delta);
    AddLinkOptions(*send, arguments->link);
    AddJournalOptions(*send, arguments->journal);
    RequireOneOf(*send, {"files", "--site", "--image"}, "files, --site or --image");
    return {send, [arguments] { return RunSend(*arguments); }};
}

Command AddVerifyCommand(CLI::App& app) {
    auto arguments = std::make_shared<VerifyArguments>();
    CLI::App* verify = app.add_subcommand(
        "verify", "Read the image memory of a device back and compare it with an image");
    AddTarget(*verify, arguments->address, arguments->port);
    AddImageOptions(*verify, arguments->source);
    AddLinkOptions(*verify, arguments->link);
    AddJournalOptions(*verify, arguments->journal);
    RequireOneOf(*verify, {"files", "--site", "--image"}, "files, --site or --image");
    return {verify, [arguments] { return RunVerify(*arguments); }};
}

Command AddPullCommand(CLI::App& app) {
    auto arguments = std::make_shared<PullArguments>();
    CLI::App* pull = app.add_subcommand(
        "pull", "Read the image a device holds out into an image file, and list its records");
    AddTarget(*pull, arguments->address, arguments->port);
    pull->add_option("-o,--output", arguments->output,
                     "Image file to write: exactly the image's bytes, as pack writes them")
        ->required();
    AddLinkOptions(*pull, arguments->link);
    AddJournalOptions(*pull, arguments->journal);
    return {pull, [arguments] { return RunPull(*arguments); }};
}

}  // namespace kelvarin::cli

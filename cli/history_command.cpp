// kelvarin-cli history: the journal's records, and the check of its chain.
#include "ascii.h"
#include "catalog.h"
#include "cli_log.h"
#include "commands.h"
#include "options.h"
#include "journal.h"
#include "targets.h"
#include "user_dirs.h"

#include <chrono>
#include <cstdio>
#include <iostream>

#include <memory>

namespace kelvarin::cli {

namespace {

// True when text is a day of the calendar written YYYY-MM-DD.
bool IsDate(const std::string& text) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') {
        return false;
    }
    for (const std::size_t at : {0u, 1u, 2u, 3u, 5u, 6u, 8u, 9u}) {
        if (text[at] < '0' || text[at] > '9') {
            return false;
        }
    }
    const std::chrono::year_month_day day{std::chrono::year(std::stoi(text.substr(0, 4))),
                                          std::chrono::month(std::stoul(text.substr(5, 2))),
                                          std::chrono::day(std::stoul(text.substr(8, 2)))};
    return day.ok();
}

}  // namespace

int RunHistory(const HistoryArguments& arguments) {
    const MessageCatalog catalog(LanguageFromEnvironment());
    JournalQuery query;
    if (!arguments.device.empty()) {
        // ADDRESS[:PORT][/UNIT], as a targets file writes a device; a part
        // left out matches any.
        const std::optional<FleetTarget> device = ParseTarget(arguments.device);
        if (!device) {
            SayError("--device " + VisibleText(arguments.device) + ": not ADDRESS[:PORT][/UNIT]");
            return kExitUsage;
        }
        query.address = device->address;
        query.port = arguments.device.find(':') == std::string::npos ? 0 : device->port;
        query.unit = arguments.device.find('/') == std::string::npos ? -1 : device->unit;
    }
    if (!arguments.since.empty()) {
        if (!IsDate(arguments.since)) {
            SayError("--since " + VisibleText(arguments.since) + ": not a day YYYY-MM-DD");
            return kExitUsage;
        }
        query.since = arguments.since;
    }
    if (!arguments.head.empty() && !arguments.check) {
        SayError("--head needs --check");
        return kExitUsage;
    }
    const std::optional<std::string> where =
        arguments.journal.path.empty() ? DefaultJournalPath() : std::optional(arguments.journal.path);
    if (!where || arguments.journal.path == "none") {
        SayError(catalog.Text(MessageId::kJournalUnreadable,
                              {kUserPlaceNames.journal, "no journal"}));
        return kExitUsage;
    }
    // Read-only: history never makes, changes or converts what it reads.
    std::string error;
    const std::unique_ptr<Journal> journal = Journal::OpenForReading(*where, &error);
    if (!journal) {
        SayError(catalog.Text(MessageId::kJournalUnreadable, {*where, error}));
        return kExitUsage;
    }
    if (arguments.check) {
        const JournalCheck check = journal->Check(arguments.head);
        if (check.fault == JournalFault::kUnreadable) {
            SayError(catalog.JournalCheckLine(*where, check));
            return kExitUsage;
        }
        std::cout << catalog.JournalCheckLine(*where, check) << '\n';
        if (!check.Intact()) {
            return kExitFailed;
        }
        std::cout << catalog.Text(MessageId::kJournalHead,
                                  {check.headSha256, std::to_string(check.records),
                                   check.headTime.empty() ? "-" : VisibleText(check.headTime)})
                  << '\n';
        if (!arguments.head.empty()) {
            if (check.keptHeadAt == 0) {
                std::cout << catalog.Text(MessageId::kJournalHeadMissing, {arguments.head}) << '\n';
                return kExitFailed;
            }
            std::cout << catalog.Text(MessageId::kJournalHeadHeld,
                                      {arguments.head, std::to_string(check.keptHeadAt)})
                      << '\n';
        }
        return kExitOk;
    }
    const std::vector<JournalEntry> entries = journal->Read(query, &error);
    if (!error.empty()) {
        SayError(catalog.Text(MessageId::kJournalUnreadable, {*where, error}));
        return kExitUsage;
    }
    if (arguments.json) {
        std::cout << "[";
        for (std::size_t i = 0; i < entries.size(); ++i) {
            const JournalEntry& entry = entries[i];
            std::cout << (i == 0 ? "\n" : ",\n") << "  {\"seq\": " << entry.seq
                      << ", \"record\": " << entry.record
                      << ", \"prev_sha256\": " << JsonString(entry.prevSha256)
                      << ", \"sha256\": " << JsonString(entry.sha256) << "}";
        }
        std::cout << (entries.empty() ? "]\n" : "\n]\n");
        return kExitOk;
    }
    // time, operation, device, the image's SHA-256 shortened, and the outcome
    // (the first record of an operation has none yet).
    for (const JournalEntry& entry : entries) {
        const std::string outcome = entry.phase == "begin" ? "begun" : entry.outcome;
        std::printf("%-24s %-7s %-24s %-12s %s\n", VisibleText(entry.time).c_str(),
                    VisibleText(entry.operation).c_str(), VisibleText(entry.device).c_str(),
                    entry.imageSha256.empty() ? "-" : VisibleText(entry.imageSha256.substr(0, 12)).c_str(),
                    VisibleText(outcome).c_str());
    }
    std::fflush(stdout);
    return kExitOk;
}

Command AddHistoryCommand(CLI::App& app) {
    auto arguments = std::make_shared<HistoryArguments>();
    CLI::App* history = app.add_subcommand(
        "history", "List the journal's records of operations on devices, or check its chain");
    history->add_option("--device", arguments->device,
                        "Only the records of this device: ADDRESS[:PORT][/UNIT]");
    history->add_option("--since", arguments->since,
                        "Only the records from this day on (YYYY-MM-DD, UTC)");
    history->add_flag("--json", arguments->json, "Print each record whole, as JSON");
    history->add_flag("--check", arguments->check,
                      "Read every page and walk the chain of hashes, the file opened read-only; "
                      "when intact, print the newest record's hash on a line of its own, "
                      "\"head SHA256 SEQ TIME\", to keep where this account cannot write");
    history
        ->add_option("--head", arguments->head,
                     "With --check: a head kept earlier (its SHA-256), which the intact chain "
                     "must hold: a journal cut, rewritten or replaced since fails")
        ->check([](const std::string& text) -> std::string {
            const bool hex = text.size() == 64 &&
                             text.find_first_not_of("0123456789abcdef") == std::string::npos;
            return hex ? std::string() : "not a SHA-256 (64 lowercase hexadecimal digits)";
        });
    AddJournalOptions(*history, arguments->journal, false);
    return {history, [arguments] { return RunHistory(*arguments); }};
}

}  // namespace kelvarin::cli

// kelvarin-cli history: the journal's records, and the check of its chain.
#include "ascii.h"
#include "catalog.h"
#include "cli_log.h"
#include "commands.h"
#include "ipv4.h"
#include "journal.h"
#include "user_dirs.h"

#include <cstdio>
#include <iostream>

namespace kelvarin::cli {

int RunHistory(const HistoryArguments& arguments) {
    const MessageCatalog catalog(LanguageFromEnvironment());
    JournalQuery query;
    if (!arguments.device.empty()) {
        const std::size_t colon = arguments.device.find(':');
        const std::optional<std::uint32_t> address =
            ParseDottedQuad(std::string_view(arguments.device).substr(0, colon));
        const int port = colon == std::string::npos ? 0 : std::atoi(arguments.device.c_str() + colon + 1);
        if (!address || (colon != std::string::npos && (port < 1 || port > 65535))) {
            SayError("--device " + VisibleText(arguments.device) + ": not ADDRESS[:PORT]");
            return kExitUsage;
        }
        query.address = DottedQuadText(*address);
        query.port = port;
    }
    if (!arguments.since.empty()) {
        const std::string& since = arguments.since;
        const bool date = since.size() == 10 && since[4] == '-' && since[7] == '-';
        if (!date) {
            SayError("--since " + VisibleText(since) + ": not YYYY-MM-DD");
            return kExitUsage;
        }
        query.since = since;
    }
    const std::optional<std::string> where =
        arguments.journal.path.empty() ? DefaultJournalPath() : std::optional(arguments.journal.path);
    if (!where || arguments.journal.path == "none") {
        SayError(catalog.Text(MessageId::kJournalUnreadable,
                              {kUserPlaceNames.journal, "no journal"}));
        return kExitUsage;
    }
    std::string error;
    const std::unique_ptr<Journal> journal = Journal::Open(*where, &error, true);
    if (!journal) {
        SayError(catalog.Text(MessageId::kJournalUnreadable, {*where, error}));
        return kExitUsage;
    }
    if (arguments.check) {
        const JournalCheck check = journal->Check();
        std::cout << catalog.JournalCheckLine(*where, check) << '\n';
        if (check.fault == JournalFault::kUnreadable) {
            return kExitUsage;
        }
        return check.Intact() ? kExitOk : kExitFailed;
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

}  // namespace kelvarin::cli

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

namespace {

// The value of a top-level or nested member of a record, as its text
// (strings without their quotes); empty when absent. The records are the
// journal's own JSON, one object, members in a known order.
std::string Field(std::string_view record, std::string_view path) {
    std::string_view rest = record;
    std::size_t dot = 0;
    while ((dot = path.find('.')) != std::string_view::npos) {
        const std::string key = "\"" + std::string(path.substr(0, dot)) + "\":{";
        const std::size_t at = rest.find(key);
        if (at == std::string_view::npos) {
            return {};
        }
        rest = rest.substr(at + key.size() - 1);
        path = path.substr(dot + 1);
    }
    const std::string key = "\"" + std::string(path) + "\":";
    const std::size_t at = rest.find(key);
    if (at == std::string_view::npos) {
        return {};
    }
    rest = rest.substr(at + key.size());
    if (rest.starts_with("\"")) {
        // The journal's strings escape quotes and backslashes; an escaped
        // quote does not end the value.
        std::string value;
        for (std::size_t i = 1; i < rest.size() && rest[i] != '"'; ++i) {
            if (rest[i] == '\\' && i + 1 < rest.size()) {
                ++i;
            }
            value += rest[i];
        }
        return value;
    }
    const std::size_t end = rest.find_first_of(",}");
    return std::string(rest.substr(0, end));
}

}  // namespace

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
        const std::string& r = entry.record;
        const std::string unit = Field(r, "device.unit");
        std::string device = Field(r, "device.address") + ":" + Field(r, "device.port");
        if (!unit.empty() && unit != "0") {
            device += "/" + unit;
        }
        const std::string sha = Field(r, "image.sha256");
        const std::string outcome = Field(r, "phase") == "begin" ? "begun" : Field(r, "outcome");
        std::printf("%-24s %-7s %-24s %-12s %s\n", VisibleText(Field(r, "time")).c_str(),
                    VisibleText(Field(r, "operation")).c_str(), VisibleText(device).c_str(),
                    sha.empty() ? "-" : VisibleText(sha.substr(0, 12)).c_str(),
                    VisibleText(outcome).c_str());
    }
    std::fflush(stdout);
    return kExitOk;
}

}  // namespace kelvarin::cli

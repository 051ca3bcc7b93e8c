// kelvarin-cli fleet: one image, packed once, downloaded to many devices at
// once.
#include "catalog.h"
#include "commands.h"
#include "dump_file.h"
#include "files.h"
#include "fleet.h"
#include "net.h"
#include "wire_trace.h"

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <sstream>

namespace kelvarin::cli {

namespace {

// text as a JSON string.
std::string JsonString(std::string_view text) {
    std::string quoted = "\"";
    for (char c : text) {
        switch (c) {
            case '"':
                quoted += "\\\"";
                break;
            case '\\':
                quoted += "\\\\";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                    quoted += escaped;
                } else {
                    quoted += c;
                }
        }
    }
    return quoted + "\"";
}

// Seconds with three decimals, for the JSON.
std::string Seconds3(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", seconds);
    return text;
}

// The results as one JSON array, an object per target; errors in English,
// for the programs that read it. Every object carries the files left out of
// the image, and a device that got an image missing any is not "ok": it does
// not hold the site it was to hold. With a refusal, every device failed for
// that reason (all or nothing: none was touched).
std::string JsonResults(const std::vector<TargetResult>& results,
                        const std::vector<std::string>& leftOut,
                        const std::string& refusal = {}) {
    const MessageCatalog english(Language::kEnglish);
    std::string leftOutList = "[";
    for (std::size_t i = 0; i < leftOut.size(); ++i) {
        leftOutList += (i == 0 ? "" : ", ") + JsonString(leftOut[i]);
    }
    leftOutList += "]";
    std::ostringstream json;
    json << "[";
    for (std::size_t i = 0; i < results.size(); ++i) {
        const TargetResult& result = results[i];
        std::string error = refusal.empty() ? english.TargetFailure(result) : refusal;
        if (error.empty() && !leftOut.empty()) {
            error = english.Text(MessageId::kReasonNotPacked, {std::to_string(leftOut.size())});
        }
        json << (i == 0 ? "\n" : ",\n") << "  {\"target\": " << JsonString(result.target.Text())
             << ", \"ok\": " << (error.empty() ? "true" : "false")
             << ", \"failed_chunks\": " << result.download.failedChunks
             << ", \"seconds\": " << Seconds3(result.seconds)
             << ", \"error\": " << (error.empty() ? "null" : JsonString(error))
             << ", \"files_left_out\": " << leftOutList
             << ", \"current\": " << (result.current ? "true" : "false")
             << ", \"retries\": " << result.download.retries
             << ", \"reconnects\": " << result.download.reconnects << "}";
    }
    json << (results.empty() ? "]\n" : "\n]\n");
    return json.str();
}

// Prints each target's line to the log as it finishes.
class FleetLines : public FleetObserver {
  public:
    FleetLines(const MessageCatalog& catalog, std::ostream& log) : m_catalog(catalog), m_log(log) {}
    void OnTargetDone(const TargetResult& result) override {
        m_log << m_catalog.TargetLine(result) << std::endl;
    }

  private:
    const MessageCatalog& m_catalog;
    std::ostream& m_log;
};

}  // namespace

int RunFleet(const FleetArguments& arguments) {
    // Every usage error comes before anything is sent; every bad line of
    // the targets file is said at once.
    const MessageCatalog catalog(LanguageFromEnvironment());
    const TargetsFile targetsFile = ReadTargets(arguments.targetsPath);
    if (!targetsFile.Ok()) {
        for (const std::string& line : catalog.TargetsLines(arguments.targetsPath, targetsFile)) {
            std::cerr << "kelvarin-cli: " << line << '\n';
        }
        return kExitUsage;
    }
    const std::vector<FleetTarget>& targets = targetsFile.targets;
    const std::optional<PreparedImage> image = PrepareImage(arguments.source);
    const DumpTarget dump =
        arguments.dumpPath.empty() ? DefaultDumpTarget() : DumpTarget{arguments.dumpPath};
    if (!image) {
        return kExitUsage;
    }
    if (image->pack) {
        std::vector<PackFile> inputs;
        for (const PackedFile& file : image->pack->files) {
            inputs.push_back({file.path, file.urlName});
        }
        if (OverwritesInput("--dump", dump.path, inputs)) {
            return kExitUsage;
        }
    }

    // With --json, standard output holds the JSON alone; the log goes to
    // standard error.
    std::ostream& log = arguments.json ? std::cerr : std::cout;
    if (image->pack) {
        for (const std::string& line : catalog.PackLines(*image->pack)) {
            log << line << '\n';
        }
        // All or nothing is settled once, before any device is touched.
        if (arguments.source.files.allOrNothing && !image->Complete()) {
            log << catalog.NothingSentLine(*image->pack) << std::endl;
            if (arguments.json) {
                std::vector<TargetResult> untouched(targets.size());
                for (std::size_t i = 0; i < targets.size(); ++i) {
                    untouched[i].target = targets[i];
                }
                std::cout << JsonResults(untouched, image->leftOut,
                                         MessageCatalog(Language::kEnglish)
                                             .NothingSentLine(*image->pack))
                          << std::flush;
            }
            return kExitFailed;
        }
    }
    const std::string_view bytes(reinterpret_cast<const char*>(image->bytes.data()),
                                 image->bytes.size());
    if (!dump.usable || !WriteWholeFile(dump.path, bytes)) {
        log << catalog.Text(MessageId::kDumpFailed, {dump.path}) << '\n';
    }
    log.flush();

    WireTrace trace;
    if (!arguments.link.tracePath.empty() && !trace.Open(arguments.link.tracePath)) {
        std::cerr << "kelvarin-cli: "
                  << MessageCatalog(LanguageFromEnvironment())
                         .Text(MessageId::kTraceCannotWrite, {arguments.link.tracePath})
                  << '\n';
        return kExitUsage;
    }
    RaiseOpenFileLimit();
    FleetOptions options;
    // All at once by default, as many as one wait of this system holds.
    options.jobs =
        arguments.jobs > 0
            ? arguments.jobs
            : static_cast<int>(std::min<std::size_t>(kMaxFleetJobs, net::MaxWaitSockets()));
    options.verify = arguments.verify;
    options.skipCurrent = arguments.skipCurrent;
    options.transfer = arguments.link.Transfer();
    options.trace = trace.IsOpen() ? &trace : nullptr;
    FleetLines lines(catalog, log);
    const std::vector<TargetResult> results = SendToFleet(image->bytes, targets, options, lines);

    int succeeded = 0;
    for (const TargetResult& result : results) {
        succeeded += result.Succeeded() ? 1 : 0;
    }
    log << catalog.FleetSummary(static_cast<int>(results.size()), succeeded) << std::endl;
    if (arguments.json) {
        std::cout << JsonResults(results, image->leftOut) << std::flush;
    }
    const bool all = succeeded == static_cast<int>(results.size()) && image->Complete();
    return all ? kExitOk : kExitFailed;
}

}  // namespace kelvarin::cli

// kelvarin-cli scan: find the devices on ranges of addresses, who each is
// and what image it holds; reading only. Lines, or JSON for programs, and a
// targets file for fleet.
#include "ascii.h"
#include "catalog.h"
#include "cli_log.h"
#include "commands.h"
#include "job_run.h"
#include "modbus_frame.h"
#include "options.h"
#include "targets.h"
#include "terminal.h"

#include <iostream>
#include <memory>
#include <regex>
#include <sstream>

namespace kelvarin::cli {

namespace {

// The units of --units: numbers 0 to 255 and A-B runs, comma-separated.
std::optional<std::vector<int>> ParseUnits(const std::string& text) {
    std::vector<int> units;
    std::stringstream list(text);
    for (std::string item; std::getline(list, item, ',');) {
        const std::size_t dash = item.find('-');
        int low = -1;
        int high = -1;
        try {
            std::size_t used = 0;
            low = std::stoi(item.substr(0, dash), &used);
            if (used != item.substr(0, dash).size()) {
                return std::nullopt;
            }
            high = dash == std::string::npos ? low : std::stoi(item.substr(dash + 1), &used);
            if (dash != std::string::npos && used != item.size() - dash - 1) {
                return std::nullopt;
            }
        } catch (const std::exception&) {
            return std::nullopt;
        }
        if (low < 0 || high > 255 || low > high) {
            return std::nullopt;
        }
        for (int unit = low; unit <= high; ++unit) {
            units.push_back(unit);
        }
    }
    if (units.empty()) {
        return std::nullopt;
    }
    return units;
}

std::string JsonText(const std::optional<std::string>& value) {
    return value ? JsonString(*value) : "null";
}

// The scan's report as one JSON array: an object per address and unit that
// answered, and one per address that took a connection but answered at no
// unit.
std::string ScanJson(const JobReport& report) {
    std::vector<std::string> objects;
    for (const DeviceReport& device : report.devices) {
        const FleetTarget& target = device.facts.target;
        const std::string where = "{\"address\": " + JsonString(target.address) +
                                  ", \"port\": " + std::to_string(target.port);
        bool any = false;
        for (const UnitScan& unit : device.facts.scan) {
            if (!unit.identity.Answered()) {
                continue;
            }
            any = true;
            std::string object = where + ", \"unit\": " + std::to_string(unit.unit) +
                                 ", \"answered\": true, \"identity\": ";
            if (unit.identity.answer == IdentityReport::Answer::kIdentified) {
                object += "{\"vendor\": " + JsonText(unit.identity.Object(modbus::kVendorName)) +
                          ", \"product\": " + JsonText(unit.identity.Object(modbus::kProductCode)) +
                          ", \"revision\": " +
                          JsonText(unit.identity.Object(modbus::kMajorMinorRevision)) + "}";
            } else {
                object += "null";
            }
            object += ", \"image\": ";
            if (!unit.imageSha256.empty()) {
                object += "{\"records\": " + std::to_string(unit.imageRecords) +
                          ", \"bytes\": " + std::to_string(unit.imageBytes) +
                          ", \"sha256\": " + JsonString(unit.imageSha256) + "}";
            } else {
                object += "null";
            }
            if (unit.current) {
                object += std::string(", \"current\": ") + (*unit.current ? "true" : "false");
            }
            objects.push_back(object + "}");
        }
        if (!any && device.facts.connected) {
            objects.push_back(where + ", \"answered\": false}");
        }
    }
    std::string json = "[";
    for (std::size_t i = 0; i < objects.size(); ++i) {
        json += (i == 0 ? "\n  " : ",\n  ") + objects[i];
    }
    return json + (objects.empty() ? "]\n" : "\n]\n");
}

}  // namespace

int RunScan(const ScanArguments& arguments) {
    JobPlan plan;
    plan.kind = JobKind::kScan;
    // What is written as a range is one, or a usage error; the rest are
    // files (a file named like an address is written ./NAME).
    static const std::regex kLooksLikeRange("[0-9.]+([-/][0-9]*)?");
    for (const std::string& item : arguments.items) {
        std::string why;
        if (ParseRange(item, &why)) {
            plan.ranges.push_back(item);
        } else if (std::regex_match(item, kLooksLikeRange)) {
            SayError(VisibleText(item) + ": " + why);
            return kExitUsage;
        } else {
            plan.source.files.push_back(item);
        }
    }
    if (plan.ranges.empty()) {
        SayError("scan: no RANGE given (ADDRESS, A.B.C.D-E or A.B.C.D/N)");
        return kExitUsage;
    }
    const std::optional<std::vector<int>> units = ParseUnits(arguments.units);
    if (!units) {
        SayError("--units " + VisibleText(arguments.units) +
                 ": not unit numbers 0 to 255 (and A-B runs), comma-separated");
        return kExitUsage;
    }
    plan.units = *units;
    plan.port = arguments.port;
    const JobSource files = SourceOf(arguments.source);
    plan.source.site = files.site;
    plan.source.root = files.root;
    plan.source.pack = files.pack;
    plan.source.image = files.image;
    plan.jobs = arguments.jobs;
    plan.transfer = arguments.link.Transfer();
    plan.outputs.trace = arguments.link.tracePath;
    plan.outputs.targetsOut = arguments.targetsOut;
    plan.tls = arguments.link.tls;
    plan.journal = arguments.journal.Settings();

    // Standard output holds the results; the log (packing, refusals) goes
    // to standard error.
    const MessageCatalog catalog(LanguageFromEnvironment());
    StreamLog err(std::cerr);
    CliLog log(catalog, err, err);
    JobReport report;
    {
        InterruptGuard interrupt;
        report = RunJob(plan, log, InterruptGuard::Stop());
    }
    if (report.refusal) {
        return ExitCodeOf(report);
    }
    if (arguments.json) {
        std::cout << ScanJson(report) << std::flush;
    } else {
        for (const DeviceReport& device : report.devices) {
            for (const std::string& line : catalog.ScanLines(device)) {
                std::cout << line << '\n';
            }
        }
        std::cout << catalog.ScanSummary(report) << '\n' << std::flush;
    }
    if (!report.targetsOutError.empty()) {
        SayError(catalog.Text(MessageId::kScanTargetsFailed,
                              {arguments.targetsOut, report.targetsOutError}));
    }
    return ExitCodeOf(report);
}

Command AddScanCommand(CLI::App& app) {
    auto arguments = std::make_shared<ScanArguments>();
    CLI::App* scan = app.add_subcommand(
        "scan",
        "Find the Modbus/TCP devices on ranges of addresses: who each says it is (function 43) "
        "and which image it holds (function 20); nothing is written to any device");
    scan->add_option("items", arguments->items,
                     "RANGE... (ADDRESS, A.B.C.D-E, or A.B.C.D/N of at most 65536 addresses), "
                     "then, optionally, the files whose image each device is compared with")
        ->required();
    scan->add_option("--port", arguments->port, "The TCP port asked at each address (default 502)")
        ->check(CLI::Range(1, 65535));
    scan->add_option("--units", arguments->units,
                     "The units asked at each address, comma-separated, A-B for a run "
                     "(default 0,1,255)");
    scan->add_option("--jobs", arguments->jobs,
                     "Addresses at once (default 256, fewer where one wait holds fewer sockets)")
        ->check(CLI::Range(1, 1024));
    scan->add_flag("--json", arguments->json,
                   "Print one JSON array: an object per address and unit that answered "
                   "(address, port, unit, identity, image, and current with files or --image), "
                   "one with \"answered\": false per address that answered at no unit");
    scan->add_option("--targets-out", arguments->targetsOut,
                     "Write the units that answered to this file as ADDRESS:PORT/UNIT lines, a "
                     "targets file fleet takes as it is");
    scan->add_option("--site", arguments->source.files.site,
                     "Compare each device with the image of this site folder, as send packs it");
    scan->add_option("--root", arguments->source.files.root,
                     "Name the files below this folder by their path below it");
    scan->add_flag("--content-types", arguments->source.files.contentTypes,
                   "Pack the files compared with their content types");
    scan->add_flag("--gzip", arguments->source.files.gzip, "Pack the files compared with --gzip");
    scan->add_option("--image", arguments->source.image,
                     "Compare each device with this image file");
    AddLinkOptions(*scan, arguments->link);
    AddJournalOptions(*scan, arguments->journal);
    return {scan, [arguments] { return RunScan(*arguments); }};
}

}  // namespace kelvarin::cli

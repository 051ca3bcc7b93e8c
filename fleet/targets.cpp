// Parsing the targets file.
#include "targets.h"

#include "ascii.h"
#include "files.h"

#include <map>

namespace kelvarin {

namespace {

// A targets file larger than this is not one.
constexpr std::uint64_t kLargestTargetsFile = 16u << 20;

// A decimal number of 1 to digits digits, at most high; -1 otherwise.
int Decimal(std::string_view text, std::size_t digits, int high) {
    if (text.empty() || text.size() > digits) {
        return -1;
    }
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            return -1;
        }
        value = value * 10 + (c - '0');
    }
    return value <= high ? value : -1;
}

bool IsIPv4(std::string_view text) {
    int fields = 0;
    bool allZero = true;
    while (true) {
        const std::size_t dot = text.find('.');
        const int value = Decimal(text.substr(0, dot), 3, 255);
        if (value < 0) {
            return false;
        }
        allZero = allZero && value == 0;
        ++fields;
        if (dot == std::string_view::npos) {
            break;
        }
        text.remove_prefix(dot + 1);
    }
    return fields == 4 && !allZero;
}

}  // namespace

std::string FleetTarget::Text() const {
    return address + ":" + std::to_string(port);
}

std::optional<FleetTarget> ParseTarget(std::string_view text) {
    const std::size_t colon = text.find(':');
    FleetTarget target;
    target.address = std::string(text.substr(0, colon));
    if (!IsIPv4(target.address)) {
        return std::nullopt;
    }
    if (colon != std::string_view::npos) {
        target.port = Decimal(text.substr(colon + 1), 5, 65535);
        if (target.port < 1) {
            return std::nullopt;
        }
    }
    return target;
}

std::optional<std::vector<FleetTarget>> ReadTargets(const std::string& path, std::string* error) {
    bool tooLarge = false;
    const std::optional<std::string> text = ReadRegularFile(path, kLargestTargetsFile, &tooLarge);
    if (!text) {
        *error = path + ": cannot read the targets file" + (tooLarge ? " (far too large)" : "");
        return std::nullopt;
    }
    std::vector<FleetTarget> targets;
    std::map<std::string, int> seen;  // "ADDRESS:PORT" -> line
    int number = 0;
    std::string_view rest(*text);
    while (!rest.empty()) {
        ++number;
        const std::size_t end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        line = TrimBlanks(line.substr(0, line.find('#')));
        if (line.empty()) {
            continue;
        }
        const std::string where = path + ":" + std::to_string(number) + ": ";
        const std::optional<FleetTarget> target = ParseTarget(line);
        if (!target) {
            *error = where + "\"" + std::string(line) +
                     "\" is not ADDRESS[:PORT] (a dotted IPv4 address, a port 1..65535)";
            return std::nullopt;
        }
        const auto [earlier, added] = seen.emplace(target->Text(), number);
        if (!added) {
            *error = where + target->Text() + " is listed twice (first on line " +
                     std::to_string(earlier->second) + ")";
            return std::nullopt;
        }
        targets.push_back(*target);
    }
    if (targets.empty()) {
        *error = path + ": no targets in the file";
        return std::nullopt;
    }
    return targets;
}

}  // namespace kelvarin

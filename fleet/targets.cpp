// Parsing the targets file.
#include "targets.h"

#include "ascii.h"
#include "files.h"
#include "ipv4.h"

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

}  // namespace

std::string FleetTarget::Text() const {
    return address + ":" + std::to_string(port);
}

std::optional<FleetTarget> ParseTarget(std::string_view text) {
    const std::size_t colon = text.find(':');
    const std::optional<std::uint32_t> address = ParseDottedQuad(text.substr(0, colon));
    if (!address || *address == 0) {
        return std::nullopt;
    }
    FleetTarget target;
    target.address = DottedQuadText(*address);
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
    std::map<std::string, int> seen;  // "ADDRESS:PORT", the address as parsed -> line
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

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

std::optional<FleetTarget> ParseTarget(std::string_view text, int unit) {
    FleetTarget target;
    target.unit = unit;
    const std::size_t slash = text.find('/');
    if (slash != std::string_view::npos) {
        target.unit = Decimal(text.substr(slash + 1), 3, 255);
        if (target.unit < 0) {
            return std::nullopt;
        }
        text = text.substr(0, slash);
    }
    const std::size_t colon = text.find(':');
    const std::optional<std::uint32_t> address = ParseDottedQuad(text.substr(0, colon));
    if (!address || *address == 0) {
        return std::nullopt;
    }
    target.address = DottedQuadText(*address);
    if (colon != std::string_view::npos) {
        target.port = Decimal(text.substr(colon + 1), 5, 65535);
        if (target.port < 1) {
            return std::nullopt;
        }
    }
    return target;
}

std::optional<std::vector<std::uint32_t>> ParseRange(std::string_view text, std::string* why) {
    std::vector<std::uint32_t> addresses;
    const std::size_t dash = text.find('-');
    const std::size_t slash = text.find('/');
    const std::optional<std::uint32_t> first =
        ParseDottedQuad(text.substr(0, std::min(dash, slash)));
    if (!first || (dash != std::string_view::npos && slash != std::string_view::npos)) {
        *why = "not ADDRESS, ADDRESS-LAST or ADDRESS/BITS";
        return std::nullopt;
    }
    if (dash != std::string_view::npos) {
        const int last = Decimal(text.substr(dash + 1), 3, 255);
        if (last < 0 || static_cast<std::uint32_t>(last) < (*first & 0xFF)) {
            *why = "the last address's field is not from " + std::to_string(*first & 0xFF) +
                   " to 255";
            return std::nullopt;
        }
        for (std::uint32_t a = *first; (a & 0xFF) <= static_cast<std::uint32_t>(last); ++a) {
            addresses.push_back(a);
            if ((a & 0xFF) == 255) {
                break;
            }
        }
        return addresses;
    }
    if (slash != std::string_view::npos) {
        const int bits = Decimal(text.substr(slash + 1), 2, 32);
        if (bits < 0) {
            *why = "the prefix length is not a number from 0 to 32";
            return std::nullopt;
        }
        const std::uint64_t count = std::uint64_t{1} << (32 - bits);
        if (count > kMaxRangeAddresses) {
            *why = "a block of " + std::to_string(count) + " addresses, more than " +
                   std::to_string(kMaxRangeAddresses);
            return std::nullopt;
        }
        const std::uint32_t network =
            bits == 0 ? 0 : *first & ~static_cast<std::uint32_t>(count - 1);
        // The block's own network and broadcast addresses name no device.
        const std::uint64_t skip = bits <= 30 ? 1 : 0;
        for (std::uint64_t i = skip; i < count - skip; ++i) {
            addresses.push_back(static_cast<std::uint32_t>(network + i));
        }
        return addresses;
    }
    addresses.push_back(*first);
    return addresses;
}

TargetsFile ReadTargets(const std::string& path, int unit) {
    TargetsFile file;
    const auto fail = [&file](TargetsProblem problem) {
        if (static_cast<int>(file.problems.size()) < kMaxTargetsProblems) {
            file.problems.push_back(std::move(problem));
        } else {
            ++file.moreProblems;
        }
    };
    bool tooLarge = false;
    const std::optional<std::string> text = ReadRegularFile(path, kLargestTargetsFile, &tooLarge);
    if (!text) {
        fail({tooLarge ? TargetsFault::kFarTooLarge : TargetsFault::kUnreadable});
        return file;
    }
    std::map<std::string, int> seen;  // the target's text, the address as parsed -> line
    int number = 0;
    std::string_view rest(*text);
    // Editors on some systems start a UTF-8 file with a byte order mark.
    if (rest.starts_with("\xEF\xBB\xBF")) {
        rest.remove_prefix(3);
    }
    while (!rest.empty()) {
        ++number;
        const std::size_t end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        line = TrimBlanks(line.substr(0, line.find('#')));
        if (line.empty()) {
            continue;
        }
        const std::optional<FleetTarget> target = ParseTarget(line, unit);
        if (!target) {
            fail({TargetsFault::kNotATarget, number, std::string(line)});
            continue;
        }
        const auto [earlier, added] = seen.emplace(target->Text(), number);
        if (!added) {
            fail({TargetsFault::kListedTwice, number, target->Text(), earlier->second});
            continue;
        }
        file.targets.push_back(*target);
    }
    if (file.targets.empty() && file.problems.empty()) {
        fail({TargetsFault::kNoTargets});
    }
    return file;
}

}  // namespace kelvarin

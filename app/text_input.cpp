// Port texts, dotted addresses, dropped file lists, --help and --version.
#include "text_input.h"

#include "ascii.h"
#include "manual_text.h"
#include "paths.h"

#include <kelvarin/version.h>

#include <climits>
#include <cstdint>

namespace kelvarin {

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// The path of one file: URI, or empty when the URI names no local file.
std::string LocalPath(std::string_view uri) {
    constexpr std::string_view kScheme = "file:";
    if (uri.size() < kScheme.size()) {
        return {};
    }
    if (!StartsWithIgnoringCase(uri, kScheme)) {
        return {};
    }
    std::string_view rest = uri.substr(kScheme.size());
    if (rest.starts_with("//")) {
        // file://host/path: only this host, named or left empty.
        rest.remove_prefix(2);
        std::size_t slash = rest.find('/');
        if (slash == std::string_view::npos) {
            return {};
        }
        std::string_view host = rest.substr(0, slash);
        if (!host.empty() && host != "localhost") {
            return {};
        }
        rest.remove_prefix(slash);
    }
    if (!rest.starts_with('/')) {
        return {};
    }
    // A query or fragment is not part of a file's path. A '%' that starts no
    // escape is taken as it stands, as file managers never send one.
    rest = rest.substr(0, rest.find_first_of("?#"));
    return PathFromUriPath(PercentDecode(rest).value_or(std::string(rest)));
}

}  // namespace

int ParsePortText(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && IsAsciiBlank(text[i])) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    // Accumulate in 64 bits and stop at the 32-bit limits, as strtol does
    // on a platform whose long has 32 bits.
    std::int64_t value = 0;
    const std::int64_t limit = negative ? -static_cast<std::int64_t>(INT_MIN) : INT_MAX;
    for (; i < text.size() && IsDigit(text[i]); ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > limit) {
            value = limit;
        }
    }
    return static_cast<int>(negative ? -value : value);
}

bool IsPortInRange(int port) {
    return port >= 1 && port <= 65535;
}

std::optional<std::array<int, 4>> ParseAddressFields(std::string_view text) {
    text = TrimBlanks(text);
    std::array<int, 4> fields = {-1, -1, -1, -1};
    if (text.empty()) {
        return fields;
    }
    std::size_t field = 0;
    std::size_t start = 0;
    while (true) {
        if (field == fields.size()) {
            return std::nullopt;  // more than four fields
        }
        std::size_t dot = text.find('.', start);
        std::string_view part = text.substr(
            start, dot == std::string_view::npos ? std::string_view::npos : dot - start);
        if (part.size() > 3) {
            return std::nullopt;
        }
        int value = -1;
        for (char c : part) {
            if (!IsDigit(c)) {
                return std::nullopt;
            }
            value = (value < 0 ? 0 : value * 10) + (c - '0');
        }
        fields[field++] = value > 255 ? 255 : value;
        if (dot == std::string_view::npos) {
            return fields;
        }
        start = dot + 1;
    }
}

std::vector<std::string> LocalPathsFromUriList(std::string_view uriList) {
    std::vector<std::string> paths;
    while (!uriList.empty()) {
        std::size_t end = uriList.find('\n');
        std::string_view line = uriList.substr(0, end);
        uriList = end == std::string_view::npos ? std::string_view() : uriList.substr(end + 1);
        line = TrimBlanks(line);
        if (line.empty() || line.front() == '#') {
            continue;
        }
        std::string path = LocalPath(line);
        if (!path.empty()) {
            paths.push_back(std::move(path));
        }
    }
    return paths;
}

std::optional<std::string> InfoText(const std::vector<std::string>& args) {
    if (args.size() != 2) {
        return std::nullopt;
    }
    if (args[1] == "--version") {
        return std::string("kelvarin ") + kVersion + "\n";
    }
    if (args[1] == "--help") {
        return manual::HelpText(WindowManual());
    }
    if (args[1] == "--manual") {
        return manual::ManPage(WindowManual());
    }
    return std::nullopt;
}

}  // namespace kelvarin

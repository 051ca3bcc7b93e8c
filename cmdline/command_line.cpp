// The shared command-line setup.
#include "command_line.h"

#include "console.h"
#include "ipv4.h"

#include <vector>

namespace kelvarin::cmdline {

namespace {

const char* const kFourFields = "four decimal fields 0..255, as 192.168.0.10";

}  // namespace

void SetUp(CLI::App& app, const std::string& versionLine) {
    app.set_version_flag("--version", versionLine);
    app.allow_windows_style_options(false);
}

std::optional<int> Parse(CLI::App& app, int argc, char** argv, int usageExit) {
    PrepareConsole();
    std::vector<std::string> arguments = Utf8Arguments(argc, argv);
    std::vector<char*> pointers;
    for (std::string& argument : arguments) {
        pointers.push_back(argument.data());
    }
    try {
        app.parse(static_cast<int>(pointers.size()), pointers.data());
    } catch (const CLI::ParseError& e) {
        return app.exit(e) == 0 ? 0 : usageExit;
    }
    return std::nullopt;
}

CLI::Validator AddressOrHostName() {
    return CLI::Validator(
        [](std::string& text) -> std::string {
            if (text.empty() || !IsAddressText(text)) {
                return {};
            }
            const std::optional<std::uint32_t> address = ParseDottedQuad(text);
            if (!address) {
                return text + " is not an IPv4 address (" + kFourFields + ")";
            }
            text = DottedQuadText(*address);
            return {};
        },
        "ADDRESS");
}

CLI::Validator DottedQuad() {
    return CLI::Validator(
        [](std::string& text) -> std::string {
            const std::optional<std::uint32_t> address = ParseDottedQuad(text);
            if (!address) {
                return text + " is not an IPv4 address (" + kFourFields + ")";
            }
            text = DottedQuadText(*address);
            return {};
        },
        "IPV4");
}

CLI::Validator AtMost(int most, const std::string& because) {
    return CLI::Validator(
        [most, because](std::string& text) -> std::string {
            long value = 0;
            if (!CLI::detail::lexical_cast(text, value) || value <= most) {
                return {};  // the option's own range check speaks for anything else
            }
            return text + ": at most " + std::to_string(most) + " " + because;
        },
        "");
}

}  // namespace kelvarin::cmdline

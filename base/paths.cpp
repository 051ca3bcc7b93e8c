// UTF-8 paths with std::filesystem's char8_t interface.
#include "paths.h"

#include "ascii.h"

namespace kelvarin {

std::filesystem::path PathFromUtf8(std::string_view utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string Utf8FromPath(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

std::string GenericUtf8FromPath(const std::filesystem::path& path) {
    const std::u8string text = path.generic_u8string();
    return std::string(text.begin(), text.end());
}

bool IsWindowsReservedName(std::string_view name) {
    if (name.find(':') != std::string_view::npos ||
        (!name.empty() && (name.back() == '.' || name.back() == ' '))) {
        return true;
    }
    std::string_view stem = name.substr(0, name.find('.'));
    while (!stem.empty() && stem.back() == ' ') {
        stem.remove_suffix(1);
    }
    for (std::string_view device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"}) {
        if (EqualsIgnoringCase(stem, device)) {
            return true;
        }
    }
    for (std::string_view port : {"COM", "LPT"}) {
        if (!StartsWithIgnoringCase(stem, port)) {
            continue;
        }
        const std::string_view number = stem.substr(port.size());
        if ((number.size() == 1 && number[0] >= '0' && number[0] <= '9') || number == "\xC2\xB9" ||
            number == "\xC2\xB2" || number == "\xC2\xB3") {
            return true;  // a digit, or a superscript one, two or three in UTF-8
        }
    }
    return false;
}

}  // namespace kelvarin

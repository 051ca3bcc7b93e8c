// Paths on Windows: "\\" separates folders too, file: URIs name drives, and
// the original format spells names in the ANSI code page.
#include "paths.h"
#include "windows_text.h"

#include <windows.h>

namespace kelvarin {

std::string BaseName(const std::string& path) {
    const std::size_t separator = path.find_last_of("/\\");
    return separator == std::string::npos ? path : path.substr(separator + 1);
}

std::string PathFromUriPath(const std::string& uriPath) {
    // file:///C:/x gives "/C:/x": the drive letter starts the path.
    const bool drive =
        uriPath.size() >= 3 && uriPath[0] == '/' && uriPath[2] == ':' &&
        ((uriPath[1] >= 'A' && uriPath[1] <= 'Z') || (uriPath[1] >= 'a' && uriPath[1] <= 'z'));
    return drive ? uriPath.substr(1) : uriPath;
}

bool IsReservedFileName(std::string_view name) {
    return IsWindowsReservedName(name);
}

std::string AnsiSpelling(const std::string& name) {
    const std::wstring wide = WideFromUtf8(name);
    if (wide.empty()) {
        return {};
    }
    const int length = WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()),
                                           nullptr, 0, nullptr, nullptr);
    std::string ansi(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), ansi.data(), length,
                        nullptr, nullptr);
    return ansi;
}

}  // namespace kelvarin

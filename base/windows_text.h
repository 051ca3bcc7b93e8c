// UTF-8 and the wide strings of the Windows API (Windows only).
#pragma once

#include <string>
#include <string_view>

namespace kelvarin {

// text (UTF-8) as UTF-16.
std::wstring WideFromUtf8(std::string_view text);

// text (UTF-16) as UTF-8.
std::string Utf8FromWide(std::wstring_view text);

// The UTF-8 path path as the wide API takes it: as it is when short; made
// absolute in the \\?\ form (\\?\UNC\ for a share) when too long for the
// plain API's 260 characters, so a long path opens as any other.
std::wstring WidePath(std::string_view path);

}  // namespace kelvarin

// File names as UTF-8 text, whatever the system's own spelling.
//
// Inside Kelvarin every path is a std::string of UTF-8 bytes (on Linux, the
// bytes the file system gives). These convert to and from std::filesystem's
// paths without going through the system's code page, so the same code works
// where paths are wide strings (Windows).
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace kelvarin {

// The path named by the UTF-8 text utf8.
std::filesystem::path PathFromUtf8(std::string_view utf8);

// The UTF-8 text of path.
std::string Utf8FromPath(const std::filesystem::path& path);

// The UTF-8 text of path with "/" between its folders, on every system.
std::string GenericUtf8FromPath(const std::filesystem::path& path);

// The path a file: URI names, from its percent-decoded path part: as it is
// where paths start at "/"; on Windows "/C:/x" is "C:/x".
std::string PathFromUriPath(const std::string& uriPath);

// The last component of a path ('/' separates folders; on Windows '\\' too).
std::string BaseName(const std::string& path);

// The UTF-8 file name name as the system's ANSI code page spells it (the
// default format's URL names): unchanged where file names are bytes; on
// Windows converted, '?' standing for what the code page cannot spell.
std::string AnsiSpelling(const std::string& name);

}  // namespace kelvarin

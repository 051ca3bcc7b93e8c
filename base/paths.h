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

// True when Windows gives name (one component of a path) a meaning of its
// own, so that a file of that name is no plain file in its folder: a device
// (CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM0-9, LPT0-9 and COM/LPT with a
// superscript 1-3; any letter case, with or without an extension or trailing
// blanks: "nul.txt", "Com1 .log"), an alternate data stream (any ':'), or a
// name Windows would shorten (ending in '.' or ' ').
bool IsWindowsReservedName(std::string_view name);

// IsWindowsReservedName on Windows; false where names carry no such
// meanings.
bool IsReservedFileName(std::string_view name);

// The UTF-8 file name name as the system's ANSI code page spells it (the
// default format's URL names): unchanged where file names are bytes; on
// Windows converted, '?' standing for what the code page cannot spell.
std::string AnsiSpelling(const std::string& name);

}  // namespace kelvarin

// The content types of web files, from a table built into the program, so an
// image never depends on the machine it was packed on.
#pragma once

#include <string_view>

namespace kelvarin {

// The type for files the table does not know.
inline constexpr std::string_view kDefaultContentType = "application/octet-stream";

// The content type of a URL name by its extension (the text after the last
// '.' of its last path segment), matched without regard to letter case:
// the types a standard static web server gives, e.g. "/css/Main.CSS" ->
// "text/css". kDefaultContentType for an unknown or missing extension.
std::string_view ContentTypeOf(std::string_view urlName);

// True for the text-like types worth storing compressed: HTML, CSS,
// JavaScript, JSON, SVG, XML and plain text formats.
bool IsCompressibleType(std::string_view contentType);

}  // namespace kelvarin

// The built-in table of content types.
#include "content_types.h"

#include "ascii.h"

namespace kelvarin {

namespace {

struct TypeEntry {
    std::string_view extension;
    std::string_view type;
};

// The common files of web pages, with the types IANA registers for them
// (those a standard static web server gives).
constexpr TypeEntry kTypes[] = {
    {"html", "text/html"},
    {"htm", "text/html"},
    {"xhtml", "application/xhtml+xml"},
    {"css", "text/css"},
    {"js", "text/javascript"},
    {"mjs", "text/javascript"},
    {"json", "application/json"},
    {"map", "application/json"},
    {"webmanifest", "application/manifest+json"},
    {"xml", "application/xml"},
    {"txt", "text/plain"},
    {"csv", "text/csv"},
    {"md", "text/markdown"},
    {"svg", "image/svg+xml"},
    {"png", "image/png"},
    {"apng", "image/apng"},
    {"gif", "image/gif"},
    {"jpg", "image/jpeg"},
    {"jpeg", "image/jpeg"},
    {"webp", "image/webp"},
    {"avif", "image/avif"},
    {"bmp", "image/bmp"},
    {"ico", "image/vnd.microsoft.icon"},
    {"woff", "font/woff"},
    {"woff2", "font/woff2"},
    {"ttf", "font/ttf"},
    {"otf", "font/otf"},
    {"eot", "application/vnd.ms-fontobject"},
    {"wasm", "application/wasm"},
    {"pdf", "application/pdf"},
    {"zip", "application/zip"},
    {"mp3", "audio/mpeg"},
    {"wav", "audio/wav"},
    {"ogg", "audio/ogg"},
    {"mp4", "video/mp4"},
    {"webm", "video/webm"},
};

constexpr std::string_view kCompressible[] = {
    "text/html",
    "text/css",
    "text/javascript",
    "text/plain",
    "text/csv",
    "text/markdown",
    "application/json",
    "application/xml",
    "image/svg+xml",
    "application/xhtml+xml",
    "application/manifest+json",
};

}  // namespace

std::string_view ContentTypeOf(std::string_view urlName) {
    const std::size_t slash = urlName.find_last_of('/');
    const std::string_view name =
        slash == std::string_view::npos ? urlName : urlName.substr(slash + 1);
    const std::size_t dot = name.find_last_of('.');
    if (dot == std::string_view::npos) {
        return kDefaultContentType;
    }
    const std::string_view extension = name.substr(dot + 1);
    for (const TypeEntry& entry : kTypes) {
        if (EqualsIgnoringCase(extension, entry.extension)) {
            return entry.type;
        }
    }
    return kDefaultContentType;
}

bool IsCompressibleType(std::string_view contentType) {
    for (std::string_view type : kCompressible) {
        if (type == contentType) {
            return true;
        }
    }
    return false;
}

}  // namespace kelvarin

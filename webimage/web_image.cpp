// Record layout helpers of the web image.
#include "web_image.h"

#include "ascii.h"

#include <cstdio>

namespace kelvarin {

bool IsHtmlName(std::string_view name) {
    return EndsWithIgnoringCase(name, "HTM") || EndsWithIgnoringCase(name, "HTML");
}

std::string ResponseHeader(std::string_view contentType, bool gzip) {
    std::string header = "HTTP/1.1 200 OK\r\nContent-type: ";
    header += contentType;
    header += "\r\n";
    if (gzip) {
        header += "Content-Encoding: gzip\r\n";
    }
    header += "\r\n";
    return header;
}

std::string HeaderField(std::string_view header, std::string_view name) {
    std::size_t lineStart = 0;
    while (lineStart < header.size()) {
        std::size_t lineEnd = header.find("\r\n", lineStart);
        if (lineEnd == std::string_view::npos) {
            lineEnd = header.size();
        }
        std::string_view line = header.substr(lineStart, lineEnd - lineStart);
        if (line.size() > name.size() && line[name.size()] == ':' &&
            StartsWithIgnoringCase(line, name)) {
            std::string_view value = line.substr(name.size() + 1);
            while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) {
                value.remove_prefix(1);
            }
            return std::string(value);
        }
        lineStart = lineEnd + 2;
    }
    return {};
}

void WriteFileHead(std::uint8_t* record, const FileHead& head) {
    StoreLE32(record + kHeadNameAddress, head.nameAddress);
    StoreLE32(record + kHeadResponseAddress, head.responseAddress);
    StoreLE32(record + kHeadResponseLength, head.responseLength);
    // "FileHead%d" with its NUL; at most 11 digits of an int plus 8 letters
    // would not fit 16 bytes, so the text is cut to 15 characters.
    char tag[kHeadTagSize];
    int written = std::snprintf(tag, sizeof tag, "FileHead%d", head.tagNumber);
    std::size_t length = written < 0 ? 0 : static_cast<std::size_t>(written);
    if (length > kHeadTagSize - 1) {
        length = kHeadTagSize - 1;
    }
    for (std::size_t i = 0; i < length; ++i) {
        record[kHeadTag + i] = static_cast<std::uint8_t>(tag[i]);
    }
    record[kHeadTag + length] = 0;
    StoreLE32(record + kHeadNextAddress, head.nextAddress);
}

}  // namespace kelvarin

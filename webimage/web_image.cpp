// Record layout helpers of the web image.
#include "web_image.h"

#include <cstdio>

namespace kelvarin {

namespace {

char Upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool EndsWithUpper(std::string_view name, std::string_view suffix) {
    if (name.size() < suffix.size()) {
        return false;
    }
    std::string_view tail = name.substr(name.size() - suffix.size());
    for (std::size_t i = 0; i < suffix.size(); ++i) {
        if (Upper(tail[i]) != suffix[i]) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool IsHtmlName(std::string_view name) {
    return EndsWithUpper(name, "HTM") || EndsWithUpper(name, "HTML");
}

std::string_view ResponseHeaderFor(std::string_view name) {
    return IsHtmlName(name) ? kHtmlHeader : kOctetHeader;
}

void StoreLE32(std::uint8_t* p, std::uint32_t value) {
    p[0] = static_cast<std::uint8_t>(value);
    p[1] = static_cast<std::uint8_t>(value >> 8);
    p[2] = static_cast<std::uint8_t>(value >> 16);
    p[3] = static_cast<std::uint8_t>(value >> 24);
}

std::uint32_t LoadLE32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
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

// Walking an image's record chain with every address and length checked.
#include "image_reader.h"

#include "web_image.h"

#include <algorithm>
#include <cstdio>

namespace kelvarin {

namespace {

std::string Hex(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", value);
    return text;
}

const std::uint8_t* Bytes(std::string_view image, std::size_t offset) {
    return reinterpret_cast<const std::uint8_t*>(image.data()) + offset;
}

}  // namespace

std::string ImageError::Message() const {
    return "offset " + std::to_string(offset) + ": " + what;
}

ImageWalk ReadImage(std::string_view image, std::uint32_t base) {
    ImageWalk walk;
    const std::uint64_t size = image.size();
    auto fail = [&walk](std::size_t offset, std::string what, ImageFault fault,
                        std::uint64_t value = 0, std::uint64_t where = 0) {
        walk.ok = false;
        walk.error = ImageError{offset, std::move(what), fault, value, where};
        return walk;
    };
    // An address names image offset (address - base), which must lie inside.
    auto offsetOf = [&](std::uint32_t address, std::uint64_t* offset) {
        if (address < base || address - base >= size) {
            return false;
        }
        *offset = address - base;
        return true;
    };

    if (size == 0) {
        return walk;
    }
    std::uint64_t at = 0;
    for (;;) {
        if (at + kHeadSize > size) {
            return fail(at, "record head runs past the end of the image", ImageFault::kHeadPastEnd);
        }
        ImageRecord record;
        record.offset = at;
        const std::uint8_t* head = Bytes(image, at);
        record.nameAddress = LoadLE32(head + kHeadNameAddress);
        record.responseAddress = LoadLE32(head + kHeadResponseAddress);
        record.responseLength = LoadLE32(head + kHeadResponseLength);
        record.nextAddress = LoadLE32(head + kHeadNextAddress);

        std::string_view tagField = image.substr(at + kHeadTag, kHeadTagSize);
        std::size_t tagEnd = tagField.find('\0');
        if (tagEnd == std::string_view::npos) {
            return fail(at, "tag without its NUL", ImageFault::kTagWithoutNul);
        }
        record.tag = std::string(tagField.substr(0, tagEnd));

        std::uint64_t nameAt = 0;
        if (!offsetOf(record.nameAddress, &nameAt)) {
            return fail(at, "name address " + Hex(record.nameAddress) + " outside the image",
                        ImageFault::kNameOutside, record.nameAddress);
        }
        std::size_t nameEnd = image.find('\0', nameAt);
        if (nameEnd == std::string_view::npos) {
            return fail(at, "name at offset " + std::to_string(nameAt) + " without its NUL",
                        ImageFault::kNameWithoutNul, nameAt);
        }
        record.path = image.substr(nameAt, nameEnd - nameAt);

        std::uint64_t responseAt = 0;
        if (!offsetOf(record.responseAddress, &responseAt)) {
            // An empty response may sit right at the end of the image.
            if (!(record.responseLength == 0 && record.responseAddress >= base &&
                  record.responseAddress - base == size)) {
                return fail(
                    at, "response address " + Hex(record.responseAddress) + " outside the image",
                    ImageFault::kResponseOutside, record.responseAddress);
            }
            responseAt = size;
        }
        if (responseAt + record.responseLength > size) {
            return fail(at, "response of " + std::to_string(record.responseLength) +
                                " bytes at offset " + std::to_string(responseAt) +
                                " runs past the end of the image",
                        ImageFault::kResponsePastEnd, record.responseLength, responseAt);
        }
        record.responseOffset = responseAt;
        record.response = image.substr(responseAt, record.responseLength);
        std::size_t blank = record.response.find("\r\n\r\n");
        std::size_t headerLength = blank == std::string_view::npos ? 0 : blank + 4;
        record.header = record.response.substr(0, headerLength);
        record.contents = record.response.substr(headerLength);
        record.contentType = HeaderField(record.header, "content-type");
        record.contentEncoding = HeaderField(record.header, "content-encoding");

        const std::uint32_t next = record.nextAddress;
        walk.records.push_back(std::move(record));
        if (next == 0) {
            return walk;
        }
        std::uint64_t nextAt = 0;
        if (!offsetOf(next, &nextAt)) {
            return fail(at, "next address " + Hex(next) + " outside the image",
                        ImageFault::kNextOutside, next);
        }
        if (nextAt <= at) {
            return fail(at, "chain goes back to offset " + std::to_string(nextAt) +
                                " (a loop or a backward link)",
                        ImageFault::kChainGoesBack, nextAt);
        }
        // Every record the packer makes starts after the head before it; one
        // that starts inside it would let a walk take a step per byte.
        if (nextAt < at + kHeadSize) {
            return fail(at, "next record at offset " + std::to_string(nextAt) +
                                " starts inside this record's head",
                        ImageFault::kNextInsideHead, nextAt);
        }
        at = nextAt;
    }
}

const ImageRecord* FindRecord(const ImageWalk& walk, std::string_view path) {
    for (const ImageRecord& record : walk.records) {
        if (record.path == path) {
            return &record;
        }
    }
    return nullptr;
}

ChainExtent MeasureChain(std::string_view prefix, std::size_t capacity, std::uint32_t base) {
    // Past a record's head, its name and the start of its response are read
    // with it, so one read a record is enough for most.
    constexpr std::size_t kLookAhead = 64;
    ChainExtent extent;
    const std::size_t have = prefix.size();
    const ImageWalk walk = ReadImage(prefix, base);
    if (walk.ok && !walk.records.empty()) {
        const ImageRecord& last = walk.records.back();
        extent.state = ChainExtent::State::kComplete;
        extent.length = std::min(
            NextAligned(last.responseOffset + last.responseLength), capacity);
        return extent;
    }
    // Where in the memory an address points, when it points inside it.
    const auto inside = [&](std::uint64_t address, std::size_t* offset) {
        if (address < base || address - base >= capacity) {
            return false;
        }
        *offset = static_cast<std::size_t>(address - base);
        return true;
    };
    std::size_t need = 0;
    std::size_t at = 0;
    const ImageError& error = walk.error;
    const ImageFault fault = walk.ok ? ImageFault::kHeadPastEnd : error.fault;
    const bool headRead = !walk.ok && error.offset + kHeadSize <= have;
    if (headRead && fault != ImageFault::kTagWithoutNul && fault != ImageFault::kChainGoesBack &&
        fault != ImageFault::kNextInsideHead) {
        // The record's head is read: it tells every byte the record needs,
        // and where the next one starts, so one more read takes it all.
        const std::uint8_t* head =
            reinterpret_cast<const std::uint8_t*>(prefix.data()) + error.offset;
        std::size_t name = 0;
        std::size_t response = 0;
        std::size_t next = 0;
        const std::uint32_t nextAddress = LoadLE32(head + kHeadNextAddress);
        if (inside(LoadLE32(head + kHeadNameAddress), &name) &&
            inside(LoadLE32(head + kHeadResponseAddress), &response) &&
            (nextAddress == 0 || inside(nextAddress, &next))) {
            const std::size_t responseEnd = response + LoadLE32(head + kHeadResponseLength);
            const std::size_t end =
                nextAddress == 0 ? NextAligned(responseEnd) : next + kHeadSize + kLookAhead;
            need = std::max({name + kLookAhead, responseEnd, end});
            if (need <= have) {
                need = 0;  // all there, and still broken
            }
        }
    } else {
        switch (fault) {
            case ImageFault::kHeadPastEnd:
                need = error.offset + kHeadSize + kLookAhead;
                break;
            case ImageFault::kNextOutside:
                if (inside(error.value, &at) && at >= have) {
                    need = at + kHeadSize + kLookAhead;
                }
                break;
            default:
                break;
        }
    }
    if (need == 0 || have >= capacity) {
        // Broken whatever more were read: said as the whole memory's reader
        // says it.
        extent.state = ChainExtent::State::kBroken;
        extent.error = error;
        return extent;
    }
    extent.state = ChainExtent::State::kNeedMore;
    extent.length = std::min(std::max(need, have + 1), capacity);
    return extent;
}

}  // namespace kelvarin

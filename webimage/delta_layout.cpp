// Records placed against a base: unchanged ones kept, changed ones in place
// or moved, new ones first-fit into free space, the chain linked anew.
#include "delta_layout.h"

#include "image_reader.h"

#include <algorithm>
#include <map>
#include <string>

namespace kelvarin {

namespace {

// One record of the new image and where it goes.
struct Placed {
    std::size_t freshOffset = 0;
    std::size_t size = 0;
    std::size_t offset = 0;
    bool placed = false;
};

// The record at freshOffset of fresh, moved to offset: its name and response
// addresses follow it (its next address is set once the chain is known).
std::vector<std::uint8_t> Moved(std::span<const std::uint8_t> fresh, const Placed& record,
                                std::size_t offset) {
    std::vector<std::uint8_t> bytes(fresh.begin() + static_cast<std::ptrdiff_t>(record.freshOffset),
                                    fresh.begin() +
                                        static_cast<std::ptrdiff_t>(record.freshOffset + record.size));
    const auto shift = [&](std::size_t field) {
        const std::uint32_t address = LoadLE32(bytes.data() + field);
        StoreLE32(bytes.data() + field,
                  static_cast<std::uint32_t>(address - record.freshOffset + offset));
    };
    shift(kHeadNameAddress);
    shift(kHeadResponseAddress);
    return bytes;
}

// True when bytes, placed at offset, are what base holds there already
// (the next address aside: the chain sets it).
bool Unchanged(const std::vector<std::uint8_t>& bytes, std::span<const std::uint8_t> base,
               std::size_t offset) {
    if (offset + bytes.size() > base.size()) {
        return false;
    }
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const bool next = i >= kHeadNextAddress && i < kHeadNextAddress + 4;
        if (!next && bytes[i] != base[offset + i]) {
            return false;
        }
    }
    return true;
}

// The first free space of size bytes at or after 0 among the taken
// intervals (sorted by start), below capacity; taken grows by it. False when
// there is none.
bool FirstFit(std::vector<std::pair<std::size_t, std::size_t>>& taken, std::size_t size,
              std::size_t capacity, std::size_t* offset) {
    std::size_t from = 0;
    for (auto it = taken.begin(); it <= taken.end(); ++it) {
        const std::size_t until = it == taken.end() ? capacity : it->first;
        if (until >= from && until - from >= size) {
            *offset = from;
            taken.insert(it, {from, from + size});
            return true;
        }
        if (it == taken.end()) {
            break;
        }
        from = std::max(from, it->second);
    }
    return false;
}

// Makes a record start at offset 0 when none does: the first waiting one
// that fits the space before the first placed record, else the smallest
// placed one that does (it moves there). False when none fits.
bool StartAtZero(std::vector<Placed>& records, std::vector<std::size_t>& waiting,
                 std::vector<std::pair<std::size_t, std::size_t>>& taken, std::size_t capacity,
                 DeltaLayout& layout) {
    if (!taken.empty() && taken.front().first == 0) {
        return true;
    }
    const std::size_t gap = taken.empty() ? capacity : taken.front().first;
    for (auto it = waiting.begin(); it != waiting.end(); ++it) {
        Placed& record = records[*it];
        if (record.size <= gap) {
            record.offset = 0;
            record.placed = true;
            taken.insert(taken.begin(), {0, record.size});
            waiting.erase(it);
            return true;
        }
    }
    Placed* smallest = nullptr;
    for (Placed& record : records) {
        if (record.placed && record.size <= gap && (!smallest || record.size < smallest->size)) {
            smallest = &record;
        }
    }
    if (!smallest) {
        return false;
    }
    std::erase(taken, std::make_pair(smallest->offset, smallest->offset + smallest->size));
    taken.insert(taken.begin(), {0, smallest->size});
    smallest->offset = 0;
    ++layout.moved;
    return true;
}

}  // namespace

DeltaLayout LayOutAgainst(const PackResult& fresh, std::span<const std::uint8_t> base,
                          std::size_t capacity) {
    DeltaLayout layout;
    const auto afresh = [&layout](AfreshReason why) {
        layout.afresh = why;
        layout.image.clear();
        return layout;
    };
    const std::string_view baseText(reinterpret_cast<const char*>(base.data()), base.size());
    const ImageWalk walk = ReadImage(baseText);
    if (!walk.ok || walk.records.empty()) {
        return afresh(AfreshReason::kNoBase);
    }
    // The base's records by URL path, each with its place: up to the next
    // record, the last up to the base's end.
    std::map<std::string, std::pair<std::size_t, std::size_t>> slots;
    for (std::size_t i = 0; i < walk.records.size(); ++i) {
        const ImageRecord& record = walk.records[i];
        const std::size_t end = i + 1 < walk.records.size() ? walk.records[i + 1].offset : base.size();
        if (record.offset % 4 != 0 ||
            !slots.emplace(std::string(record.path), std::make_pair(record.offset, end)).second) {
            return afresh(AfreshReason::kDuplicateNames);  // a second record of a path, or askew
        }
    }
    std::vector<Placed> records;
    std::vector<std::pair<std::size_t, std::size_t>> taken;  // [start, end) of placed records
    std::vector<std::size_t> waiting;                        // records still to place
    std::size_t found = 0;
    for (const PackedFile& file : fresh.files) {
        if (file.outcome != FileOutcome::kPacked) {
            continue;
        }
        if (file.duplicateOf >= 0) {
            return afresh(AfreshReason::kDuplicateNames);
        }
        Placed record{file.offset, static_cast<std::size_t>(file.recordSize)};
        const auto slot = slots.find(file.urlName);
        if (slot != slots.end()) {
            ++found;
            const auto [start, end] = slot->second;
            if (record.size <= end - start) {
                const bool same = Unchanged(Moved(fresh.image, record, start), base, start);
                ++(same ? layout.kept : layout.inPlace);
                record.offset = start;
                record.placed = true;
                taken.emplace_back(start, start + record.size);
            } else {
                ++layout.moved;
            }
        } else {
            ++layout.added;
        }
        if (!record.placed) {
            waiting.push_back(records.size());
        }
        records.push_back(record);
    }
    layout.dropped = static_cast<int>(slots.size() - found);
    std::sort(taken.begin(), taken.end());
    // The device walks the chain from offset 0: a record must start there.
    if (!StartAtZero(records, waiting, taken, capacity, layout)) {
        return afresh(AfreshReason::kNoRoom);
    }
    for (const std::size_t index : waiting) {
        Placed& record = records[index];
        if (!FirstFit(taken, record.size, capacity, &record.offset)) {
            return afresh(AfreshReason::kNoRoom);
        }
        record.placed = true;
    }
    // The chain in increasing address order, each record in its place.
    std::sort(records.begin(), records.end(),
              [](const Placed& a, const Placed& b) { return a.offset < b.offset; });
    const std::size_t extent = records.empty() ? 0 : records.back().offset + records.back().size;
    layout.image.assign(base.begin(), base.end());
    layout.image.resize(std::max(extent, base.size()), kFillByte);
    for (std::size_t i = 0; i < records.size(); ++i) {
        std::vector<std::uint8_t> bytes = Moved(fresh.image, records[i], records[i].offset);
        StoreLE32(bytes.data() + kHeadNextAddress,
                  i + 1 < records.size()
                      ? static_cast<std::uint32_t>(kImageBase + records[i + 1].offset)
                      : 0);
        std::copy(bytes.begin(), bytes.end(),
                  layout.image.begin() + static_cast<std::ptrdiff_t>(records[i].offset));
    }
    layout.image.resize(extent);
    return layout;
}

PackResult RecordsOf(std::span<const std::uint8_t> image) {
    PackResult result;
    const ImageWalk walk =
        ReadImage(std::string_view(reinterpret_cast<const char*>(image.data()), image.size()));
    if (!walk.ok) {
        return result;
    }
    result.image.assign(image.begin(), image.end());
    result.length = image.size();
    std::map<std::string, int> seen;
    for (std::size_t i = 0; i < walk.records.size(); ++i) {
        const ImageRecord& record = walk.records[i];
        PackedFile file;
        file.urlName = std::string(record.path);
        file.outcome = FileOutcome::kPacked;
        file.offset = record.offset;
        file.recordSize = (i + 1 < walk.records.size() ? walk.records[i + 1].offset : image.size()) -
                          record.offset;
        const auto [it, first] = seen.emplace(file.urlName, static_cast<int>(i));
        file.duplicateOf = first ? -1 : it->second;
        result.files.push_back(std::move(file));
    }
    return result;
}

std::vector<std::size_t> DifferingChunks(std::span<const std::uint8_t> image,
                                         std::span<const std::uint8_t> base,
                                         std::size_t chunkBytes) {
    constexpr std::size_t kFileBytes = 65536;
    std::vector<std::size_t> chunks;
    for (std::size_t start = 0; start < image.size();) {
        // Chunks never cross from the first 64 KiB file into the second.
        const std::size_t fileEnd = (start / kFileBytes + 1) * kFileBytes;
        const std::size_t end = std::min({start + chunkBytes, image.size(), fileEnd});
        const bool known = end <= base.size();
        if (!known || !std::equal(image.begin() + static_cast<std::ptrdiff_t>(start),
                                  image.begin() + static_cast<std::ptrdiff_t>(end),
                                  base.begin() + static_cast<std::ptrdiff_t>(start))) {
            chunks.push_back(start);
        }
        start = end;
    }
    return chunks;
}

}  // namespace kelvarin

// Records placed against a base: unchanged ones kept, changed ones in place
// or moved, new ones first-fit into free space, the chain linked anew.
#include "delta_layout.h"

#include "ascii.h"
#include "image_reader.h"

#include <algorithm>
#include <map>
#include <optional>
#include <string>

namespace kelvarin {

namespace {

// No place in the base.
constexpr std::size_t kNoOffset = static_cast<std::size_t>(-1);

// One record of the new image and where it goes.
struct Placed {
    std::size_t freshOffset = 0;
    std::size_t size = 0;
    std::size_t offset = 0;
    std::size_t baseOffset = kNoOffset;  // where the base holds its file's record
    bool placed = false;
    bool same = false;  // the base holds it unchanged
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

// The taken intervals, sorted by start.
using Intervals = std::vector<std::pair<std::size_t, std::size_t>>;

bool Overlaps(const Intervals& taken, std::size_t start, std::size_t end) {
    return std::any_of(taken.begin(), taken.end(),
                       [&](const auto& interval) { return interval.first < end && start < interval.second; });
}

void Take(Intervals& taken, std::size_t start, std::size_t end) {
    taken.insert(std::upper_bound(taken.begin(), taken.end(), std::make_pair(start, end)),
                 {start, end});
}

// Makes a record start at offset 0 when none does (the device walks the
// chain from there): the one that was there if it grew (the records it now
// covers move), else the first waiting one that fits the space before the
// first placed record, else the smallest placed one that does (it moves),
// else the smallest waiting one (the records it covers move). False when
// none fits the memory at all.
bool StartAtZero(std::vector<Placed>& records, std::vector<std::size_t>& waiting, Intervals& taken,
                 std::size_t capacity) {
    if (!taken.empty() && taken.front().first == 0) {
        return true;
    }
    const std::size_t gap = taken.empty() ? capacity : taken.front().first;
    std::optional<std::size_t> chosen;  // index into waiting
    for (std::size_t i = 0; i < waiting.size() && !chosen; ++i) {
        if (records[waiting[i]].baseOffset == 0) {
            chosen = i;
        }
    }
    for (std::size_t i = 0; i < waiting.size() && !chosen; ++i) {
        if (records[waiting[i]].size <= gap) {
            chosen = i;
        }
    }
    if (!chosen) {
        Placed* smallest = nullptr;
        for (Placed& record : records) {
            if (record.placed && record.size <= gap && (!smallest || record.size < smallest->size)) {
                smallest = &record;
            }
        }
        if (smallest) {
            std::erase(taken, std::make_pair(smallest->offset, smallest->offset + smallest->size));
            smallest->offset = 0;
            Take(taken, 0, smallest->size);
            return true;
        }
        for (std::size_t i = 0; i < waiting.size(); ++i) {
            if (!chosen || records[waiting[i]].size < records[waiting[*chosen]].size) {
                chosen = i;
            }
        }
    }
    if (!chosen || records[waiting[*chosen]].size > capacity) {
        return false;
    }
    Placed& first = records[waiting[*chosen]];
    waiting.erase(waiting.begin() + static_cast<std::ptrdiff_t>(*chosen));
    // What it covers moves to free space.
    for (Placed& record : records) {
        if (record.placed && record.offset < first.size) {
            std::erase(taken, std::make_pair(record.offset, record.offset + record.size));
            record.placed = false;
            waiting.push_back(static_cast<std::size_t>(&record - records.data()));
        }
    }
    first.offset = 0;
    first.placed = true;
    Take(taken, 0, first.size);
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
    const ImageWalk walk = ReadImage(BytesText(base));
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
    // Unchanged records stay; the rest wait for a place.
    std::vector<Placed> records;
    Intervals taken;
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
            record.baseOffset = start;
            if (record.size <= end - start &&
                Unchanged(Moved(fresh.image, record, start), base, start)) {
                record.offset = start;
                record.placed = true;
                record.same = true;
                Take(taken, start, start + record.size);
            }
        }
        records.push_back(record);
    }
    layout.dropped = static_cast<int>(slots.size() - found);
    // A changed record stays where it was when it fits there now: its old
    // place and any free space after it, up to the next record that stays.
    std::vector<std::size_t> changed;
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (!records[i].placed && records[i].baseOffset != kNoOffset) {
            changed.push_back(i);
        }
    }
    std::sort(changed.begin(), changed.end(), [&](std::size_t a, std::size_t b) {
        return records[a].baseOffset < records[b].baseOffset;
    });
    for (const std::size_t i : changed) {
        Placed& record = records[i];
        const std::size_t end = record.baseOffset + record.size;
        if (end <= capacity && !Overlaps(taken, record.baseOffset, end)) {
            record.offset = record.baseOffset;
            record.placed = true;
            Take(taken, record.baseOffset, end);
        }
    }
    std::vector<std::size_t> waiting;
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (!records[i].placed) {
            waiting.push_back(i);
        }
    }
    if (!StartAtZero(records, waiting, taken, capacity)) {
        return afresh(AfreshReason::kNoRoom);
    }
    std::sort(waiting.begin(), waiting.end());  // in the file list's order
    for (const std::size_t index : waiting) {
        Placed& record = records[index];
        if (!FirstFit(taken, record.size, capacity, &record.offset)) {
            return afresh(AfreshReason::kNoRoom);
        }
        record.placed = true;
    }
    for (const Placed& record : records) {
        if (record.baseOffset == kNoOffset) {
            ++layout.added;
        } else if (record.offset != record.baseOffset) {
            ++layout.moved;
        } else {
            ++(record.same ? layout.kept : layout.inPlace);
        }
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
    const ImageWalk walk = ReadImage(BytesText(image));
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

}  // namespace kelvarin

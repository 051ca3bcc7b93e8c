// Packing against what a device holds: the records of a freshly packed image
// laid out so that what did not change stays where the device has it. Every
// record keeps the default format's layout (head, name, alignment, header,
// contents, tag); only where records sit changes: there may be gaps between
// them, which the chain's absolute links bridge, and the chain stays in
// increasing address order, so the hardened reader and the device walk it
// as before.
#pragma once

#include "packer.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace kelvarin {

// Why an image is packed afresh instead of against the device's.
enum class AfreshReason {
    kNone,            // laid out against the base
    kNoBase,          // the base holds no sound image (or no record at all)
    kDuplicateNames,  // two files of one URL name, in the new image or in the base
    kNoRoom,          // a changed or new record finds no free space
};

// A new image laid out against the image a device holds.
struct DeltaLayout {
    AfreshReason afresh = AfreshReason::kNone;  // kNone: image is laid against the base
    // The device's image afterwards: the base's bytes with every record of
    // the new image in its place, as long as the new chain reaches. Empty
    // when packed afresh.
    std::vector<std::uint8_t> image;
    int kept = 0;     // records that did not change and stay where they were
    int inPlace = 0;  // records that changed and fit where their old ones were
    int moved = 0;    // records that changed and moved to free space
    int added = 0;    // records of files the base did not hold
    int dropped = 0;  // records of the base whose files are gone
};

// Lays out fresh (PackImage's result, its image bytes included) against
// base (a sound image the device holds, exactly its bytes): a file whose
// record is unchanged keeps its address; a changed one stays in place when
// its new record fits its old place (up to the next record), else moves to
// the first free space that holds it; new files go to free space the same
// way; records of files no longer packed leave free space. Tags keep the
// file list's row index. Capacity bounds the free space.
DeltaLayout LayOutAgainst(const PackResult& fresh, std::span<const std::uint8_t> base,
                          std::size_t capacity = kImageCapacity);

// A sound image's records as a packing's result (each record's offset,
// size and URL path, the image's bytes): an image file laid out against a
// base as packed files are. Nothing packed for an image that is not sound.
PackResult RecordsOf(std::span<const std::uint8_t> image);

}  // namespace kelvarin

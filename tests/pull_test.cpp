// Reading a device's image out: exactly the image's bytes, read no further
// than its chain, from the simulated device's own request handling; a memory
// that holds no image; a device that cannot be read.
#include "pull.h"

#include "device_memory.h"
#include "memory_link.h"
#include "modbus_frame.h"
#include "packer.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace kelvarin {
namespace {

using test::Bytes;
using test::MemoryLink;
using test::TempDir;

// The image the packer makes of files of the given sizes.
Bytes Packed(const TempDir& dir, const std::vector<std::size_t>& sizes) {
    std::vector<std::string> paths;
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        paths.push_back(dir.WriteSized("f" + std::to_string(i) + ".htm", sizes[i],
                                       static_cast<unsigned>(i)));
    }
    return PackImage({PackFilesFor(paths), std::nullopt, {}}).image;
}

// The highest memory offset a request of link read (its end), and whether
// any request wrote.
std::size_t ReadEnd(const MemoryLink& link) {
    std::size_t end = 0;
    for (const Bytes& request : link.Requests()) {
        EXPECT_EQ(request[modbus::kFunctionAt], modbus::kReadFileRecord);
        for (std::size_t at = modbus::kSubRequestsAt; at < request.size(); at += 7) {
            const std::size_t offset = modbus::OffsetOf(
                static_cast<std::uint16_t>(request[at + 1] << 8 | request[at + 2]),
                static_cast<std::uint16_t>(request[at + 3] << 8 | request[at + 4]));
            end = std::max(end, offset + 2 * std::size_t(request[at + 5] << 8 | request[at + 6]));
        }
    }
    return end;
}

TEST(Pull, GivesTheImageExactlyAndReadsNoFurtherThanItsChain) {
    TempDir dir;
    const std::vector<std::vector<std::size_t>> sites = {
        {700}, {10, 20, 30}, {60000, 10000}, {130000}, std::vector<std::size_t>(50, 900)};
    for (const auto& sizes : sites) {
        const Bytes image = Packed(dir, sizes);
        for (const bool fast : {false, true}) {
            device::DeviceMemory memory;
            // What was there before: a longer image's leftovers past the end.
            memory.Write(0, std::string(kImageCapacity, '\x5A'));
            memory.Write(0, std::string(image.begin(), image.end()));
            MemoryLink link(memory);
            TransferOptions options;
            options.autoWindow = fast;
            const PullReport report = PullImage(link, options);
            ASSERT_EQ(report.outcome, PullOutcome::kImage) << sizes.size();
            EXPECT_TRUE(report.image == image) << sizes.size();
            EXPECT_LE(ReadEnd(link), image.size()) << sizes.size();
            // A round a record at most, and the image in reads of 242 bytes.
            EXPECT_LE(report.rounds, static_cast<int>(sizes.size()) + 1);
            EXPECT_LE(report.requests, static_cast<int>(image.size() / 242 + 2 * sizes.size() + 2));
        }
    }
}

TEST(Pull, AMemoryWithoutASoundImageIsNoImage) {
    device::DeviceMemory fresh;  // all 0xFF
    MemoryLink link(fresh);
    const PullReport report = PullImage(link, TransferOptions{});
    EXPECT_EQ(report.outcome, PullOutcome::kNoImage);
    EXPECT_EQ(report.error.fault, ImageFault::kTagWithoutNul);
    EXPECT_EQ(report.error.offset, 0u);
    EXPECT_TRUE(report.image.empty());
    EXPECT_LE(link.requests, 1);

    // A chain that loops back, however far it is read.
    TempDir dir;
    Bytes image = Packed(dir, {100, 100});
    device::DeviceMemory looping;
    StoreLE32(image.data() + kHeadNextAddress, kImageBase);
    looping.Write(0, std::string(image.begin(), image.end()));
    MemoryLink loopLink(looping);
    const PullReport loop = PullImage(loopLink, TransferOptions{});
    EXPECT_EQ(loop.outcome, PullOutcome::kNoImage);
    EXPECT_EQ(loop.error.fault, ImageFault::kChainGoesBack);
}

TEST(Pull, DamagedMemoryIsReadWholeWhenAskedABlankOneNever) {
    TempDir dir;
    Bytes image = Packed(dir, {3000, 2000});
    // Another writer changed the first record's head: no sound image.
    std::fill(image.begin(), image.begin() + 8, 0x00);
    device::DeviceMemory damaged;
    damaged.Write(0, std::string(image.begin(), image.end()));
    MemoryLink link(damaged);
    const PullReport report = PullImage(link, TransferOptions{}, nullptr, nullptr, nullptr, true);
    EXPECT_EQ(report.outcome, PullOutcome::kNoImage);
    EXPECT_EQ(ReadEnd(link), kImageCapacity);
    ASSERT_EQ(report.memory.size(), kImageCapacity);
    EXPECT_TRUE(std::equal(image.begin(), image.end(), report.memory.begin()));
    EXPECT_EQ(report.memory.back(), kFillByte);

    device::DeviceMemory blank;
    MemoryLink blankLink(blank);
    const PullReport fresh = PullImage(blankLink, TransferOptions{}, nullptr, nullptr, nullptr, true);
    EXPECT_EQ(fresh.outcome, PullOutcome::kNoImage);
    EXPECT_TRUE(fresh.memory.empty());
    EXPECT_LE(blankLink.requests, 1);

    // Memory that cannot be read whole is unreadable: nothing to keep, so
    // nothing may be written over it.
    MemoryLink failing(damaged, [](int n, std::string reply) { return n == 5 ? std::string() : reply; });
    const PullReport cut = PullImage(failing, TransferOptions{}, nullptr, nullptr, nullptr, true);
    EXPECT_EQ(cut.outcome, PullOutcome::kUnreadable);
    EXPECT_TRUE(cut.memory.empty());
}

TEST(Pull, ADeviceThatCannotBeReadIsUnreadable) {
    TempDir dir;
    const Bytes image = Packed(dir, {5000});
    device::DeviceMemory memory;
    memory.Write(0, std::string(image.begin(), image.end()));
    MemoryLink refusing(memory, [](int n, std::string reply) {
        return n == 2 ? device::ModbusExceptionReply(reply, device::ModbusException::kIllegalFunction)
                      : reply;
    });
    const PullReport report = PullImage(refusing, TransferOptions{});
    EXPECT_EQ(report.outcome, PullOutcome::kUnreadable);
    EXPECT_EQ(report.failure, Outcome::kRefused);
    EXPECT_EQ(report.exceptionCode, 1);
    EXPECT_TRUE(report.image.empty());
}

}  // namespace
}  // namespace kelvarin

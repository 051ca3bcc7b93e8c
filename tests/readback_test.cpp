// Read-back verify against the simulated device's own request handling:
// the fewest requests, the comparison, and every way a read can fail.
#include "readback.h"

#include "device_memory.h"
#include "memory_link.h"
#include "web_image.h"

#include <gtest/gtest.h>

#include <deque>
#include <functional>

namespace kelvarin {
namespace {

using Bytes = std::vector<std::uint8_t>;

using test::MemoryLink;

// An image of length bytes, stored in memory from offset 0.
Bytes Store(device::DeviceMemory& memory, std::size_t length) {
    Bytes image(length);
    for (std::size_t i = 0; i < length; ++i) {
        image[i] = static_cast<std::uint8_t>(i * 13 + (i >> 10));
    }
    memory.Write(0, std::string_view(reinterpret_cast<const char*>(image.data()), length));
    return image;
}

TEST(Readback, PlanReadsWithAsFewRequestsAsTheProtocolAllows) {
    // 121 words a response; the image memory is 131072 bytes.
    const Bytes full(kImageCapacity);
    const ReadPlan plan(full);
    EXPECT_EQ(plan.Count(), 542u);  // ceil(131072 / 242)
    EXPECT_EQ(ReadPlan(Bytes(242)).Count(), 1u);
    EXPECT_EQ(ReadPlan(Bytes(244)).Count(), 2u);
    EXPECT_EQ(ReadPlan(Bytes()).Count(), 0u);
    const Bytes seven(7);
    EXPECT_EQ(ReadPlan(seven).PiecesOf(0).piece[0].words, 4);  // whole words

    // No piece crosses from file 16 into 17; a request that would, asks each.
    std::size_t total = 0;
    for (std::size_t i = 0; i < plan.Count(); ++i) {
        const ReadPlan::Pieces pieces = plan.PiecesOf(i);
        std::size_t bytes = 0;
        for (std::size_t k = 0; k < pieces.count; ++k) {
            const modbus::ReadPiece& piece = pieces.piece[k];
            EXPECT_LE(piece.position.record + 2 * std::size_t{piece.words}, modbus::kPageSize);
            EXPECT_GT(piece.words, 0);
            bytes += 2 + 2 * std::size_t{piece.words};
            total += 2 * std::size_t{piece.words};
        }
        EXPECT_LE(bytes, modbus::kMaxRequestDataLength);  // the response's data length
    }
    EXPECT_EQ(total, kImageCapacity);
    EXPECT_EQ(plan.PiecesOf(270).count, 2u);
    EXPECT_EQ(plan.PiecesOf(270).piece[1].position.file, 17);
    EXPECT_EQ(plan.PiecesOf(270).piece[1].position.record, 0);
}

TEST(Readback, EqualAndDifferentImagesAreTold) {
    device::DeviceMemory memory;
    const Bytes image = Store(memory, kImageCapacity);
    MemoryLink link(memory);
    VerifyReport same = VerifyImage(image, link, LinkTimeouts{});
    EXPECT_EQ(same.outcome, VerifyOutcome::kEqual);
    EXPECT_EQ(same.requests, 542);
    EXPECT_EQ(link.requests, 542);

    memory.CorruptByte(70000);
    memory.CorruptByte(131071);
    memory.CorruptByte(65535);
    VerifyReport changed = VerifyImage(image, link, LinkTimeouts{});
    EXPECT_EQ(changed.outcome, VerifyOutcome::kDifferent);
    EXPECT_EQ(changed.firstDifference, 65535u);
    EXPECT_EQ(changed.differingBytes, 3u);
}

TEST(Readback, LateRepliesOfEarlierRequestsAreSetAside) {
    device::DeviceMemory memory;
    const Bytes image = Store(memory, 2000);
    // The reply to request 2 comes only in front of the reply to request 3.
    std::string held;
    MemoryLink link(memory, [&held](int n, std::string reply) {
        if (n == 2) {
            held = std::move(reply);
            return std::string();
        }
        return n == 3 ? held + reply : reply;
    });
    VerifyReport report = VerifyImage(image, link, LinkTimeouts{});
    EXPECT_EQ(report.outcome, VerifyOutcome::kUnreadable);
    EXPECT_EQ(report.failure, Outcome::kNoReply);
    EXPECT_EQ(report.failedAt, 242u);

    // A reply that comes twice: the second copy, in front of the next
    // request's reply, is read past.
    std::string previous;
    MemoryLink staleFirst(memory, [&previous](int n, std::string reply) {
        std::string arriving = (n == 2 ? previous : std::string()) + reply;
        previous = reply;
        return arriving;
    });
    EXPECT_EQ(VerifyImage(image, staleFirst, LinkTimeouts{}).outcome, VerifyOutcome::kEqual);
}

TEST(Readback, ADeviceThatCannotBeReadIsToldApartFromADifferentOne) {
    device::DeviceMemory memory;
    const Bytes image = Store(memory, 1000);
    struct Case {
        MemoryLink::Tamper tamper;
        Outcome failure;
    };
    const std::vector<Case> cases = {
        {[](int, std::string reply) {
             return device::ModbusExceptionReply(reply, device::ModbusException::kIllegalFunction);
         },
         Outcome::kRefused},
        {[](int, std::string) { return std::string(); }, Outcome::kNoReply},
        // A reply that never comes whole is no reply.
        {[](int, std::string reply) { return reply.substr(0, reply.size() - 1); },
         Outcome::kNoReply},
        {[](int, std::string reply) {
             reply[9] = static_cast<char>(reply[9] - 2);  // a shorter record than asked for
             return reply;
         },
         Outcome::kWrong},
    };
    for (const Case& c : cases) {
        MemoryLink link(memory, c.tamper);
        VerifyReport report = VerifyImage(image, link, LinkTimeouts{});
        EXPECT_EQ(report.outcome, VerifyOutcome::kUnreadable);
        EXPECT_EQ(report.failure, c.failure);
        EXPECT_EQ(report.failedAt, 0u);
    }
}

}  // namespace
}  // namespace kelvarin

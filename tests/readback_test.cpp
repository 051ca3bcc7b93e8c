// Read-back verify against the simulated device's own request handling:
// the fewest requests, the comparison, and every way a read can fail.
#include "readback.h"

#include "device_memory.h"
#include "device_modbus.h"
#include "web_image.h"

#include <gtest/gtest.h>

#include <deque>
#include <functional>

namespace kelvarin {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A link to a device memory: every request is handled at once by the
// simulated device's Modbus handler, and its reply may be changed or held
// back on the way. No time passes: an empty queue reads as a time-out.
class MemoryLink : public CDeviceLink {
  public:
    // Turns the n-th reply (1-based) into what arrives; empty: nothing.
    using Tamper = std::function<std::string(int n, std::string reply)>;

    explicit MemoryLink(device::DeviceMemory& memory, Tamper tamper = nullptr)
        : m_memory(memory), m_tamper(std::move(tamper)) {}

    int Send(const void* data, int length) override {
        const std::string frame(static_cast<const char*>(data), static_cast<std::size_t>(length));
        ++requests;
        std::string reply = device::HandleModbusFrame(m_memory, frame).reply;
        if (m_tamper) {
            reply = m_tamper(requests, std::move(reply));
        }
        m_arrivals.insert(m_arrivals.end(), reply.begin(), reply.end());
        return length;
    }
    int SendFor(const void* data, int length, int) override { return Send(data, length); }
    int Receive(void* buffer, int length) override { return ReceiveFor(buffer, length, 200); }
    int ReceiveFor(void* buffer, int length, int) override {
        const int n = std::min(length, static_cast<int>(m_arrivals.size()));
        std::copy_n(m_arrivals.begin(), n, static_cast<std::uint8_t*>(buffer));
        m_arrivals.erase(m_arrivals.begin(), m_arrivals.begin() + n);
        return n;
    }

    int requests = 0;

  private:
    device::DeviceMemory& m_memory;
    Tamper m_tamper;
    std::deque<std::uint8_t> m_arrivals;
};

// An image of length bytes, stored in memory from offset 0.
Bytes Store(device::DeviceMemory& memory, std::size_t length) {
    Bytes image(length);
    for (std::size_t i = 0; i < length; ++i) {
        image[i] = static_cast<std::uint8_t>(i * 13 + (i >> 10));
    }
    memory.Write(0, std::string_view(reinterpret_cast<const char*>(image.data()), length));
    return image;
}

std::size_t TotalBytes(const std::vector<std::vector<modbus::ReadPiece>>& plan) {
    std::size_t bytes = 0;
    for (const auto& request : plan) {
        for (const auto& piece : request) {
            bytes += 2 * std::size_t{piece.words};
        }
    }
    return bytes;
}

TEST(Readback, PlanReadsWithAsFewRequestsAsTheProtocolAllows) {
    // 121 words a response; the image memory is 131072 bytes.
    const auto full = PlanImageRead(kImageCapacity);
    EXPECT_EQ(full.size(), 542u);  // ceil(131072 / 242)
    EXPECT_EQ(TotalBytes(full), kImageCapacity);
    EXPECT_EQ(PlanImageRead(242).size(), 1u);
    EXPECT_EQ(PlanImageRead(244).size(), 2u);
    EXPECT_TRUE(PlanImageRead(0).empty());
    EXPECT_EQ(TotalBytes(PlanImageRead(7)), 8u);  // whole words

    // No piece crosses from file 16 into 17; a request that would, asks each.
    for (const auto& request : full) {
        std::size_t bytes = 0;
        for (const auto& piece : request) {
            EXPECT_LE(piece.position.record + 2 * std::size_t{piece.words}, modbus::kPageSize);
            EXPECT_GT(piece.words, 0);
            bytes += 2 + 2 * std::size_t{piece.words};
        }
        EXPECT_LE(bytes, modbus::kMaxRequestDataLength);  // the response's data length
    }
    EXPECT_EQ(full[270].size(), 2u);
    EXPECT_EQ(full[270][1].position.file, 17);
    EXPECT_EQ(full[270][1].position.record, 0);
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
    EXPECT_EQ(report.failure, ReadFailure::kNoReply);
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
        ReadFailure failure;
    };
    const std::vector<Case> cases = {
        {[](int, std::string reply) {
             return device::ModbusExceptionReply(reply, device::ModbusException::kIllegalFunction);
         },
         ReadFailure::kException},
        {[](int, std::string) { return std::string(); }, ReadFailure::kNoReply},
        {[](int, std::string reply) { return reply.substr(0, reply.size() - 1); },
         ReadFailure::kMalformed},
        {[](int, std::string reply) {
             reply[9] = static_cast<char>(reply[9] - 2);  // a shorter record than asked for
             return reply;
         },
         ReadFailure::kMalformed},
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

// The simulated device: its Modbus and HTTP handlers as functions, and the
// kelvarin-device program over loopback, fault modes included.
#include "child_process.h"
#include "device_faults.h"
#include "device_http.h"
#include "device_identity.h"
#include "device_memory.h"
#include "device_modbus.h"
#include "device_process.h"
#include "device_session.h"
#include "image_reader.h"
#include "loopback_client.h"
#include "test_support.h"
#include "web_image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <memory>
#include <random>
#include <span>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace kelvarin::device {
namespace {

using modbus::kFileReferenceType;
using modbus::kFirstImageFile;
using modbus::kPageSize;
using modbus::kSubRequestHeader;
using modbus::kWriteFileRecord;
using test::ChildProcess;
using test::LoopbackClient;
using test::TempDir;

const std::string kDevice = KELVARIN_DEVICE_PATH;
using Files = std::vector<std::pair<std::string, std::string>>;

std::string Bytes(std::initializer_list<int> values) {
    std::string bytes;
    for (int value : values) {
        bytes += static_cast<char>(value);
    }
    return bytes;
}

// A Write File Record request for data (an even number of bytes).
std::string WriteRequest(unsigned transaction, unsigned file, unsigned record,
                         std::string_view data, unsigned unit = 0) {
    std::string frame;
    auto put16 = [&frame](std::size_t value) {
        frame += static_cast<char>((value >> 8) & 0xFF);
        frame += static_cast<char>(value & 0xFF);
    };
    put16(transaction);
    put16(0);
    put16(10 + data.size());
    frame += static_cast<char>(unit);
    frame += static_cast<char>(kWriteFileRecord);
    frame += static_cast<char>(kSubRequestHeader + data.size());
    frame += static_cast<char>(kFileReferenceType);
    put16(file);
    put16(record);
    put16(data.size() / 2);
    frame.append(data);
    return frame;
}

// The requests a downloader sends for image: 128 bytes each, the record
// number being the byte offset within the 64 KiB file.
std::vector<std::string> ImageRequests(const std::string& image) {
    std::vector<std::string> requests;
    for (std::size_t at = 0; at < image.size(); at += 128) {
        requests.push_back(WriteRequest(static_cast<unsigned>(requests.size() & 0xFFFF),
                                        kFirstImageFile + at / kPageSize, at % kPageSize,
                                        std::string_view(image).substr(at, 128)));
    }
    return requests;
}

// A web image laid out as the packer lays it out: records back to back, each
// a head, the path with its NUL and the stored response, 4-aligned.
std::string MakeImage(const Files& files) {
    std::string image;
    for (std::size_t i = 0; i < files.size(); ++i) {
        const auto& [path, contents] = files[i];
        std::string_view header = IsHtmlName(path) ? kHtmlHeader : kOctetHeader;
        std::size_t at = image.size();
        std::size_t responseAt = NextAligned(at + kHeadSize + path.size() + 1);
        std::size_t end = NextAligned(responseAt + header.size() + contents.size());
        image.resize(end, static_cast<char>(kFillByte));
        FileHead head{kImageBase + static_cast<std::uint32_t>(at + kHeadSize),
                      kImageBase + static_cast<std::uint32_t>(responseAt),
                      static_cast<std::uint32_t>(header.size() + contents.size()),
                      static_cast<int>(i),
                      i + 1 == files.size() ? 0 : kImageBase + static_cast<std::uint32_t>(end)};
        WriteFileHead(reinterpret_cast<std::uint8_t*>(image.data()) + at, head);
        image.replace(at + kHeadSize, path.size() + 1, path + '\0');
        image.replace(responseAt, header.size(), header);
        image.replace(responseAt + header.size(), contents.size(), contents);
    }
    return image;
}

// The image as the device's memory holds it: followed by the fill.
std::string AsMemory(std::string image) {
    image.resize(kImageCapacity, static_cast<char>(kFillByte));
    return image;
}

std::string Get(std::string_view path, std::string_view method = "GET") {
    return std::string(method) + " " + std::string(path) + " HTTP/1.1\r\nHost: device\r\n\r\n";
}

// ---- Modbus handler ----

TEST(Device, ModbusStoresAndEchoesAcrossBothPages) {
    DeviceMemory memory;
    std::string first(128, 'a');
    std::string request = WriteRequest(0, 16, 0, first);
    EXPECT_EQ(request.substr(0, 16), Bytes({0x00, 0x00, 0x00, 0x00, 0x00, 0x8A, 0x00, 0x15, 0x87,
                                            0x06, 0x00, 0x10, 0x00, 0x00, 0x00, 0x40}));
    ModbusResult result = HandleModbusFrame(memory, request);
    EXPECT_TRUE(result.stored);
    EXPECT_EQ(result.reply, request);

    std::string second = WriteRequest(0, 16, 0x80, std::string(64, 'b'));
    EXPECT_EQ(second.substr(0, 16), Bytes({0x00, 0x00, 0x00, 0x00, 0x00, 0x4A, 0x00, 0x15, 0x47,
                                           0x06, 0x00, 0x10, 0x00, 0x80, 0x00, 0x20}));
    EXPECT_EQ(HandleModbusFrame(memory, second).reply, second);

    // File 17, and the last two bytes of each page (record + length == 65536).
    std::string paged = WriteRequest(0x1234, 17, 0, "cdef", 0x07);
    EXPECT_EQ(HandleModbusFrame(memory, paged).reply, paged);
    EXPECT_TRUE(HandleModbusFrame(memory, WriteRequest(2, 16, 65534, "gh")).stored);
    EXPECT_TRUE(HandleModbusFrame(memory, WriteRequest(3, 17, 65534, "ij")).stored);

    std::string_view bytes = memory.Bytes();
    ASSERT_EQ(bytes.size(), kImageCapacity);
    EXPECT_EQ(bytes.substr(0, 192), std::string(128, 'a') + std::string(64, 'b'));
    EXPECT_EQ(bytes.substr(65534, 6), "ghcdef");
    EXPECT_EQ(bytes.substr(131070), "ij");
    std::size_t fill = std::count(bytes.begin(), bytes.end(), static_cast<char>(kFillByte));
    EXPECT_EQ(fill, kImageCapacity - 192 - 4 - 2 - 2);
}

TEST(Device, ModbusAnswersEachFaultWithItsExceptionCode) {
    std::string good = WriteRequest(0xABCD, 16, 0, "wxyz", 0x11);
    auto with = [&good](std::size_t at, int value) {
        std::string frame = good;
        frame[at] = static_cast<char>(value);
        return frame;
    };
    std::string twoSubRequests = good + Bytes({6, 0, 16, 0, 8, 0, 1, 'q', 'r'});
    twoSubRequests[5] = static_cast<char>(twoSubRequests.size() - 6);
    twoSubRequests[8] = static_cast<char>(twoSubRequests.size() - 9);
    std::string bare = Bytes({0xAB, 0xCD, 0, 0, 0, 2, 0x11, 0x15});
    std::string zeroLength = WriteRequest(0xABCD, 16, 0, "", 0x11);
    std::string extraByte = good + "!";
    extraByte[5] = static_cast<char>(extraByte.size() - 6);

    const struct {
        const char* name;
        std::string frame;
        int code;
    } cases[] = {
        {"read holding registers", with(7, 0x03), 1},
        {"file 15", with(11, 15), 2},
        {"file 18", with(11, 18), 2},
        {"reference type 7", with(9, 7), 2},
        {"record past the page end", WriteRequest(0xABCD, 17, 65535, "zz", 0x11), 2},
        {"data length byte too small", with(8, 9), 3},
        {"record length disagrees", with(15, 3), 3},
        {"zero record length", zeroLength, 3},
        {"two sub-requests", twoSubRequests, 3},
        {"function code only", bare, 3},
        {"frame longer than its request data", extraByte, 3},
    };
    // The largest write a request can carry (request data 0xFB) is taken.
    {
        DeviceMemory memory;
        const std::string largest = WriteRequest(0xABCD, 16, 0, std::string(244, 'L'), 0x11);
        ModbusResult result = HandleModbusFrame(memory, largest);
        EXPECT_EQ(result.reply, largest);
        EXPECT_TRUE(result.stored);
        EXPECT_EQ(memory.Bytes().substr(0, 245), std::string(244, 'L') + "\xFF");
    }
    for (const auto& c : cases) {
        DeviceMemory memory;
        ModbusResult result = HandleModbusFrame(memory, c.frame);
        std::string expected = Bytes(
            {0xAB, 0xCD, 0, 0, 0, 3, 0x11, static_cast<std::uint8_t>(c.frame[7]) | 0x80, c.code});
        EXPECT_EQ(result.reply, expected) << c.name;
        EXPECT_FALSE(result.stored) << c.name;
        EXPECT_EQ(memory.Bytes(), DeviceMemory().Bytes()) << c.name;
    }
}

// A Read File Record request for pieces (file, record, words).
std::string ReadRequest(unsigned transaction, std::vector<std::array<unsigned, 3>> pieces,
                        unsigned unit = 0) {
    std::string frame =
        Bytes({static_cast<int>(transaction >> 8), static_cast<int>(transaction & 0xFF), 0, 0, 0, 0,
               static_cast<int>(unit), 0x14, static_cast<int>(7 * pieces.size())});
    for (const auto& [file, record, words] : pieces) {
        frame += Bytes({6, static_cast<int>(file >> 8), static_cast<int>(file & 0xFF),
                        static_cast<int>(record >> 8), static_cast<int>(record & 0xFF),
                        static_cast<int>(words >> 8), static_cast<int>(words & 0xFF)});
    }
    frame[5] = static_cast<char>(frame.size() - 6);
    return frame;
}

TEST(Device, ModbusReadsFileRecordsAsTheStandardSays) {
    DeviceMemory memory;
    memory.Write(10, "abcdef");
    memory.Write(65536, "WXYZ");
    // Two sub-requests, one in each file; the reply keeps the ids.
    ModbusResult two = HandleModbusFrame(memory, ReadRequest(0x1234, {{16, 10, 3}, {17, 0, 2}}, 7));
    EXPECT_EQ(two.reply, Bytes({0x12, 0x34, 0, 0, 0, 17, 7, 0x14, 14, 7, 6}) + "abcdef" +
                             Bytes({5, 6}) + "WXYZ");
    EXPECT_FALSE(two.stored);

    // The most one response carries: 121 words alone, 120 across two.
    EXPECT_EQ(HandleModbusFrame(memory, ReadRequest(1, {{16, 0, 121}})).reply.size(), 9u + 2 + 242);
    EXPECT_EQ(HandleModbusFrame(memory, ReadRequest(1, {{16, 0, 60}, {17, 0, 60}})).reply.size(),
              9u + 4 + 240);

    std::string countNotSevens = ReadRequest(1, {{16, 0, 1}});
    countNotSevens[8] = 8;
    countNotSevens += '\0';
    countNotSevens[5] = static_cast<char>(countNotSevens.size() - 6);
    std::string wrongType = ReadRequest(1, {{16, 0, 1}});
    wrongType[9] = 5;
    const struct {
        const char* name;
        std::string frame;
        int code;
    } cases[] = {
        {"122 words", ReadRequest(1, {{16, 0, 122}}), 3},
        {"121 words across two sub-requests", ReadRequest(1, {{16, 0, 61}, {17, 0, 60}}), 3},
        {"zero words", ReadRequest(1, {{16, 0, 0}}), 3},
        {"byte count not a multiple of 7", countNotSevens, 3},
        {"no sub-request", ReadRequest(1, {}), 3},
        {"reference type 5", wrongType, 2},
        {"file 18", ReadRequest(1, {{18, 0, 1}}), 2},
        {"past the end of file 17", ReadRequest(1, {{17, 65534, 2}}), 2},
    };
    for (const auto& c : cases) {
        ModbusResult result = HandleModbusFrame(memory, c.frame);
        EXPECT_EQ(result.reply, Bytes({0, 1, 0, 0, 0, 3, 0, 0x94, c.code})) << c.name;
    }
}

// A Read Device Identification request.
std::string IdentifyRequest(unsigned transaction, int readCode, int objectId, unsigned unit = 0) {
    std::uint8_t frame[modbus::kIdentityRequestSize];
    modbus::EncodeIdentityRequest(
        frame, {static_cast<std::uint8_t>(readCode), static_cast<std::uint8_t>(objectId)},
        static_cast<std::uint16_t>(transaction), static_cast<std::uint8_t>(unit));
    return std::string(reinterpret_cast<const char*>(frame), sizeof frame);
}

modbus::IdentityReply Identification(std::string_view reply, unsigned transaction) {
    return modbus::DecodeIdentityReply(
        std::span(reinterpret_cast<const std::uint8_t*>(reply.data()), reply.size()),
        static_cast<std::uint16_t>(transaction));
}

// The ids of objects, in order.
std::vector<int> IdsOf(const std::vector<modbus::IdentityObject>& objects) {
    std::vector<int> ids;
    for (const modbus::IdentityObject& object : objects) {
        ids.push_back(object.id);
    }
    return ids;
}

TEST(Device, ModbusIdentifiesTheDeviceAsAskedFor) {
    DeviceMemory memory;
    const DeviceIdentity& basic = DefaultIdentity();
    DeviceIdentity regular = basic;
    regular.objects.push_back({modbus::kProductName, "Web loader"});
    regular.objects.push_back({modbus::kUserApplicationName, "plant 3"});
    const struct {
        const char* name;
        const DeviceIdentity& identity;
        int readCode;
        int objectId;
        std::vector<int> ids;
        int conformity;
    } cases[] = {
        {"basic", basic, 1, 0, {0, 1, 2}, 0x81},
        {"regular of a basic device", basic, 2, 0, {0, 1, 2}, 0x81},
        {"basic of a regular device", regular, 1, 0, {0, 1, 2}, 0x82},
        {"regular", regular, 2, 0, {0, 1, 2, 4, 6}, 0x82},
        {"extended, as regular", regular, 3, 0, {0, 1, 2, 4, 6}, 0x82},
        {"regular from object 4", regular, 2, 4, {4, 6}, 0x82},
        {"basic from object 2", regular, 1, 2, {2}, 0x82},
        {"from object 5, which it lacks: from the start", regular, 2, 5, {0, 1, 2, 4, 6}, 0x82},
        {"basic from object 4, no basic one: from the start", regular, 1, 4, {0, 1, 2}, 0x82},
        {"object 6 alone", regular, 4, 6, {6}, 0x82},
        {"object 1 alone", basic, 4, 1, {1}, 0x81},
    };
    for (const auto& c : cases) {
        const modbus::IdentityReply reply = Identification(
            HandleModbusFrame(memory, IdentifyRequest(5, c.readCode, c.objectId, 3), c.identity)
                .reply,
            5);
        ASSERT_EQ(reply.status, modbus::IdentityReplyStatus::kObjects) << c.name;
        EXPECT_EQ(reply.unit, 3) << c.name;
        EXPECT_EQ(reply.readCode, c.readCode) << c.name;
        EXPECT_EQ(reply.conformity, c.conformity) << c.name;
        EXPECT_FALSE(reply.moreFollows) << c.name;
        EXPECT_EQ(IdsOf(reply.objects), c.ids) << c.name;
        for (const modbus::IdentityObject& object : reply.objects) {
            EXPECT_NE(std::find(c.identity.objects.begin(), c.identity.objects.end(), object),
                      c.identity.objects.end())
                << c.name << ": object " << int{object.id};
        }
    }

    DeviceIdentity silent = regular;
    silent.answers = false;
    std::string longer = IdentifyRequest(5, 1, 0, 3) + '\0';
    longer[5] = 6;
    std::string canOpen = IdentifyRequest(5, 1, 0, 3);
    canOpen[8] = 0x0D;
    const struct {
        const char* name;
        const DeviceIdentity& identity;
        std::string frame;
        int code;
    } refusals[] = {
        {"object 5 alone, which it lacks", regular, IdentifyRequest(5, 4, 5, 3), 2},
        {"an extended object alone", regular, IdentifyRequest(5, 4, 0x80, 3), 2},
        {"read code 5", regular, IdentifyRequest(5, 1, 0, 3).replace(9, 1, 1, '\5'), 3},
        {"a byte more", regular, longer, 3},
        {"MEI type 13", regular, canOpen, 1},
        {"no identification", silent, IdentifyRequest(5, 1, 0, 3), 1},
    };
    for (const auto& c : refusals) {
        EXPECT_EQ(HandleModbusFrame(memory, c.frame, c.identity).reply,
                  Bytes({0, 5, 0, 0, 0, 3, 3, 0xAB, c.code}))
            << c.name;
    }
}

TEST(Device, ModbusFramesSplitAndJoinedRequests) {
    DeviceMemory memory;
    ModbusSession session(memory, FaultMode{});
    std::string one = WriteRequest(1, 16, 0, "abcd");
    std::string two = WriteRequest(2, 17, 8, std::string(128, 'z'));

    // Byte by byte: each reply comes exactly when its last byte arrives.
    std::string stream = one + two;
    std::vector<std::size_t> replyAt;
    std::vector<std::string> replies;
    for (std::size_t i = 0; i < stream.size(); ++i) {
        ModbusFeed feed = session.Feed(stream.substr(i, 1));
        ASSERT_FALSE(feed.close);
        for (ModbusReply& reply : feed.replies) {
            replyAt.push_back(i + 1);
            replies.push_back(reply.bytes);
        }
    }
    EXPECT_EQ(replyAt, (std::vector<std::size_t>{one.size(), stream.size()}));
    EXPECT_EQ(replies, (std::vector<std::string>{one, two}));

    // Several requests and a part of the next in one read, the rest later.
    std::string three = WriteRequest(3, 16, 4, "efgh");
    ModbusFeed joined = session.Feed(one + two + three.substr(0, 5));
    ASSERT_EQ(joined.replies.size(), 2u);
    EXPECT_EQ(joined.replies[1].bytes, two);
    ModbusFeed rest = session.Feed(three.substr(5));
    ASSERT_EQ(rest.replies.size(), 1u);
    EXPECT_EQ(rest.replies[0].bytes, three);
    EXPECT_EQ(memory.Bytes().substr(0, 8), "abcdefgh");
    EXPECT_EQ(session.RequestCount(), 5);
    EXPECT_TRUE(session.WroteRecord());
}

TEST(Device, ModbusClosesOnBytesThatAreNotModbus) {
    std::string good = WriteRequest(1, 16, 0, "abcd");
    const struct {
        const char* name;
        std::string bytes;
        std::size_t replies;
    } cases[] = {
        {"protocol id 1", Bytes({0, 1, 0, 1, 0, 6, 0, 0x15}), 0},
        {"MBAP length 1", Bytes({0, 1, 0, 0, 0, 1, 0}), 0},
        {"MBAP length 255", Bytes({0, 1, 0, 0, 0, 255, 0, 0x15}), 0},
        {"HTTP on the Modbus port", "GET / HTTP/1.1\r\n\r\n", 0},
        {"a request, then garbage", good + "\x01\x02\x03\x04\x05\x06", 1},
    };
    for (const auto& c : cases) {
        DeviceMemory memory;
        ModbusSession session(memory, FaultMode{});
        ModbusFeed feed = session.Feed(c.bytes);
        EXPECT_TRUE(feed.close) << c.name;
        EXPECT_EQ(feed.replies.size(), c.replies) << c.name;
        // Whatever follows is ignored.
        ModbusFeed after = session.Feed(WriteRequest(2, 16, 64, "zz"));
        EXPECT_TRUE(after.close) << c.name;
        EXPECT_TRUE(after.replies.empty()) << c.name;
        EXPECT_EQ(memory.Bytes().substr(64, 2), "\xFF\xFF") << c.name;
    }
}

TEST(Device, RandomFramesStoreOnlyWhatTheyEcho) {
    std::mt19937 random(2024);
    DeviceMemory memory;
    std::string shadow(kImageCapacity, static_cast<char>(kFillByte));
    int stored = 0;
    for (int round = 0; round < 20000; ++round) {
        std::string frame;
        if (round % 2 == 0) {
            std::size_t length = 2 + random() % 253;
            frame = Bytes({0, 0, 0, 0, static_cast<int>(length >> 8), static_cast<int>(length)});
            for (std::size_t i = 0; i < length; ++i) {
                frame += static_cast<char>(random());
            }
            frame[7] = static_cast<char>(random() % 4 == 0 ? random() : kWriteFileRecord);
        } else {
            // A plausible request with a field or two damaged.
            std::string data(2 * (1 + random() % 60), static_cast<char>(random()));
            frame = WriteRequest(random(), 15 + random() % 4, random() % 65536, data);
            for (int flips = 1 + random() % 2; flips > 0; --flips) {
                frame[6 + random() % 10] = static_cast<char>(random());
            }
            frame[5] = static_cast<char>(frame.size() - 6);  // keep it a frame
        }
        ModbusResult result = HandleModbusFrame(memory, frame);
        if (result.stored) {
            ASSERT_EQ(result.reply, frame);
            std::size_t file =
                (static_cast<std::uint8_t>(frame[10]) << 8) | static_cast<std::uint8_t>(frame[11]);
            std::size_t record =
                (static_cast<std::uint8_t>(frame[12]) << 8) | static_cast<std::uint8_t>(frame[13]);
            shadow.replace((file - 16) * kPageSize + record, frame.size() - 16, frame.substr(16));
            ++stored;
        } else {
            ASSERT_EQ(result.reply.size(), 9u);
            ASSERT_EQ(result.reply.substr(0, 2), frame.substr(0, 2));
        }
    }
    EXPECT_GT(stored, 100);
    EXPECT_EQ(memory.Bytes(), shadow);
}

// ---- Fault modes ----

TEST(Device, FaultModesParseAndStoreAsTheySay) {
    EXPECT_EQ(ParseFaultMode("late=3")->delayMs, kDefaultLateMs);
    EXPECT_EQ(ParseFaultMode("late=2:40")->delayMs, 40);
    EXPECT_EQ(ParseFaultMode("corrupt=7")->count, 7);
    for (const char* bad : {"", "loud", "silent=1", "delay", "delay=-1", "delay=5ms", "late=0",
                            "late=2:", "late=1:2:3", "close-after=0", "corrupt", "delay=600001"}) {
        EXPECT_FALSE(ParseFaultMode(bad)) << bad;
    }

    // What a client cannot see on the wire: what each mode stores. The
    // program tests below check the replies.
    std::string all =
        WriteRequest(1, 16, 0, "ab") + WriteRequest(2, 16, 2, "cd") + WriteRequest(3, 16, 4, "ef");
    auto run = [&all](const char* fault, DeviceMemory& memory) {
        ModbusSession session(memory, *ParseFaultMode(fault));
        return session.Feed(all);
    };
    DeviceMemory silent;
    EXPECT_TRUE(run("silent", silent).replies.empty());
    EXPECT_EQ(silent.Bytes().substr(0, 6), "abcdef");

    DeviceMemory exception;
    EXPECT_EQ(run("exception", exception).replies.size(), 3u);
    EXPECT_EQ(exception.Bytes(), DeviceMemory().Bytes());

    DeviceMemory closed;
    ModbusFeed feed = run("close-after=2", closed);
    EXPECT_EQ(feed.replies.size(), 1u);
    EXPECT_TRUE(feed.close);
    EXPECT_EQ(closed.Bytes().substr(0, 4), "ab\xFF\xFF");  // the 2nd is dropped unstored

    // flip-store: every write echoed as sent, the 2nd stored changed.
    DeviceMemory flipped;
    feed = run("flip-store=2", flipped);
    ASSERT_EQ(feed.replies.size(), 3u);
    EXPECT_EQ(feed.replies[1].bytes, WriteRequest(2, 16, 2, "cd"));
    EXPECT_EQ(flipped.Bytes().substr(0, 6),
              std::string("ab") + static_cast<char>('c' ^ 0xFF) + "def");

    // no-read: writes as ever, reads refused as by a device without them.
    DeviceMemory unread;
    ModbusSession noRead(unread, *ParseFaultMode("no-read"));
    feed = noRead.Feed(WriteRequest(1, 16, 0, "ab") + ReadRequest(2, {{16, 0, 1}}));
    ASSERT_EQ(feed.replies.size(), 2u);
    EXPECT_EQ(feed.replies[0].bytes, WriteRequest(1, 16, 0, "ab"));
    EXPECT_EQ(feed.replies[1].bytes, Bytes({0, 2, 0, 0, 0, 3, 0, 0x94, 1}));
    EXPECT_EQ(ParseFaultMode("flip-store=5")->count, 5);
    EXPECT_FALSE(ParseFaultMode("no-read=1"));
    EXPECT_FALSE(ParseFaultMode("flip-store"));
}

// ---- HTTP handler ----

TEST(Device, HttpServesStoredResponsesVerbatim) {
    std::string memory = AsMemory(MakeImage({{"/index.htm", "<h1>home</h1>"},
                                             {"/a b.css", "h1{}"},
                                             {"/broken.js", "x"},
                                             {"/after.js", "y"}}));
    std::string index = "HTTP/1.1 200 OK\r\nContent-type: text/html\r\n\r\n<h1>home</h1>";
    EXPECT_EQ(HandleHttpRequest(memory, Get("/")), index);
    EXPECT_EQ(HandleHttpRequest(memory, "GET /index.htm?lang=en HTTP/1.0\n\n"), index);
    EXPECT_EQ(HandleHttpRequest(memory, Get("/a%20b.c%73s")),
              "HTTP/1.1 200 OK\r\nContent-type: application/octet-stream\r\n\r\nh1{}");
    EXPECT_EQ(HandleHttpRequest(memory, Get("/", "HEAD")),
              "HTTP/1.1 200 OK\r\nContent-type: text/html\r\n\r\n");

    // A broken record ends the walk: the records before it are still served.
    ImageWalk walk = ReadImage(memory);
    ASSERT_EQ(walk.records.size(), 4u);
    StoreLE32(reinterpret_cast<std::uint8_t*>(memory.data()) + walk.records[2].offset +
                  kHeadResponseLength,
              0x7FFFFFF0);
    EXPECT_EQ(HandleHttpRequest(memory, Get("/")), index);
    EXPECT_EQ(HandleHttpRequest(memory, Get("/after.js")), HttpErrorResponse(404));

    // "/" falls back to index.html.
    std::string html = AsMemory(MakeImage({{"/x.js", "1"}, {"/index.html", "<p>"}}));
    EXPECT_NE(HandleHttpRequest(html, Get("/")).find("\r\n\r\n<p>"), std::string::npos);
}

TEST(Device, HttpServesFolderIndexesAsAStaticServerDoes) {
    std::string memory = AsMemory(MakeImage({{"/docs/index.html", "<p>docs"},
                                             {"/docs/a/index.htm", "<p>a"},
                                             {"/docs/a/index.html", "<p>a2"},
                                             {"/empty/x.css", "x"}}));
    EXPECT_NE(HandleHttpRequest(memory, Get("/docs/")).find("\r\n\r\n<p>docs"), std::string::npos);
    EXPECT_NE(HandleHttpRequest(memory, Get("/docs/a/")).find("\r\n\r\n<p>a"), std::string::npos);
    EXPECT_EQ(HandleHttpRequest(memory, Get("/empty/")), HttpErrorResponse(404));
    // A folder named without its "/" is sent to the folder, query kept.
    const std::string moved = HandleHttpRequest(memory, Get("/docs?x=1"));
    EXPECT_EQ(moved.rfind("HTTP/1.1 301 Moved Permanently\r\nLocation: /docs/?x=1\r\n", 0), 0u)
        << moved;
    EXPECT_EQ(HandleHttpRequest(memory, Get("/empty")), HttpErrorResponse(404));
}

TEST(Device, HttpRefusesWhatItCannotServe) {
    std::string memory = AsMemory(MakeImage({{"/index.htm", "home"}}));
    EXPECT_EQ(HandleHttpRequest(memory, Get("/missing.htm")),
              "HTTP/1.1 404 Not Found\r\nContent-Length: 14\r\nConnection: close\r\n\r\n"
              "404 Not Found\n");
    EXPECT_EQ(HandleHttpRequest(DeviceMemory().Bytes(), Get("/")), HttpErrorResponse(404));

    const struct {
        const char* request;
        const char* status;
    } cases[] = {
        {"GET /INDEX.HTM HTTP/1.1\r\n\r\n", "404"},
        {"GET /docs\rSet-Cookie:x HTTP/1.1\r\n\r\n", "400"},  // no bare CR into a header
        {"GET /a\x7F HTTP/1.1\r\n\r\n", "400"},
        {"GET /index.htm%00 HTTP/1.1\r\n\r\n", "404"},
        {"GET /../etc/passwd HTTP/1.1\r\n\r\n", "404"},
        {"POST /index.htm HTTP/1.1\r\n\r\n", "405"},
        {"GET index.htm HTTP/1.1\r\n\r\n", "400"},
        {"GET /index.htm\r\n\r\n", "400"},
        {"GET /index.htm HTTP/2.0\r\n\r\n", "400"},
        {"GET /%4 HTTP/1.1\r\n\r\n", "400"},
        {"\x16\x03\x01\x02\x01\r\n\r\n", "400"},
    };
    for (const auto& c : cases) {
        std::string response = HandleHttpRequest(memory, c.request);
        EXPECT_EQ(response.substr(0, 12), std::string("HTTP/1.1 ") + c.status) << c.request;
        EXPECT_NE(response.find("Connection: close\r\n"), std::string::npos) << c.request;
    }
}

TEST(Device, HttpRequestHeadEndsAtTheBlankLineWithinTheCap) {
    EXPECT_EQ(ScanHttpRequest("GET / HTTP/1.1\r\nHost: x\r\n").status, HttpScanStatus::kNeedMore);
    HttpScan crlf = ScanHttpRequest("GET / HTTP/1.1\r\n\r\nextra");
    EXPECT_EQ(crlf.status, HttpScanStatus::kComplete);
    EXPECT_EQ(crlf.size, 18u);
    EXPECT_EQ(ScanHttpRequest("GET / HTTP/1.0\n\n").size, 16u);

    std::string padded =
        "GET / HTTP/1.1\r\nX: " + std::string(kMaxHttpRequest - 23, 'p') + "\r\n\r\n";
    ASSERT_EQ(padded.size(), kMaxHttpRequest);
    EXPECT_EQ(ScanHttpRequest(padded).status, HttpScanStatus::kComplete);
    padded.insert(20, "p");
    EXPECT_EQ(ScanHttpRequest(padded).status, HttpScanStatus::kTooLarge);
    EXPECT_EQ(ScanHttpRequest(std::string(kMaxHttpRequest - 1, 'x')).status,
              HttpScanStatus::kNeedMore);
}

// ---- The program ----

// kelvarin-device started on free ports, stopped with SIGTERM when it goes away.
class RunningDevice : public test::DeviceProcess {
  public:
    explicit RunningDevice(const std::vector<std::string>& options)
        : DeviceProcess(kDevice, options) {}
};

std::string Fetch(int port, std::string_view request) {
    LoopbackClient client(port);
    client.Send(request);
    return client.ReceiveAll();
}

TEST(Device, ProgramStoresAnImageWritesItOutAndServesIt) {
    TempDir dir;
    std::string out = dir.Path() + "/memory.bin";
    RunningDevice device({"--image-out", out});
    ASSERT_TRUE(device.Ready()) << device.FirstLine();

    std::string big(70000, '\0');
    for (std::size_t i = 0; i < big.size(); ++i) {
        big[i] = static_cast<char>(i * 7 + (i >> 9));
    }
    std::string image = MakeImage({{"/index.htm", "<p>demo</p>"}, {"/big.bin", big}});
    ASSERT_GT(image.size(), kPageSize);  // the download crosses into file 17
    {
        LoopbackClient modbus(device.ModbusPort());
        for (const std::string& request : ImageRequests(image)) {
            ASSERT_TRUE(modbus.Send(request));
            ASSERT_EQ(modbus.Receive(request.size()), request);
        }
    }
    ASSERT_EQ(device.Process().ReadLine(), "image " + out);
    EXPECT_EQ(test::ReadAll(out), AsMemory(image));

    std::string served = Fetch(device.HttpPort(), Get("/big.bin"));
    EXPECT_EQ(served, "HTTP/1.1 200 OK\r\nContent-type: application/octet-stream\r\n\r\n" + big);
    EXPECT_EQ(Fetch(device.HttpPort(), Get("/")),
              "HTTP/1.1 200 OK\r\nContent-type: text/html\r\n\r\n<p>demo</p>");

    // A connection that stored nothing is no write burst; the next one is.
    { LoopbackClient idle(device.ModbusPort()); }
    {
        LoopbackClient modbus(device.ModbusPort());
        std::string request = WriteRequest(9, 17, 65532, "tail");
        modbus.Send(request);
        EXPECT_EQ(modbus.Receive(request.size()), request);
    }
    ASSERT_EQ(device.Process().ReadLine(), "image " + out);
    EXPECT_EQ(test::ReadAll(out).substr(kImageCapacity - 4), "tail");
    EXPECT_EQ(device.Process().Stop(SIGTERM), 0);
}

TEST(Device, ProgramFaultModesAsAClientSeesThem) {
    std::string first = WriteRequest(1, 16, 0, std::string(32, 'f'));
    std::string second = WriteRequest(2, 16, 32, std::string(32, 's'));
    using Clock = std::chrono::steady_clock;
    auto elapsedMs = [](Clock::time_point since) {
        return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count();
    };

    {
        RunningDevice device({"--fault", "silent"});
        LoopbackClient client(device.ModbusPort());
        client.Send(first);
        EXPECT_EQ(client.Receive(1, 300), "");
        EXPECT_FALSE(client.PeerClosed());
    }
    {
        RunningDevice device({"--fault", "exception"});
        LoopbackClient client(device.ModbusPort());
        client.Send(first);
        EXPECT_EQ(client.Receive(100, 500), Bytes({0, 1, 0, 0, 0, 3, 0, 0x95, 4}));
    }
    {
        RunningDevice device({"--fault", "split"});
        LoopbackClient client(device.ModbusPort());
        client.Send(first);
        EXPECT_EQ(client.Receive(first.size()), first);
        EXPECT_GE(client.ReadCount(), 4);
    }
    {
        RunningDevice device({"--fault", "close-after=2"});
        LoopbackClient client(device.ModbusPort());
        client.Send(first);
        EXPECT_EQ(client.Receive(first.size()), first);
        client.Send(second);
        EXPECT_EQ(client.ReceiveAll(), "");
        EXPECT_TRUE(client.PeerClosed());
    }
    {
        RunningDevice device({"--fault", "corrupt=1"});
        LoopbackClient client(device.ModbusPort());
        client.Send(first);
        std::string reply = client.Receive(first.size());
        ASSERT_EQ(reply.size(), first.size());
        EXPECT_NE(reply, first);
        EXPECT_EQ(reply.substr(0, reply.size() - 1), first.substr(0, first.size() - 1));
    }
    {
        // The first reply is late; the second, though ready at once, waits behind it.
        RunningDevice device({"--fault", "late=1:300"});
        LoopbackClient client(device.ModbusPort());
        auto sent = Clock::now();
        client.Send(first + second);
        EXPECT_EQ(client.Receive(1, 200), "");
        EXPECT_EQ(client.Receive(first.size() + second.size(), 2000), first + second);
        EXPECT_GE(elapsedMs(sent), 290);
    }
    {
        RunningDevice device({"--fault", "delay=200"});
        LoopbackClient client(device.ModbusPort());
        auto sent = Clock::now();
        client.Send(first);
        EXPECT_EQ(client.Receive(first.size(), 2000), first);
        EXPECT_GE(elapsedMs(sent), 190);
    }
}

TEST(Device, ProgramKeepsServingPastIdleAndBadClients) {
    RunningDevice device({"--http-timeout", "300"});
    ASSERT_TRUE(device.Ready());
    std::string page = MakeImage({{"/index.htm", "ok"}});
    std::vector<std::string> requests = ImageRequests(page);

    // Half a request on each port, then silence.
    LoopbackClient idleModbus(device.ModbusPort());
    idleModbus.Send(requests[0].substr(0, 10));
    LoopbackClient idleHttp(device.HttpPort());
    idleHttp.Send("GET / HT");

    // Garbage on both ports.
    LoopbackClient junkModbus(device.ModbusPort());
    junkModbus.Send(Bytes({0, 1, 0, 7}) + "garbage, not Modbus");
    EXPECT_EQ(junkModbus.ReceiveAll(), "");
    EXPECT_TRUE(junkModbus.PeerClosed());
    std::string junk(9000, '\x80');
    EXPECT_EQ(Fetch(device.HttpPort(), junk).substr(0, 12), "HTTP/1.1 400");
    EXPECT_EQ(Fetch(device.HttpPort(), "\r\n\r\n").substr(0, 12), "HTTP/1.1 400");

    // Meanwhile other clients are served in full.
    {
        LoopbackClient modbus(device.ModbusPort());
        for (std::size_t i = 1; i < requests.size(); ++i) {
            modbus.Send(requests[i]);
            EXPECT_EQ(modbus.Receive(requests[i].size()), requests[i]);
        }
    }
    EXPECT_EQ(Fetch(device.HttpPort(), Get("/index.htm")).substr(0, 8), "HTTP/1.1");

    // The idle Modbus client still finishes its request; the idle HTTP
    // client has been dropped for taking too long.
    idleModbus.Send(requests[0].substr(10));
    EXPECT_EQ(idleModbus.Receive(requests[0].size()), requests[0]);
    EXPECT_EQ(idleHttp.ReceiveAll(2000), "");
    EXPECT_TRUE(idleHttp.PeerClosed());
    EXPECT_EQ(Fetch(device.HttpPort(), Get("/")),
              "HTTP/1.1 200 OK\r\nContent-type: text/html\r\n\r\nok");
}

TEST(Device, ProgramRunsManyDevicesEachWithItsOwnMemory) {
    TempDir dir;
    const std::string out = dir.Path() + "/memory.bin";
    RunningDevice devices({"--count", "3", "--image-out", out});
    ASSERT_TRUE(devices.Ready()) << devices.FirstLine();
    int modbus[3] = {devices.ModbusPort()};
    int http[3] = {devices.HttpPort()};
    for (int k = 1; k < 3; ++k) {
        const std::string line = devices.ReadLine();
        ASSERT_EQ(std::sscanf(line.c_str(), "modbus 127.0.0.1:%d http 127.0.0.1:%d", &modbus[k],
                              &http[k]),
                  2)
            << line;
    }
    // A page written to the second device only.
    const std::string image = MakeImage({{"/index.htm", "<p>second"}});
    {
        LoopbackClient client(modbus[1]);
        for (const std::string& request : ImageRequests(image)) {
            client.Send(request);
            ASSERT_EQ(client.Receive(request.size()), request);
        }
    }
    ASSERT_EQ(devices.ReadLine(), "image " + out + ".1");
    EXPECT_NE(Fetch(http[1], Get("/")).find("<p>second"), std::string::npos);
    EXPECT_EQ(Fetch(http[0], Get("/")), HttpErrorResponse(404));
    EXPECT_EQ(Fetch(http[2], Get("/")), HttpErrorResponse(404));
    EXPECT_EQ(test::ReadAll(out + ".1").substr(0, image.size()), image);
}

TEST(Device, ProgramIdentifiesEveryDeviceAlikeWithinItsUnitRules) {
    RunningDevice devices({"--count", "2", "--vendor", "ACME", "--model-name", "M-5", "--unit", "7",
                           "--unit-missing", "exception"});
    ASSERT_TRUE(devices.Ready()) << devices.FirstLine();
    int second = 0;
    const std::string line = devices.ReadLine();
    ASSERT_EQ(std::sscanf(line.c_str(), "modbus 127.0.0.1:%d", &second), 1) << line;
    // The revision is the version the program reports.
    const std::string version = test::RunProgram({kDevice, "--version"}).out;
    ASSERT_EQ(version.rfind("kelvarin-device ", 0), 0u);
    const std::vector<modbus::IdentityObject> objects = {
        {modbus::kVendorName, "ACME"},
        {modbus::kProductCode, "kelvarin-device"},
        {modbus::kMajorMinorRevision, version.substr(16, version.find('\n') - 16)},
        {modbus::kModelName, "M-5"}};
    const std::string expected = modbus::EncodeIdentityReply(1, 7, 2, 0x82, objects);
    for (int port : {devices.ModbusPort(), second}) {
        LoopbackClient client(port);
        client.Send(IdentifyRequest(1, 2, 0, 7));
        EXPECT_EQ(client.Receive(expected.size()), expected) << port;
        // Another unit: exception 0B, as for any function.
        client.Send(IdentifyRequest(2, 1, 0, 8));
        EXPECT_EQ(client.Receive(9), Bytes({0, 2, 0, 0, 0, 3, 8, 0xAB, 0x0B})) << port;
    }

    // Options that cannot be: a text no reply holds, an identity and none.
    EXPECT_EQ(test::RunProgram({kDevice, "--product", std::string(245, 'p')}).exitCode, 2);
    EXPECT_EQ(test::RunProgram({kDevice, "--no-identity", "--model-name", "M"}).exitCode, 2);
}

TEST(Device, ProgramLimitsConnectionsPerPort) {
    RunningDevice device({});
    ASSERT_TRUE(device.Ready());
    std::vector<std::unique_ptr<LoopbackClient>> clients;
    for (int i = 0; i < 64; ++i) {
        clients.push_back(std::make_unique<LoopbackClient>(device.ModbusPort()));
    }
    LoopbackClient extra(device.ModbusPort());
    EXPECT_EQ(extra.ReceiveAll(2000), "");
    EXPECT_TRUE(extra.PeerClosed());

    std::string request = WriteRequest(5, 16, 0, "ok");
    clients.back()->Send(request);
    EXPECT_EQ(clients.back()->Receive(request.size()), request);
    // The HTTP port has its own count.
    EXPECT_EQ(Fetch(device.HttpPort(), Get("/")).substr(0, 12), "HTTP/1.1 404");
}

TEST(Device, ProgramDropsIdleModbusClientsSoTheyCannotLockAPort) {
    RunningDevice device({"--modbus-timeout", "300"});
    ASSERT_TRUE(device.Ready());
    const std::string request = WriteRequest(5, 16, 0, "ok");
    std::vector<std::unique_ptr<LoopbackClient>> idle;
    for (int i = 0; i < 64; ++i) {
        idle.push_back(std::make_unique<LoopbackClient>(device.ModbusPort()));
    }
    LoopbackClient refused(device.ModbusPort());  // the 65th, while the idle ones hold on
    EXPECT_EQ(refused.ReceiveAll(200), "");
    EXPECT_TRUE(refused.PeerClosed());
    for (auto& client : idle) {
        EXPECT_EQ(client->ReceiveAll(2000), "");  // dropped after 300 ms of silence
        EXPECT_TRUE(client->PeerClosed());
    }
    // Then the port takes clients again; one that keeps asking is never idle,
    // however long it stays.
    LoopbackClient active(device.ModbusPort());
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(active.Send(request));
        EXPECT_EQ(active.Receive(request.size()), request) << i;
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
    }
    EXPECT_FALSE(active.PeerClosed());

    // A reply the device itself delays is no idleness of the client's.
    RunningDevice slow({"--modbus-timeout", "100", "--fault", "delay=400"});
    LoopbackClient waiting(slow.ModbusPort());
    waiting.Send(request);
    EXPECT_EQ(waiting.Receive(request.size(), 2000), request);
}

TEST(Device, ProgramStartsStopsAndFailsCleanly) {
    RunningDevice device({});
    ASSERT_TRUE(device.Ready()) << device.FirstLine();
    EXPECT_EQ(device.FirstLine(), "modbus 127.0.0.1:" + std::to_string(device.ModbusPort()) +
                                      " http 127.0.0.1:" + std::to_string(device.HttpPort()));

    // The Modbus port is taken: the second device says so and exits 1.
    test::RunResult taken = test::RunProgram(
        {kDevice, "--modbus-port", std::to_string(device.ModbusPort()), "--http-port", "0"});
    EXPECT_EQ(taken.exitCode, 1);
    EXPECT_NE(taken.err.find("无法在modbus端口127.0.0.1:"), std::string::npos) << taken.err;
    EXPECT_EQ(taken.out, "");
    EXPECT_EQ(device.Process().Stop(SIGTERM), 0);

    RunningDevice interrupted({});
    ASSERT_TRUE(interrupted.Ready());
    EXPECT_EQ(interrupted.Process().Stop(SIGINT), 0);

    EXPECT_EQ(test::RunProgram({kDevice, "--fault", "late=0"}).exitCode, 2);
    // --bind takes four decimal fields, a leading zero meaning nothing.
    for (const char* bad : {"localhost", "127.1", "0x7f.0.0.1", "127.0.0.256"}) {
        test::RunResult refused = test::RunProgram({kDevice, "--bind", bad});
        EXPECT_EQ(refused.exitCode, 2) << bad;
        EXPECT_NE(refused.err.find(std::string(bad) + " is not an IPv4 address"), std::string::npos)
            << refused.err;
    }
    RunningDevice padded({"--bind", "127.000.000.010"});
    EXPECT_EQ(padded.FirstLine().rfind("modbus 127.0.0.10:", 0), 0u) << padded.FirstLine();
    test::RunResult version = test::RunProgram({kDevice, "--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out.rfind("kelvarin-device 1.", 0), 0u);
}

}  // namespace
}  // namespace kelvarin::device

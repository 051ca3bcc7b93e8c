// Read Device Identification frames (function 43, MEI type 14): requests and
// replies as another Modbus stack lays them out byte for byte, replies split
// over several frames, and replies that lie about their lengths (any bytes at
// all: fuzz/identity_fuzz.cpp).
#include "modbus_frame.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace kelvarin::modbus {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes FromHex(std::string_view hex) {
    Bytes bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes.push_back(
            static_cast<std::uint8_t>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
    }
    return bytes;
}

Bytes FromString(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

IdentityReply Decode(const Bytes& reply, std::uint16_t transaction = 1) {
    return DecodeIdentityReply(reply, transaction);
}

const std::vector<IdentityObject> kBasic = {
    {kVendorName, "Kelvarin"}, {kProductCode, "kelvarin-device"}, {kMajorMinorRevision, "1.0.0"}};

// The frames below are what pymodbus 3.0's ModbusSocketFramer builds for its
// ReadDeviceInformationRequest and ReadDeviceInformationResponse.
TEST(Identity, RequestAndReplyAreLaidOutAsPymodbusLaysThemOut) {
    Bytes request(kIdentityRequestSize);
    ASSERT_EQ(EncodeIdentityRequest(request.data(), {kReadRegular, kVendorUrl}, 0x1234, 7),
              kIdentityRequestSize);
    EXPECT_EQ(request, FromHex("123400000005072b0e0203"));
    const ParsedIdentityRequest parsed = ParseIdentityRequest(request);
    EXPECT_EQ(parsed.status, IdentityRequestStatus::kSound);
    EXPECT_EQ(parsed.request.readCode, kReadRegular);
    EXPECT_EQ(parsed.request.objectId, kVendorUrl);
    for (std::uint8_t code : {0, 5, 0xFF}) {
        EXPECT_EQ(EncodeIdentityRequest(request.data(), {code, 0}, 1), 0u) << int{code};
    }

    const std::string reply = EncodeIdentityReply(0x1234, 7, kReadBasic, 0x81, kBasic);
    EXPECT_EQ(FromString(reply),
              FromHex("12340000002a072b0e018100000300084b656c766172696e010f6b656c766172696e2d6465"
                      "766963650205312e302e30"));
    const IdentityReply decoded = Decode(FromString(reply), 0x1234);
    ASSERT_EQ(decoded.status, IdentityReplyStatus::kObjects);
    EXPECT_EQ(decoded.unit, 7);
    EXPECT_EQ(decoded.readCode, kReadBasic);
    EXPECT_EQ(decoded.conformity, 0x81);
    EXPECT_FALSE(decoded.moreFollows);
    EXPECT_EQ(decoded.objects, kBasic);

    // An exception reply to it: function 0xAB and the code.
    const IdentityReply exception = Decode(FromHex("00010000000300ab02"));
    EXPECT_EQ(exception.status, IdentityReplyStatus::kException);
    EXPECT_EQ(exception.exceptionCode, 2);
}

TEST(Identity, RequestsThatAreNotSoundSayWhy) {
    Bytes good(kIdentityRequestSize);
    EncodeIdentityRequest(good.data(), {kReadOneObject, kModelName}, 9);
    auto with = [&good](std::size_t at, std::uint8_t value) {
        Bytes frame = good;
        frame[at] = value;
        return frame;
    };
    Bytes longer = good;
    longer.push_back(0);
    longer[kLengthAt + 1] = 6;
    const Bytes noMei = FromHex("000900000002002b");
    const struct {
        const char* name;
        Bytes frame;
        IdentityRequestStatus status;
    } cases[] = {
        {"read file record", with(kFunctionAt, kReadFileRecord), IdentityRequestStatus::kOtherMei},
        {"CANopen MEI type 13", with(kMeiTypeAt, 0x0D), IdentityRequestStatus::kOtherMei},
        {"no MEI type", noMei, IdentityRequestStatus::kBadLength},
        {"a byte more", longer, IdentityRequestStatus::kBadLength},
        {"a byte short", Bytes(good.begin(), good.end() - 1), IdentityRequestStatus::kBadLength},
        {"MBAP length 6 on 11 bytes", with(kLengthAt + 1, 6), IdentityRequestStatus::kBadLength},
        {"read code 0", with(kReadCodeAt, 0), IdentityRequestStatus::kBadReadCode},
        {"read code 5", with(kReadCodeAt, 5), IdentityRequestStatus::kBadReadCode},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ParseIdentityRequest(c.frame).status, c.status) << c.name;
    }
}

TEST(Identity, ObjectsThatDoNotFitOneReplyFollowInTheNext) {
    // 246 object bytes fill a 260-byte frame (pymodbus splits at the same
    // place); one byte more and the second object waits for the next reply.
    const std::vector<IdentityObject> full = {
        {0, std::string(200, 'a')}, {1, std::string(42, 'b')}, {2, "c"}};
    const std::string first = EncodeIdentityReply(1, 0, kReadRegular, 0x82, full);
    ASSERT_EQ(first.size(), 260u);
    EXPECT_EQ(FromString(first.substr(0, 14)), FromHex("0001000000fe002b0e0282ff0202"));
    IdentityReply reply = Decode(FromString(first));
    ASSERT_EQ(reply.status, IdentityReplyStatus::kObjects);
    EXPECT_TRUE(reply.moreFollows);
    EXPECT_EQ(reply.nextObjectId, 2);
    EXPECT_EQ(reply.objects, std::vector<IdentityObject>(full.begin(), full.begin() + 2));

    std::vector<IdentityObject> over = full;
    over[1].value += 'b';
    const std::string cut = EncodeIdentityReply(1, 0, kReadRegular, 0x82, over);
    EXPECT_EQ(FromString(cut.substr(0, 14)), FromHex("0001000000d2002b0e0282ff0101"));
    EXPECT_EQ(Decode(FromString(cut)).objects.size(), 1u);

    // Seven objects of the longest value: one a reply, each reply naming the
    // next, the last saying no more; asked for again and again from the next
    // object id, every object comes back whole.
    std::vector<IdentityObject> longest;
    for (std::uint8_t id = 0; id <= kLastRegularObject; ++id) {
        longest.push_back({id, std::string(kMaxObjectValue, static_cast<char>('A' + id))});
    }
    std::vector<IdentityObject> gathered;
    std::size_t from = 0;
    for (int replies = 0; replies < 10 && from < longest.size(); ++replies) {
        const std::string frame = EncodeIdentityReply(
            1, 0, kReadRegular, 0x82, std::span<const IdentityObject>(longest).subspan(from));
        ASSERT_EQ(frame.size(), 260u);
        reply = Decode(FromString(frame));
        ASSERT_EQ(reply.status, IdentityReplyStatus::kObjects);
        gathered.insert(gathered.end(), reply.objects.begin(), reply.objects.end());
        from += reply.objects.size();
        EXPECT_EQ(reply.moreFollows, from < longest.size());
        EXPECT_EQ(reply.nextObjectId, reply.moreFollows ? from : 0u);
    }
    EXPECT_EQ(gathered, longest);

    // Nothing to send is a reply of no objects; a value no reply holds is none.
    reply = Decode(FromString(EncodeIdentityReply(1, 0, kReadRegular, 0x82, {})));
    EXPECT_EQ(reply.status, IdentityReplyStatus::kObjects);
    EXPECT_TRUE(reply.objects.empty());
    const std::vector<IdentityObject> tooLong = {{0, std::string(kMaxObjectValue + 1, 'x')}};
    EXPECT_EQ(EncodeIdentityReply(1, 0, kReadOneObject, 0x82, tooLong), "");
}

TEST(Identity, RepliesThatLieAreMalformed) {
    const Bytes good = FromString(EncodeIdentityReply(1, 0, kReadBasic, 0x81, kBasic));
    ASSERT_EQ(Decode(good).status, IdentityReplyStatus::kObjects);
    auto with = [&good](std::size_t at, std::uint8_t value) {
        Bytes frame = good;
        frame[at] = value;
        return frame;
    };
    // Keeps the MBAP length true to the size, so only the PDU lies.
    auto sized = [](Bytes frame) {
        frame[kLengthAt] = static_cast<std::uint8_t>((frame.size() - kMbapPrefix) >> 8);
        frame[kLengthAt + 1] = static_cast<std::uint8_t>(frame.size() - kMbapPrefix);
        return frame;
    };
    const std::size_t firstLength = kObjectsAt + 1;
    Bytes trailing = good;
    trailing.push_back(0);
    Bytes oneObjectMore = good;
    oneObjectMore.insert(oneObjectMore.end(), {3, 1, 'x'});
    const Bytes head(good.begin(), good.begin() + kObjectsAt);
    Bytes moreOfNothing = with(kMoreFollowsAt, kMoreFollows);
    moreOfNothing = sized(Bytes(moreOfNothing.begin(), moreOfNothing.begin() + kObjectsAt));
    moreOfNothing[kObjectCountAt] = 0;
    Bytes nextGoesBack = with(kMoreFollowsAt, kMoreFollows);
    nextGoesBack[kNextObjectIdAt] = kMajorMinorRevision;  // the last object sent is 2
    const struct {
        const char* name;
        Bytes frame;
    } cases[] = {
        {"another transaction", with(kTransactionAt + 1, 2)},
        {"protocol id 1", with(kProtocolAt + 1, 1)},
        {"cut short", Bytes(good.begin(), good.end() - 1)},
        {"MBAP length a byte long", with(kLengthAt + 1, good[kLengthAt + 1] + 1)},
        {"MBAP length a byte short", with(kLengthAt + 1, good[kLengthAt + 1] - 1)},
        {"read file record", with(kFunctionAt, kReadFileRecord)},
        {"MEI type 13", with(kMeiTypeAt, 0x0D)},
        {"head alone, cut before the object count", sized(Bytes(head.begin(), head.end() - 1))},
        {"object length past the end", with(firstLength, 0xFF)},
        {"object length a byte short", with(firstLength, good[firstLength] - 1)},
        {"count of four, three objects", with(kObjectCountAt, 4)},
        {"count of two, three objects", with(kObjectCountAt, 2)},
        {"count of 255", with(kObjectCountAt, 0xFF)},
        {"a byte after the objects", sized(trailing)},
        {"an object the count leaves out", sized(oneObjectMore)},
        {"more follows 0x01", with(kMoreFollowsAt, 1)},
        {"more follows, no object", moreOfNothing},
        {"more follows from an object already sent", nextGoesBack},
        {"exception of function 20", FromHex("000100000003009402")},
        {"exception a byte long", FromHex("00010000000400ab0200")},
        {"empty", {}},
    };
    for (const auto& c : cases) {
        const IdentityReply reply = Decode(c.frame);
        EXPECT_EQ(reply.status, IdentityReplyStatus::kMalformed) << c.name;
        EXPECT_TRUE(reply.objects.empty()) << c.name;
    }
    // The same with sound lengths is taken: more follows naming object 3.
    Bytes more = with(kMoreFollowsAt, kMoreFollows);
    more[kNextObjectIdAt] = kVendorUrl;
    EXPECT_EQ(Decode(more).status, IdentityReplyStatus::kObjects);
}

}  // namespace
}  // namespace kelvarin::modbus

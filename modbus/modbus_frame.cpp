// Framing, encoders and decoders of the Modbus/TCP frames.
#include "modbus_frame.h"

#include "byte_order.h"

#include <cstring>
#include <utility>

namespace kelvarin::modbus {

FrameScan ScanFrame(std::span<const std::uint8_t> input) {
    if (input.size() >= kLengthAt && LoadBE16(input.data() + kProtocolAt) != 0) {
        return {FrameStatus::kNotModbus, 0};
    }
    if (input.size() < kMbapPrefix) {
        return {FrameStatus::kNeedMore, 0};
    }
    const std::size_t length = LoadBE16(input.data() + kLengthAt);
    if (length < kMinMbapLength || length > kMaxMbapLength) {
        return {FrameStatus::kNotModbus, 0};
    }
    if (input.size() < kMbapPrefix + length) {
        return {FrameStatus::kNeedMore, 0};
    }
    return {FrameStatus::kFrame, kMbapPrefix + length};
}

FrameScan ScanFrame(std::string_view input) {
    return ScanFrame(std::span<const std::uint8_t>(
        reinterpret_cast<const std::uint8_t*>(input.data()), input.size()));
}

std::size_t EncodeWriteFileRecord(std::uint8_t* frame, FilePosition position,
                                  const std::uint8_t* data, std::size_t n,
                                  std::uint16_t transaction, std::uint8_t unit) {
    if (n % 2 != 0 || n > kMaxChunkBytes) {
        return 0;
    }
    std::memset(frame, 0, kRecordDataAt);
    StoreBE16(frame + kTransactionAt, transaction);
    frame[kUnitAt] = unit;
    StoreBE16(frame + kLengthAt, static_cast<std::uint16_t>(kRecordDataAt + n - kMbapPrefix));
    frame[kFunctionAt] = kWriteFileRecord;
    frame[kDataLengthAt] = static_cast<std::uint8_t>(kSubRequestHeader + n);
    frame[kReferenceTypeAt] = kFileReferenceType;
    StoreBE16(frame + kFileNumberAt, position.file);
    StoreBE16(frame + kRecordNumberAt, position.record);
    StoreBE16(frame + kRecordLengthAt, static_cast<std::uint16_t>(n / 2));
    std::memcpy(frame + kRecordDataAt, data, n);
    return kRecordDataAt + n;
}

std::uint16_t TransactionOf(const std::uint8_t* frame) {
    return LoadBE16(frame + kTransactionAt);
}

bool IsException(const std::uint8_t* frame, std::size_t size, std::uint8_t code) {
    return size == kExceptionReplySize && (frame[kFunctionAt] & kExceptionBit) != 0 &&
           frame[kFunctionAt + 1] == code;
}

std::uint8_t ExceptionCodeOf(const std::uint8_t* frame, std::size_t size) {
    return size == kExceptionReplySize && (frame[kFunctionAt] & kExceptionBit) != 0
               ? frame[kFunctionAt + 1]
               : 0;
}

FilePosition RequestPosition(const std::uint8_t* frame) {
    return {LoadBE16(frame + kFileNumberAt), LoadBE16(frame + kRecordNumberAt)};
}

bool IsWriteFileRecord(const std::uint8_t* frame, std::size_t size) {
    return size >= kRecordDataAt && frame[kFunctionAt] == kWriteFileRecord &&
           frame[kReferenceTypeAt] == kFileReferenceType &&
           frame[kDataLengthAt] + kDataLengthAt + 1 == size &&
           LoadBE16(frame + kLengthAt) + kMbapPrefix == size &&
           kRecordDataAt + 2 * std::size_t{LoadBE16(frame + kRecordLengthAt)} == size;
}

std::size_t EncodeReadFileRecord(std::uint8_t* frame, std::span<const ReadPiece> pieces,
                                 std::uint16_t transaction, std::uint8_t unit) {
    if (pieces.empty() || pieces.size() > kMaxReadSubRequests) {
        return 0;
    }
    const std::size_t byteCount = pieces.size() * kReadSubRequestSize;
    const std::size_t size = kSubRequestsAt + byteCount;
    std::memset(frame, 0, kSubRequestsAt);
    StoreBE16(frame + kTransactionAt, transaction);
    StoreBE16(frame + kLengthAt, static_cast<std::uint16_t>(size - kMbapPrefix));
    frame[kUnitAt] = unit;
    frame[kFunctionAt] = kReadFileRecord;
    frame[kByteCountAt] = static_cast<std::uint8_t>(byteCount);
    std::uint8_t* at = frame + kSubRequestsAt;
    for (const ReadPiece& piece : pieces) {
        at[0] = kFileReferenceType;
        StoreBE16(at + 1, piece.position.file);
        StoreBE16(at + 3, piece.position.record);
        StoreBE16(at + 5, piece.words);
        at += kReadSubRequestSize;
    }
    return size;
}

ReadReply DecodeReadReply(std::span<const std::uint8_t> reply, std::span<const ReadPiece> pieces,
                          std::uint16_t transaction, std::uint8_t* out) {
    ReadReply result;
    const FrameScan scan = ScanFrame(reply);
    if (scan.status != FrameStatus::kFrame || scan.size != reply.size() ||
        reply.size() <= kFunctionAt || LoadBE16(reply.data() + kTransactionAt) != transaction) {
        return result;
    }
    const std::uint8_t function = reply[kFunctionAt];
    if (function == (kReadFileRecord | kExceptionBit) && reply.size() == kExceptionReplySize) {
        result.status = ReadReplyStatus::kException;
        result.exceptionCode = reply[kFunctionAt + 1];
        return result;
    }
    if (function != kReadFileRecord || reply.size() <= kResponseLengthAt ||
        reply[kResponseLengthAt] + kResponseDataAt != reply.size()) {
        return result;
    }
    // Each sub-response must be exactly the piece asked for.
    std::size_t at = kResponseDataAt;
    for (const ReadPiece& piece : pieces) {
        const std::size_t bytes = 2 * std::size_t{piece.words};
        if (at + kSubResponseHeader + bytes > reply.size() || reply[at] != 1 + bytes ||
            reply[at + 1] != kFileReferenceType) {
            return result;
        }
        std::memcpy(out, reply.data() + at + kSubResponseHeader, bytes);
        out += bytes;
        at += kSubResponseHeader + bytes;
    }
    if (at != reply.size()) {
        return result;
    }
    result.status = ReadReplyStatus::kData;
    return result;
}

std::string ExceptionReply(std::string_view frame, std::uint8_t code) {
    if (frame.size() < kFunctionAt + 1) {
        return {};
    }
    std::string reply(kExceptionReplySize, '\0');
    reply[kTransactionAt] = frame[kTransactionAt];
    reply[kTransactionAt + 1] = frame[kTransactionAt + 1];
    reply[kLengthAt + 1] = 3;
    reply[kUnitAt] = frame[kUnitAt];
    reply[kFunctionAt] =
        static_cast<char>(static_cast<std::uint8_t>(frame[kFunctionAt]) | kExceptionBit);
    reply[kFunctionAt + 1] = static_cast<char>(code);
    return reply;
}

std::size_t EncodeIdentityRequest(std::uint8_t* frame, IdentityRequest request,
                                  std::uint16_t transaction, std::uint8_t unit) {
    if (request.readCode < kReadBasic || request.readCode > kReadOneObject) {
        return 0;
    }
    StoreBE16(frame + kTransactionAt, transaction);
    StoreBE16(frame + kProtocolAt, 0);
    StoreBE16(frame + kLengthAt, static_cast<std::uint16_t>(kIdentityRequestSize - kMbapPrefix));
    frame[kUnitAt] = unit;
    frame[kFunctionAt] = kEncapsulatedInterface;
    frame[kMeiTypeAt] = kReadDeviceIdentification;
    frame[kReadCodeAt] = request.readCode;
    frame[kObjectIdAt] = request.objectId;
    return kIdentityRequestSize;
}

ParsedIdentityRequest ParseIdentityRequest(std::span<const std::uint8_t> frame) {
    ParsedIdentityRequest result;
    if (frame.size() <= kFunctionAt) {
        return result;
    }
    if (frame[kFunctionAt] != kEncapsulatedInterface) {
        result.status = IdentityRequestStatus::kOtherMei;
        return result;
    }
    if (frame.size() <= kMeiTypeAt) {
        return result;
    }
    if (frame[kMeiTypeAt] != kReadDeviceIdentification) {
        result.status = IdentityRequestStatus::kOtherMei;
        return result;
    }
    if (frame.size() != kIdentityRequestSize ||
        LoadBE16(frame.data() + kLengthAt) + kMbapPrefix != kIdentityRequestSize) {
        return result;
    }
    const std::uint8_t readCode = frame[kReadCodeAt];
    if (readCode < kReadBasic || readCode > kReadOneObject) {
        result.status = IdentityRequestStatus::kBadReadCode;
        return result;
    }
    result.status = IdentityRequestStatus::kSound;
    result.request = {readCode, frame[kObjectIdAt]};
    return result;
}

ParsedIdentityRequest ParseIdentityRequest(std::string_view frame) {
    return ParseIdentityRequest(std::span<const std::uint8_t>(
        reinterpret_cast<const std::uint8_t*>(frame.data()), frame.size()));
}

std::string EncodeIdentityReply(std::uint16_t transaction, std::uint8_t unit, std::uint8_t readCode,
                                std::uint8_t conformity, std::span<const IdentityObject> objects) {
    // As many objects as fit, in order; the first one left is asked for next.
    std::size_t fitting = 0;
    std::size_t objectBytes = 0;
    while (fitting < objects.size() &&
           objectBytes + kObjectHeader + objects[fitting].value.size() <= kMaxObjectBytes) {
        objectBytes += kObjectHeader + objects[fitting].value.size();
        ++fitting;
    }
    if (fitting == 0 && !objects.empty()) {
        return {};
    }
    const bool more = fitting < objects.size();
    std::string reply(kObjectsAt, '\0');
    auto* head = reinterpret_cast<std::uint8_t*>(reply.data());
    StoreBE16(head + kTransactionAt, transaction);
    StoreBE16(head + kLengthAt, static_cast<std::uint16_t>(kObjectsAt + objectBytes - kMbapPrefix));
    head[kUnitAt] = unit;
    head[kFunctionAt] = kEncapsulatedInterface;
    head[kMeiTypeAt] = kReadDeviceIdentification;
    head[kReadCodeAt] = readCode;
    head[kConformityAt] = conformity;
    head[kMoreFollowsAt] = more ? kMoreFollows : kNoMoreFollows;
    head[kNextObjectIdAt] = more ? objects[fitting].id : 0;
    head[kObjectCountAt] = static_cast<std::uint8_t>(fitting);
    for (std::size_t i = 0; i < fitting; ++i) {
        reply += static_cast<char>(objects[i].id);
        reply += static_cast<char>(objects[i].value.size());
        reply += objects[i].value;
    }
    return reply;
}

IdentityReply DecodeIdentityReply(std::span<const std::uint8_t> reply, std::uint16_t transaction) {
    IdentityReply result;
    const FrameScan scan = ScanFrame(reply);
    if (scan.status != FrameStatus::kFrame || scan.size != reply.size() ||
        reply.size() <= kFunctionAt || LoadBE16(reply.data() + kTransactionAt) != transaction) {
        return result;
    }
    result.unit = reply[kUnitAt];
    const std::uint8_t function = reply[kFunctionAt];
    if (function == (kEncapsulatedInterface | kExceptionBit) &&
        reply.size() == kExceptionReplySize) {
        result.status = IdentityReplyStatus::kException;
        result.exceptionCode = reply[kFunctionAt + 1];
        return result;
    }
    if (function != kEncapsulatedInterface || reply.size() < kObjectsAt ||
        reply[kMeiTypeAt] != kReadDeviceIdentification) {
        return result;
    }
    const std::uint8_t moreFollows = reply[kMoreFollowsAt];
    if (moreFollows != kNoMoreFollows && moreFollows != kMoreFollows) {
        return result;
    }
    // Each object's length must stay within the frame, and the count must
    // end exactly at its end.
    std::vector<IdentityObject> objects;
    std::size_t at = kObjectsAt;
    for (std::size_t n = reply[kObjectCountAt]; n > 0; --n) {
        if (at + kObjectHeader > reply.size() ||
            at + kObjectHeader + reply[at + 1] > reply.size()) {
            return result;
        }
        const std::size_t length = reply[at + 1];
        objects.push_back({reply[at], std::string(reinterpret_cast<const char*>(reply.data()) + at +
                                                      kObjectHeader,
                                                  length)});
        at += kObjectHeader + length;
    }
    if (at != reply.size()) {
        return result;
    }
    const bool more = moreFollows == kMoreFollows;
    const std::uint8_t next = reply[kNextObjectIdAt];
    if (more && (objects.empty() || next <= objects.back().id)) {
        return result;  // no progress: asking again from next could go on for ever
    }
    result.status = IdentityReplyStatus::kObjects;
    result.readCode = reply[kReadCodeAt];
    result.conformity = reply[kConformityAt];
    result.moreFollows = more;
    result.nextObjectId = next;
    result.objects = std::move(objects);
    return result;
}

}  // namespace kelvarin::modbus

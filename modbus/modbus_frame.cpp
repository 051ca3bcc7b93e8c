// Framing, encoders and decoders of the Modbus/TCP frames.
#include "modbus_frame.h"

#include "byte_order.h"

#include <cstring>

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
                                  const std::uint8_t* data, std::size_t n) {
    if (n % 2 != 0 || n > kChunkBytes) {
        return 0;
    }
    std::memset(frame, 0, kRecordDataAt);
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

}  // namespace kelvarin::modbus

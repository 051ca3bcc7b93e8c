// Modbus/TCP framing and the Write File Record handler.
#include "device_modbus.h"

namespace kelvarin::device {

namespace {

std::uint16_t LoadBE16(std::string_view bytes, std::size_t at) {
    return static_cast<std::uint16_t>((static_cast<std::uint8_t>(bytes[at]) << 8) |
                                      static_cast<std::uint8_t>(bytes[at + 1]));
}

// Offsets of the request fields, from the start of the frame.
constexpr std::size_t kUnitAt = 6;
constexpr std::size_t kFunctionAt = 7;
constexpr std::size_t kDataLengthAt = 8;
constexpr std::size_t kReferenceTypeAt = 9;
constexpr std::size_t kFileAt = 10;
constexpr std::size_t kRecordAt = 12;
constexpr std::size_t kRecordLengthAt = 14;
constexpr std::size_t kRecordDataAt = 16;

}  // namespace

FrameScan ScanModbusFrame(std::string_view input) {
    // Reject a foreign protocol as soon as its bytes are in, so a client that
    // sends a few bytes of something else is not kept waiting for more.
    if (input.size() >= 4 && LoadBE16(input, 2) != 0) {
        return {FrameStatus::kNotModbus, 0};
    }
    if (input.size() < kMbapSize) {
        return {FrameStatus::kNeedMore, 0};
    }
    std::size_t length = LoadBE16(input, 4);
    if (length < kMinMbapLength || length > kMaxMbapLength) {
        return {FrameStatus::kNotModbus, 0};
    }
    if (input.size() < kMbapSize + length) {
        return {FrameStatus::kNeedMore, 0};
    }
    return {FrameStatus::kFrame, kMbapSize + length};
}

std::string ModbusExceptionReply(std::string_view frame, ModbusException code) {
    if (frame.size() < kFunctionAt + 1) {
        return {};
    }
    std::string reply(9, '\0');
    reply[0] = frame[0];
    reply[1] = frame[1];
    reply[5] = 3;
    reply[6] = frame[kUnitAt];
    reply[7] = static_cast<char>(static_cast<std::uint8_t>(frame[kFunctionAt]) | 0x80);
    reply[8] = static_cast<char>(code);
    return reply;
}

ModbusResult HandleModbusFrame(DeviceMemory& memory, std::string_view frame) {
    ModbusResult result;
    if (frame.size() < kFunctionAt + 1) {
        return result;
    }
    FrameScan scan = ScanModbusFrame(frame);
    if (scan.status != FrameStatus::kFrame || scan.size != frame.size()) {
        return result;
    }
    auto fail = [&](ModbusException code) {
        result.reply = ModbusExceptionReply(frame, code);
        return result;
    };
    if (static_cast<std::uint8_t>(frame[kFunctionAt]) != kWriteFileRecord) {
        return fail(ModbusException::kIllegalFunction);
    }
    // Lengths first: they decide how the rest of the frame is read.
    if (frame.size() < kRecordDataAt) {
        return fail(ModbusException::kIllegalValue);
    }
    const std::size_t dataLength = static_cast<std::uint8_t>(frame[kDataLengthAt]);
    const std::size_t recordLength = LoadBE16(frame, kRecordLengthAt);
    if (dataLength != frame.size() - kDataLengthAt - 1 || dataLength > kMaxRequestDataLength ||
        recordLength == 0 || dataLength != kSubRequestHeader + 2 * recordLength) {
        // Also refuses a second sub-request: its bytes would make the request
        // data longer than the first sub-request's.
        return fail(ModbusException::kIllegalValue);
    }
    const std::uint16_t file = LoadBE16(frame, kFileAt);
    const std::size_t record = LoadBE16(frame, kRecordAt);
    if (static_cast<std::uint8_t>(frame[kReferenceTypeAt]) != kFileReferenceType ||
        file < kFirstFile || file > kLastFile || record + 2 * recordLength > kPageSize) {
        return fail(ModbusException::kIllegalAddress);
    }
    // The record number is a byte offset within the file's 64 KiB page.
    const std::size_t offset = (file - kFirstFile) * kPageSize + record;
    if (!memory.Write(offset, frame.substr(kRecordDataAt))) {
        return fail(ModbusException::kIllegalAddress);  // unreachable after the checks above
    }
    result.reply = std::string(frame);
    result.stored = true;
    return result;
}

}  // namespace kelvarin::device

// The Modbus handling of the simulated device: Write File Record (function
// 21), Read File Record (function 20) and Read Device Identification
// (function 43).
#include "device_modbus.h"

#include "byte_order.h"

namespace kelvarin::device {

namespace {

using namespace kelvarin::modbus;

std::uint16_t FieldAt(std::string_view frame, std::size_t at) {
    return LoadBE16(reinterpret_cast<const std::uint8_t*>(frame.data()) + at);
}

std::uint8_t ByteAt(std::string_view frame, std::size_t at) {
    return static_cast<std::uint8_t>(frame[at]);
}

}  // namespace

std::string ModbusExceptionReply(std::string_view frame, ModbusException code) {
    return ExceptionReply(frame, static_cast<std::uint8_t>(code));
}

namespace {

// The reply to a whole Read File Record frame.
std::string HandleRead(const DeviceMemory& memory, std::string_view frame) {
    auto fail = [&](ModbusException code) { return ModbusExceptionReply(frame, code); };
    if (frame.size() < kSubRequestsAt) {
        return fail(ModbusException::kIllegalValue);
    }
    const std::size_t byteCount = ByteAt(frame, kByteCountAt);
    if (byteCount != frame.size() - kSubRequestsAt || byteCount < kReadSubRequestSize ||
        byteCount > kMaxRequestDataLength || byteCount % kReadSubRequestSize != 0) {
        return fail(ModbusException::kIllegalValue);
    }
    std::size_t responseLength = 0;
    for (std::size_t at = kSubRequestsAt; at < frame.size(); at += kReadSubRequestSize) {
        const std::uint16_t file = FieldAt(frame, at + 1);
        const std::uint16_t record = FieldAt(frame, at + 3);
        const std::size_t words = FieldAt(frame, at + 5);
        if (words == 0) {
            return fail(ModbusException::kIllegalValue);
        }
        if (ByteAt(frame, at) != kFileReferenceType || file < kFirstImageFile ||
            file > kLastImageFile || record + 2 * words > kPageSize) {
            return fail(ModbusException::kIllegalAddress);
        }
        responseLength += kSubResponseHeader + 2 * words;
    }
    if (responseLength > kMaxRequestDataLength) {
        return fail(ModbusException::kIllegalValue);
    }
    std::string reply(frame.substr(0, kFunctionAt + 1));
    reply[kLengthAt] = 0;
    reply[kLengthAt + 1] = static_cast<char>(kResponseDataAt + responseLength - kMbapPrefix);
    reply += static_cast<char>(responseLength);
    for (std::size_t at = kSubRequestsAt; at < frame.size(); at += kReadSubRequestSize) {
        const std::size_t bytes = 2 * std::size_t{FieldAt(frame, at + 5)};
        reply += static_cast<char>(1 + bytes);
        reply += static_cast<char>(kFileReferenceType);
        reply.append(
            memory.Bytes().substr(OffsetOf(FieldAt(frame, at + 1), FieldAt(frame, at + 3)), bytes));
    }
    return reply;
}

}  // namespace

ModbusResult HandleModbusFrame(DeviceMemory& memory, std::string_view frame,
                               const DeviceIdentity& identity) {
    ModbusResult result;
    if (frame.size() < kFunctionAt + 1) {
        return result;
    }
    FrameScan scan = ScanFrame(frame);
    if (scan.status != FrameStatus::kFrame || scan.size != frame.size()) {
        return result;
    }
    auto fail = [&](ModbusException code) {
        result.reply = ModbusExceptionReply(frame, code);
        return result;
    };
    if (ByteAt(frame, kFunctionAt) == kReadFileRecord) {
        result.reply = HandleRead(memory, frame);
        return result;
    }
    if (ByteAt(frame, kFunctionAt) == kEncapsulatedInterface) {
        result.reply = HandleIdentityFrame(identity, frame);
        return result;
    }
    if (ByteAt(frame, kFunctionAt) != kWriteFileRecord) {
        return fail(ModbusException::kIllegalFunction);
    }
    // Lengths first: they decide how the rest of the frame is read.
    if (frame.size() < kRecordDataAt) {
        return fail(ModbusException::kIllegalValue);
    }
    const std::size_t dataLength = ByteAt(frame, kDataLengthAt);
    const std::size_t recordLength = FieldAt(frame, kRecordLengthAt);
    if (dataLength != frame.size() - kDataLengthAt - 1 || dataLength > kMaxWriteDataLength ||
        recordLength == 0 || dataLength != kSubRequestHeader + 2 * recordLength) {
        // Also refuses a second sub-request: its bytes would make the request
        // data longer than the first sub-request's.
        return fail(ModbusException::kIllegalValue);
    }
    const std::uint16_t file = FieldAt(frame, kFileNumberAt);
    const std::uint16_t record = FieldAt(frame, kRecordNumberAt);
    if (ByteAt(frame, kReferenceTypeAt) != kFileReferenceType || file < kFirstImageFile ||
        file > kLastImageFile || record + 2 * recordLength > kPageSize) {
        return fail(ModbusException::kIllegalAddress);
    }
    // The record number is a byte offset within the file's 64 KiB page.
    const std::size_t offset = OffsetOf(file, record);
    if (!memory.Write(offset, frame.substr(kRecordDataAt))) {
        return fail(ModbusException::kIllegalAddress);  // unreachable after the checks above
    }
    result.reply = std::string(frame);
    result.stored = true;
    result.storedOffset = offset;
    return result;
}

}  // namespace kelvarin::device

// The Write File Record handler of the simulated device.
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

ModbusResult HandleModbusFrame(DeviceMemory& memory, std::string_view frame) {
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
    if (ByteAt(frame, kFunctionAt) != kWriteFileRecord) {
        return fail(ModbusException::kIllegalFunction);
    }
    // Lengths first: they decide how the rest of the frame is read.
    if (frame.size() < kRecordDataAt) {
        return fail(ModbusException::kIllegalValue);
    }
    const std::size_t dataLength = ByteAt(frame, kDataLengthAt);
    const std::size_t recordLength = FieldAt(frame, kRecordLengthAt);
    if (dataLength != frame.size() - kDataLengthAt - 1 || dataLength > kMaxRequestDataLength ||
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
    if (!memory.Write(OffsetOf(file, record), frame.substr(kRecordDataAt))) {
        return fail(ModbusException::kIllegalAddress);  // unreachable after the checks above
    }
    result.reply = std::string(frame);
    result.stored = true;
    return result;
}

}  // namespace kelvarin::device

// Modbus/TCP on the simulated device: framing by the MBAP header and the
// Write File Record (function 21) handler that stores into the image memory.
//
// All functions here work on bytes only, with no I/O, so they can be tested
// and fuzzed directly.
#pragma once

#include "device_memory.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kelvarin::device {

// The MBAP header: transaction id, protocol id, length. The length counts the
// bytes after it, from the unit id on.
inline constexpr std::size_t kMbapSize = 6;
inline constexpr std::size_t kMinMbapLength = 2;    // unit id and function code
inline constexpr std::size_t kMaxMbapLength = 254;  // unit id and a 253-byte PDU

inline constexpr std::uint8_t kWriteFileRecord = 0x15;
inline constexpr std::uint8_t kFileReferenceType = 6;
// Request data length of a Write File Record request: one sub-request header
// (7 bytes) plus its data, at most 0xF5 as Modbus allows.
inline constexpr std::size_t kSubRequestHeader = 7;
inline constexpr std::size_t kMaxRequestDataLength = 0xF5;

// Modbus exception codes the device answers with.
enum class ModbusException : std::uint8_t {
    kIllegalFunction = 1,
    kIllegalAddress = 2,
    kIllegalValue = 3,
    kDeviceFailure = 4,
};

// How the bytes at the start of a connection's input stand.
enum class FrameStatus {
    kNeedMore,   // not yet a whole frame
    kFrame,      // a whole frame of FrameScan::size bytes
    kNotModbus,  // protocol id not 0 or MBAP length out of range: close the connection
};

// The result of ScanModbusFrame.
struct FrameScan {
    FrameStatus status = FrameStatus::kNeedMore;
    std::size_t size = 0;  // bytes of the frame, for kFrame
};

// Looks at the start of input and says whether it holds a whole frame (and
// its size), needs more bytes, or is not Modbus/TCP at all.
FrameScan ScanModbusFrame(std::string_view input);

// What handling one request frame did.
struct ModbusResult {
    std::string reply;    // the echo or an exception; empty when frame is not a frame
    bool stored = false;  // true when the request's data went into memory
};

// Handles one whole request frame (as ScanModbusFrame delimits it): a sound
// Write File Record request is stored and answered with its exact echo, any
// other with an exception reply. A frame that is not Modbus/TCP (shorter than
// 8 bytes, protocol id not 0, MBAP length out of range or not the frame's
// size) gets an empty reply and changes nothing.
ModbusResult HandleModbusFrame(DeviceMemory& memory, std::string_view frame);

// The 9-byte exception reply to frame (at least 8 bytes): its transaction and
// unit ids, length 3, its function code with bit 7 set, then code. Empty when
// frame is shorter than 8 bytes.
std::string ModbusExceptionReply(std::string_view frame, ModbusException code);

}  // namespace kelvarin::device

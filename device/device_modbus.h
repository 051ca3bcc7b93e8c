// Modbus/TCP on the simulated device: framing by the MBAP header, the Write
// File Record (function 21) handler that stores into the image memory, the
// Read File Record (function 20) handler that reads it back and Read Device
// Identification (function 43) that says what the device is.
//
// All functions here work on bytes only, with no I/O, so they can be tested
// and fuzzed directly.
#pragma once

#include "device_identity.h"
#include "device_memory.h"
#include "modbus_frame.h"
#include "web_image.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kelvarin::device {

// The last Modbus file of the image memory: files 16 and 17 hold its
// 131072 bytes.
inline constexpr std::uint16_t kLastImageFile =
    static_cast<std::uint16_t>(modbus::kFirstImageFile + modbus::kImageFiles - 1);

// Modbus exception codes the device answers with.
enum class ModbusException : std::uint8_t {
    kIllegalFunction = 1,
    kIllegalAddress = 2,
    kIllegalValue = 3,
    kDeviceFailure = 4,
    kDeviceBusy = 6,
    kGatewayNoResponse = 0x0B,  // gateway target device failed to respond
};

// What handling one request frame did.
struct ModbusResult {
    std::string reply;             // the echo, the records read or an exception;
                                   // empty when frame is not a frame
    bool stored = false;           // true when the request's data went into memory
    std::size_t storedOffset = 0;  // where in memory, when stored
};

// Handles one whole request frame (as modbus::ScanFrame delimits it): a sound
// Write File Record request is stored and answered with its exact echo; a
// sound Read File Record request (one or more sub-requests, each of reference
// type 6 in files 16 and 17, the response within 0xF5 data bytes) is answered
// with the records' bytes; function 43 is answered from identity (see
// HandleIdentityFrame); any other request gets an exception reply: 01 for
// another function, 02 for an address outside the files or a reference type
// other than 6, 03 for lengths that disagree or exceed the limits. A frame
// that is not Modbus/TCP (shorter than 8 bytes, protocol id not 0, MBAP length
// out of range or not the frame's size) gets an empty reply and changes
// nothing.
ModbusResult HandleModbusFrame(DeviceMemory& memory, std::string_view frame,
                               const DeviceIdentity& identity = DefaultIdentity());

// The 9-byte exception reply to frame (at least 8 bytes) with code; empty
// when frame is shorter than 8 bytes.
std::string ModbusExceptionReply(std::string_view frame, ModbusException code);

}  // namespace kelvarin::device

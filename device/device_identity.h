// What the simulated device says of itself: the objects it answers Read
// Device Identification (function 43, MEI type 14) with.
#pragma once

#include "modbus_frame.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kelvarin::device {

// The identification a device answers with; every device of a --count run
// shares one.
struct DeviceIdentity {
    // False for a device without function 43: it answers exception 01.
    bool answers = true;
    // In ascending id order: the basic objects 0 to 2, always, then the
    // regular objects 3 to 6 that are set; each value at most
    // modbus::kMaxObjectValue bytes.
    std::vector<modbus::IdentityObject> objects;
};

// The identification of a device started without identity options: vendor
// "Kelvarin", product code "kelvarin-device", revision kelvarin::kVersion, no
// regular object.
const DeviceIdentity& DefaultIdentity();

// The conformity level identity answers with: stream and individual access,
// regular (0x82) when it has a regular object, else basic (0x81).
std::uint8_t ConformityOf(const DeviceIdentity& identity);

// The reply to frame, a whole function 43 request (as modbus::ScanFrame
// delimits it): for read code 1 the basic objects, for 2 and 3 the basic and
// regular ones, from the object id on when the stream holds that object and
// from the first otherwise, split over several replies (more follows) when
// they do not fit one; for read code 4 the one object. Exceptions: 01 for
// another MEI type or when identity does not answer, 02 for read code 4 and
// an object the device lacks, 03 for a read code outside 1 to 4 or a frame
// of the wrong length.
std::string HandleIdentityFrame(const DeviceIdentity& identity, std::string_view frame);

}  // namespace kelvarin::device

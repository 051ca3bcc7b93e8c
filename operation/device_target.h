// One device to work on: where it is and which unit answers for it.
#pragma once

#include <string>

namespace kelvarin {

// One device: its IPv4 address, TCP port and Modbus unit identifier.
struct FleetTarget {
    std::string address;  // dotted IPv4 in its plain form ("10.0.0.1" for "010.000.000.001")
    int port = 502;
    int unit = 0;  // 0 to 255

    // "ADDRESS:PORT", or "ADDRESS:PORT/UNIT" for a unit other than 0.
    std::string Text() const;
};

}  // namespace kelvarin

// The targets file of a fleet send: one device a line.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kelvarin {

// One device of a fleet: its IPv4 address and TCP port.
struct FleetTarget {
    std::string address;  // dotted IPv4 in its plain form ("10.0.0.1" for "010.000.000.001")
    int port = 502;

    // "ADDRESS:PORT".
    std::string Text() const;
};

// The target a targets-file line names: "ADDRESS[:PORT]", the address a
// dotted IPv4 address other than 0.0.0.0 (four decimal fields; a leading zero
// means nothing), the port 1..65535 (502 when left out). Nothing for anything
// else.
std::optional<FleetTarget> ParseTarget(std::string_view text);

// Reads a targets file: one ADDRESS[:PORT] a line, "#" to the end of a line a
// comment, blank lines ignored. Nothing, with a message naming the file and
// line in *error, when the file cannot be read, holds no target, or a line is
// not a target or names one already listed (the same address and port,
// however written).
std::optional<std::vector<FleetTarget>> ReadTargets(const std::string& path, std::string* error);

}  // namespace kelvarin

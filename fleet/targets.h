// The targets file of a fleet send: one device a line.
#pragma once

#include "device_target.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kelvarin {

// The target a targets-file line names: "ADDRESS[:PORT][/UNIT]", the address
// a dotted IPv4 address other than 0.0.0.0 (four decimal fields; a leading
// zero means nothing), the port 1..65535 (502 when left out), the unit 0..255
// (unit when left out). Nothing for anything else.
std::optional<FleetTarget> ParseTarget(std::string_view text, int unit = 0);

// The most addresses one range of a scan may name.
inline constexpr std::size_t kMaxRangeAddresses = 65536;

// The addresses a scan's range names, in order: "A.B.C.D" (one), "A.B.C.D-E"
// (the last field from D to E), or "A.B.C.D/N" (a block of 2^(32-N)
// addresses, N 16 to 32; for N up to 30 without its first and last, the
// block's own network and broadcast addresses). Addresses are dotted quads
// as a target's are. Nothing, with why in *why, for anything else or a
// block of more than kMaxRangeAddresses.
std::optional<std::vector<std::uint32_t>> ParseRange(std::string_view text, std::string* why);

// What is wrong with a targets file, or with one of its lines.
enum class TargetsFault {
    kUnreadable,   // the file cannot be read
    kFarTooLarge,  // far larger than any targets file: not read
    kNoTargets,    // no line names a target
    kNotATarget,   // a line that is not ADDRESS[:PORT][/UNIT]
    kListedTwice,  // a line naming a target already listed (however written)
};

// One fault: for a line, its number and text (and, listed twice, the line
// that listed it first).
struct TargetsProblem {
    TargetsFault fault = TargetsFault::kUnreadable;
    int line = 0;
    std::string text = {};  // the line without its comment and blanks; the target listed twice
    int firstLine = 0;      // kListedTwice: where the target was listed first
};

// The most problems a targets file's reading keeps; the rest are counted.
inline constexpr int kMaxTargetsProblems = 20;

// A targets file as read: its targets, or what is wrong with it.
struct TargetsFile {
    std::vector<FleetTarget> targets;     // in the file's order
    std::vector<TargetsProblem> problems; // the first kMaxTargetsProblems, in line order
    int moreProblems = 0;                 // bad lines past those

    // True when the targets can be used: no problem at all.
    bool Ok() const { return problems.empty(); }
};

// Reads a targets file: one ADDRESS[:PORT][/UNIT] a line (unit when a line
// names none), "#" to the end of a line a comment, blank lines and a UTF-8
// byte order mark at the start ignored. Every line that is not a target or
// names one already listed (the same address, port and unit, however
// written) is a problem, up to kMaxTargetsProblems of them; so is a file that
// cannot be read or holds no target.
TargetsFile ReadTargets(const std::string& path, int unit = 0);

}  // namespace kelvarin

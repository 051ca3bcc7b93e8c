// Sending one image to a fleet of devices at once.
#pragma once

#include "download.h"
#include "link_timeouts.h"
#include "readback.h"
#include "targets.h"

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace kelvarin {

// The most devices sent to at once.
inline constexpr int kMaxFleetJobs = 1024;

// How a fleet is sent to.
struct FleetOptions {
    int jobs = 0;         // devices at once; 0 or more than the targets: all, up to kMaxFleetJobs
    bool verify = false;  // read each image back after its download succeeded
    LinkTimeouts timeouts;
};

// What became of one device.
struct TargetResult {
    FleetTarget target;
    bool connected = false;
    DownloadReport download;
    std::optional<VerifyReport> verify;
    double seconds = 0;  // from the connect to the last reply

    // Connected, every chunk echoed, and, when read back, the image held.
    bool Succeeded() const;
};

// Told of each device as it finishes, on the thread that sends.
class FleetObserver {
  public:
    virtual ~FleetObserver() = default;
    virtual void OnTargetDone(const TargetResult& result) = 0;
};

// Downloads image to every target, at most options.jobs at once, each over a
// connection of its own with its own time-outs, so a slow, silent or dead
// device holds up no other: one thread polls every connection, each device's
// download and read-back a state machine of its own, as DownloadImage and
// VerifyImage run them. image is shared, never copied. Returns the results in
// the order of targets.
std::vector<TargetResult> SendToFleet(std::span<const std::uint8_t> image,
                                      const std::vector<FleetTarget>& targets,
                                      const FleetOptions& options, FleetObserver& observer);

}  // namespace kelvarin

// Sending one image to a fleet of devices at once: many device operations
// on one poll loop.
#pragma once

#include "device_operation.h"
#include "device_report.h"
#include "link_timeouts.h"
#include "targets.h"
#include "tls.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <cstdint>
#include <memory>
#include <string>
#include <optional>
#include <span>
#include <vector>

namespace kelvarin {

// The most devices sent to at once.
inline constexpr int kMaxFleetJobs = 1024;

class WireTrace;

// How a fleet is sent to.
struct FleetOptions {
    int jobs = 0;         // devices at once; 0 or more than the targets: all, up to kMaxFleetJobs
    std::shared_ptr<tls::Context> tls;  // a client's: every device over TLS; nullptr: plain
    int canary = 0;       // the first this many targets alone first; the rest once every one succeeded
    int maxFailures = 0;  // once this many devices failed, start no further one; 0: no limit
    LinkTimeouts timeouts;  // the connect's, and every transfer's
    // What each device's operation is to do (its unit, its image, its
    // base); the plan's image must outlive the send.
    std::function<OperationPlan(const FleetTarget&)> planFor;
    std::size_t filesLeftOut = 0;  // files to be in the image that are not (no device succeeds)
    // A stop asked for (*stop true): no further device starts, connects
    // under way are given up, and each running operation stops after its
    // requests in flight. nullptr: none comes.
    const std::atomic<bool>* stop = nullptr;
};

// Told of each device of a fleet, on the thread that sends.
class FleetObserver {
  public:
    virtual ~FleetObserver() = default;
    // A device is about to be connected to: nothing has gone to it yet.
    virtual void OnTargetStart(const FleetTarget& /*target*/) {}
    // A device's operation asks for bytes to be kept (its backup): returns
    // where, or an empty text with the file and the reason in *error when
    // they could not be (the device is then not written).
    virtual std::string OnKeep(const FleetTarget& /*target*/, const KeepRequest& /*request*/,
                               std::string* /*error*/) {
        return {};
    }
    // A device ended (or, facts.started false, was never started).
    virtual void OnTargetDone(const DeviceReport& /*device*/) {}
};

// Sends to every target, at most options.jobs at once, each over a
// connection of its own with its own time-outs, so a slow, silent, chatty or
// dead device holds up no other: one thread waits on every connection, and
// steps each device's operation (device_operation.h, planned by
// options.planFor) as its connection allows, its deadlines checked on every
// turn. Each keeps only its own connection's state. With options'
// canary, the first targets go alone first and the rest start only once
// each of them succeeded; with maxFailures, no target starts once that many
// failed. Targets never started are told (started false) once every other
// ended. Returns each device's report in the order of targets.
std::vector<DeviceReport> SendToFleet(const std::vector<FleetTarget>& targets,
                                      const FleetOptions& options, FleetObserver& observer);

}  // namespace kelvarin

// The one judgement of a device and of a job.
#include "job_report.h"

#include <algorithm>

namespace kelvarin {

int JobReport::Succeeded() const {
    int succeeded = 0;
    for (const DeviceReport& device : devices) {
        succeeded += device.Succeeded() ? 1 : 0;
    }
    return succeeded;
}

JobOutcome JobReport::Outcome() const {
    if (refusal) {
        // All or nothing keeping a partial image back is a failure of the
        // files, not of the command line.
        return refusal->fault == PlanFault::kPartial ? JobOutcome::kFailed : JobOutcome::kRefused;
    }
    if (kind == JobKind::kPack) {
        return leftOut.empty() ? JobOutcome::kOk : JobOutcome::kFailed;
    }
    if (kind == JobKind::kScan) {
        // The scan ran, whatever it found; but not a single connection made
        // means nothing could be looked at.
        const bool any = std::any_of(devices.begin(), devices.end(),
                                     [](const DeviceReport& device) { return device.facts.connected; });
        if (!targetsOutError.empty()) {
            return JobOutcome::kRefused;
        }
        if (stopped) {
            return JobOutcome::kStopped;
        }
        return any ? JobOutcome::kOk : JobOutcome::kNoConnection;
    }
    if (kind == JobKind::kFleet) {
        return Succeeded() == static_cast<int>(devices.size()) && leftOut.empty()
                   ? JobOutcome::kOk
                   : JobOutcome::kFailed;
    }
    if (devices.empty()) {
        return JobOutcome::kFailed;
    }
    switch (devices.front().Outcome()) {
        case DeviceOutcome::kOk:
        case DeviceOutcome::kCurrent:
            return JobOutcome::kOk;
        case DeviceOutcome::kNoConnection:
            return JobOutcome::kNoConnection;
        case DeviceOutcome::kStopped:
            return JobOutcome::kStopped;
        case DeviceOutcome::kUnreadable:
            return JobOutcome::kUnreadable;
        case DeviceOutcome::kConnectionLost:
            // A verify that lost its connection could not read the device.
            return kind == JobKind::kVerify ? JobOutcome::kUnreadable : JobOutcome::kFailed;
        case DeviceOutcome::kBackupNotKept:
            return JobOutcome::kRefused;  // an output that cannot be written
        case DeviceOutcome::kChunksFailed:
        case DeviceOutcome::kDifferent:
        case DeviceOutcome::kNoImage:
        case DeviceOutcome::kPartial:
        case DeviceOutcome::kNotStarted:
            break;
    }
    return JobOutcome::kFailed;
}

bool JobReport::ConnectionLost() const {
    return kind != JobKind::kFleet && !devices.empty() && devices.front().ConnectionLost();
}

}  // namespace kelvarin

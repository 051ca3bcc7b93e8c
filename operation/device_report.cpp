// The one judgement of a device from the facts of its operation.
#include "device_report.h"

namespace kelvarin {

const char* DeltaFacts::ModeName() const {
    if (!onlyChanges) {
        return "full";
    }
    switch (base) {
        case Base::kTrusted:
            return "delta-trusted";
        case Base::kRead:
            return "delta";
        case Base::kNone:
            break;
    }
    return "delta-full";
}

DeviceOutcome DeviceReport::Outcome() const {
    if (!facts.started) {
        return DeviceOutcome::kNotStarted;
    }
    if (stopped) {
        return DeviceOutcome::kStopped;
    }
    if (!facts.connected || facts.tlsFailure == tls::Failure::kCertRefused) {
        return DeviceOutcome::kNoConnection;
    }
    if (facts.current) {
        return filesLeftOut > 0 ? DeviceOutcome::kPartial : DeviceOutcome::kCurrent;
    }
    if (facts.dryRun) {
        // Nothing was to be written; what was read decides.
        const bool unread = facts.delta && facts.delta->base == DeltaFacts::Base::kNone &&
                            facts.delta->fallback == DeltaFacts::Fallback::kUnreadable;
        return unread ? DeviceOutcome::kUnreadable : DeviceOutcome::kOk;
    }
    const auto lost = [](const std::optional<VerifyReport>& read) {
        return read && read->failure == Outcome::kConnectionLost;
    };
    if (!facts.downloaded && facts.pull) {
        // Read out (a pull), or read out before a write that never came (a
        // backup that kept the device from being written).
        switch (facts.pull->outcome) {
            case PullOutcome::kImage:
                return facts.backupNotKept ? DeviceOutcome::kBackupNotKept : DeviceOutcome::kOk;
            case PullOutcome::kNoImage:
                return DeviceOutcome::kNoImage;
            case PullOutcome::kStopped:
                return DeviceOutcome::kStopped;
            case PullOutcome::kUnreadable:
                break;
        }
        return DeviceOutcome::kUnreadable;
    }
    if (!facts.downloaded) {
        if (!facts.verify) {
            // A check before a download that never ran: the connection went.
            return lost(facts.precheck) ? DeviceOutcome::kConnectionLost
                                        : DeviceOutcome::kUnreadable;
        }
        // Only read back and compared (verify).
        switch (facts.verify->outcome) {
            case VerifyOutcome::kUnreadable:
                return DeviceOutcome::kUnreadable;
            case VerifyOutcome::kDifferent:
                return DeviceOutcome::kDifferent;
            case VerifyOutcome::kEqual:
                break;
        }
        return filesLeftOut > 0 ? DeviceOutcome::kPartial : DeviceOutcome::kOk;
    }
    if (facts.download.connectionLost) {
        return DeviceOutcome::kConnectionLost;
    }
    if (!facts.download.Succeeded()) {
        return DeviceOutcome::kChunksFailed;
    }
    // What a write of only what changed sent is read back: it must hold.
    if (facts.delta && facts.delta->readBack) {
        switch (facts.delta->readBack->outcome) {
            case VerifyOutcome::kDifferent:
                return DeviceOutcome::kDifferent;
            case VerifyOutcome::kUnreadable:
                return DeviceOutcome::kUnreadable;
            case VerifyOutcome::kEqual:
                break;
        }
    }
    if (facts.verify && facts.verify->outcome == VerifyOutcome::kDifferent) {
        return DeviceOutcome::kDifferent;
    }
    if (facts.verify && facts.verify->outcome == VerifyOutcome::kUnreadable) {
        return DeviceOutcome::kUnreadable;
    }
    return filesLeftOut > 0 ? DeviceOutcome::kPartial : DeviceOutcome::kOk;
}

bool DeviceReport::Succeeded() const {
    const DeviceOutcome outcome = Outcome();
    return outcome == DeviceOutcome::kOk || outcome == DeviceOutcome::kCurrent;
}

bool DeviceReport::ConnectionLost() const {
    const auto lost = [](const std::optional<VerifyReport>& read) {
        return read && read->failure == Outcome::kConnectionLost;
    };
    const bool pullLost = facts.pull && facts.pull->outcome == PullOutcome::kUnreadable &&
                          facts.pull->failure == Outcome::kConnectionLost;
    return facts.connected && (facts.download.connectionLost || lost(facts.precheck) ||
                               lost(facts.verify) || pullLost);
}

}  // namespace kelvarin

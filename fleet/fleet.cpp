// The fleet send: one thread and one wait over every device's connection,
// each device's read-back and download a transfer of its own.
#include "fleet.h"

#include "net.h"
#include "wire_trace.h"

#include <algorithm>
#include <chrono>
#include <memory>

namespace kelvarin {

namespace {

using std::chrono::milliseconds;

// One read: a whole reply at most.
constexpr std::size_t kReadPiece = kMaxFrameSize;
// Reads per device and turn: a device that floods gets this much attention
// and then waits for the next turn like every other.
constexpr int kReadsPerTurn = 4;
// Steps of one device's transfer per turn, so no device can keep the loop.
constexpr int kStepsPerTurn = 64;

// Notices of one device's transfers: counted in its result, not told line by
// line (a fleet has hundreds of devices).
class SilentObserver : public DownloadObserver {
  public:
    void OnChunk(const ChunkOutcome&) override {}
};

// Where one device stands.
enum class Phase {
    kConnecting,  // a connect (the first, or again after a loss) is under way
    kRunning,     // a transfer is being driven
    kDone,
};

// What its running transfer is.
enum class Stage { kPrecheck, kDownload, kReadBack };

// One device being sent to.
struct Job {
    std::size_t index = 0;  // in the targets
    TargetResult result;
    net::Endpoint peer;
    net::Socket socket = net::kNoSocket;
    Phase phase = Phase::kConnecting;
    bool reconnecting = false;
    TransferClock::time_point start;
    TransferClock::time_point connectDeadline;
    SilentObserver observer;
    Stage stage = Stage::kPrecheck;
    std::unique_ptr<ImageReadBack> precheck;
    std::unique_ptr<ChunkedDownload> download;
    std::unique_ptr<ImageReadBack> readBack;
    Transfer* active = nullptr;
    // A request partly sent (the socket's buffer was full).
    std::span<const std::uint8_t> sending;
    std::size_t sendingDone = 0;
    TransferClock::time_point sendDeadline;
    // What the wait watches for and when the job must be looked at anyway.
    bool wantRead = false;
    bool wantWrite = false;
    TransferClock::time_point wake = TransferClock::time_point::max();
};

class FleetRun {
  public:
    FleetRun(std::span<const std::uint8_t> image, const std::vector<FleetTarget>& targets,
             const FleetOptions& options, FleetObserver& observer)
        : m_image(image),
          m_targets(targets),
          m_options(options),
          m_observer(observer),
          m_results(targets.size()) {}

    std::vector<TargetResult> Run();

  private:
    void Start(std::size_t index);
    void Connect(Job& job, TimePoint now);
    void Service(Job& job, const net::PollEntry& entry, TimePoint now);
    void Connected(Job& job, bool ok, TimePoint now);
    // Drives job's transfer as far as it goes without waiting.
    void Advance(Job& job, TimePoint now);
    // Starts the next transfer of job, or finishes it. False when finished.
    bool NextStage(Job& job, TimePoint now);
    void ContinueSending(Job& job, TimePoint now);
    void ReadSome(Job& job, TimePoint now);
    void Finish(Job& job, TimePoint now);

    std::span<const std::uint8_t> m_image;
    const std::vector<FleetTarget>& m_targets;
    const FleetOptions& m_options;
    FleetObserver& m_observer;
    std::vector<TargetResult> m_results;
    std::vector<std::unique_ptr<Job>> m_jobs;
};

std::vector<TargetResult> FleetRun::Run() {
    net::Startup();
    const std::size_t limit = m_options.jobs > 0 ? static_cast<std::size_t>(m_options.jobs)
                                                 : static_cast<std::size_t>(kMaxFleetJobs);
    const std::size_t most = std::min(limit, static_cast<std::size_t>(kMaxFleetJobs));
    std::size_t next = 0;
    std::vector<net::PollEntry> entries;
    while (next < m_targets.size() || !m_jobs.empty()) {
        while (m_jobs.size() < most && next < m_targets.size()) {
            Start(next++);
        }
        std::erase_if(m_jobs, [](const auto& job) { return job->phase == Phase::kDone; });
        if (m_jobs.empty()) {
            continue;
        }
        TimePoint wake = TimePoint::max();
        entries.clear();
        for (const auto& job : m_jobs) {
            entries.push_back({job->socket, job->wantRead, job->wantWrite});
            wake = std::min(wake, job->wake);
        }
        // Rounded up, so the wait never ends early and spins.
        const auto wait = std::chrono::ceil<milliseconds>(wake - TransferClock::now()).count();
        net::Poll(entries, static_cast<int>(std::clamp<decltype(wait)>(wait, 0, 60000)));
        // Every device is looked at on every turn, ready or not: its
        // deadlines are checked whatever its socket did.
        const TimePoint now = TransferClock::now();
        for (std::size_t i = 0; i < m_jobs.size(); ++i) {
            Service(*m_jobs[i], entries[i], now);
        }
    }
    return std::move(m_results);
}

void FleetRun::Start(std::size_t index) {
    auto job = std::make_unique<Job>();
    job->index = index;
    job->result.target = m_targets[index];
    const TimePoint now = TransferClock::now();
    job->start = now;
    const FleetTarget& target = m_targets[index];
    const std::optional<net::Endpoint> peer = net::Resolve(target.address, target.port);
    Job& added = *m_jobs.emplace_back(std::move(job));
    if (!peer) {
        Finish(added, now);
        return;
    }
    added.peer = *peer;
    Connect(added, now);
}

void FleetRun::Connect(Job& job, TimePoint now) {
    net::Close(job.socket);
    job.socket = net::Open(false, 0);
    const net::Status started = job.socket != net::kNoSocket
                                    ? net::StartConnect(job.socket, job.peer)
                                    : net::Status::kFailed;
    job.phase = Phase::kConnecting;
    job.connectDeadline = now + milliseconds(m_options.transfer.timeouts.connectMs);
    job.wantRead = false;
    job.wantWrite = true;
    job.wake = job.connectDeadline;
    if (started == net::Status::kOk) {
        Connected(job, true, now);
    } else if (started == net::Status::kFailed) {
        Connected(job, false, now);
    }
}

void FleetRun::Connected(Job& job, bool ok, TimePoint now) {
    if (job.reconnecting) {
        job.phase = Phase::kRunning;
        job.reconnecting = false;
        job.active->Reconnected(ok, now);
        Advance(job, now);
        return;
    }
    job.result.connected = ok;
    if (!ok) {
        Finish(job, now);
        return;
    }
    job.phase = Phase::kRunning;
    if (NextStage(job, now)) {
        Advance(job, now);
    }
}

bool FleetRun::NextStage(Job& job, TimePoint now) {
    const TransferOptions& options = m_options.transfer;
    if (!job.active) {
        if (m_options.skipCurrent) {
            job.stage = Stage::kPrecheck;
            job.precheck = std::make_unique<ImageReadBack>(m_image, options, job.observer);
            job.active = &job.precheck->Driven();
        } else {
            job.stage = Stage::kDownload;
            job.download = std::make_unique<ChunkedDownload>(m_image, options, job.observer);
            job.active = &job.download->Driven();
        }
    } else if (job.stage == Stage::kPrecheck) {
        const VerifyReport found = job.precheck->Report();
        job.result.precheck = found;
        if (found.outcome == VerifyOutcome::kEqual) {
            job.result.current = true;
            Finish(job, now);
            return false;
        }
        if (job.precheck->Driven().ConnectionGivenUp()) {
            Finish(job, now);  // nothing can be sent over a connection that is gone
            return false;
        }
        job.stage = Stage::kDownload;
        job.download = std::make_unique<ChunkedDownload>(m_image, options, job.observer,
                                                         job.precheck->Driven().NextTransaction());
        job.active = &job.download->Driven();
    } else if (job.stage == Stage::kDownload && m_options.verify &&
               job.download->Report().Succeeded()) {
        job.stage = Stage::kReadBack;
        const std::uint16_t first =
            options.TransactionIds() ? job.download->Driven().NextTransaction() : 1;
        job.readBack = std::make_unique<ImageReadBack>(m_image, options, job.observer, first);
        job.active = &job.readBack->Driven();
    } else {
        Finish(job, now);
        return false;
    }
    if (m_options.trace) {
        job.active->SetTrace(m_options.trace, job.result.target.Text());
    }
    return true;
}

void FleetRun::Service(Job& job, const net::PollEntry& entry, TimePoint now) {
    switch (job.phase) {
        case Phase::kConnecting:
            if (entry.writable) {
                Connected(job, net::ConnectResult(job.socket) == net::Status::kOk, now);
            } else if (now >= job.connectDeadline) {
                Connected(job, false, now);
            }
            return;
        case Phase::kRunning:
            if (!job.sending.empty()) {
                if (entry.writable) {
                    ContinueSending(job, now);
                } else if (now >= job.sendDeadline) {
                    job.sending = {};
                    job.active->ConnectionLost(now);  // the frame could not leave whole in time
                }
            } else if (entry.readable) {
                ReadSome(job, now);
            }
            if (job.phase == Phase::kRunning && job.sending.empty()) {
                Advance(job, now);
            }
            return;
        case Phase::kDone:
            return;
    }
}

void FleetRun::ReadSome(Job& job, TimePoint now) {
    std::uint8_t buffer[kReadPiece];
    for (int i = 0; i < kReadsPerTurn; ++i) {
        const net::IoResult got = net::Receive(job.socket, buffer, sizeof buffer);
        if (got.status == net::Status::kWouldBlock) {
            return;
        }
        if (!got.Ok()) {
            job.active->ConnectionLost(now);
            return;
        }
        job.active->Received({buffer, got.count}, now);
    }
}

void FleetRun::ContinueSending(Job& job, TimePoint now) {
    const net::IoResult sent = net::Send(job.socket, job.sending.data() + job.sendingDone,
                                         job.sending.size() - job.sendingDone);
    if (sent.status == net::Status::kFailed) {
        job.sending = {};
        job.active->ConnectionLost(now);
        return;
    }
    if (sent.Ok()) {
        job.sendingDone += sent.count;
    }
    if (job.sendingDone == job.sending.size()) {
        job.sending = {};
        job.active->Sent(now);
    }
}

void FleetRun::Advance(Job& job, TimePoint now) {
    std::uint8_t buffer[kReadPiece];
    int reads = 0;
    for (int step = 0; step < kStepsPerTurn && job.phase == Phase::kRunning; ++step) {
        switch (job.active->Next(now)) {
            case Transfer::Step::kDone:
                if (!NextStage(job, now)) {
                    return;
                }
                break;
            case Transfer::Step::kDrain: {
                if (reads == kReadsPerTurn) {
                    // Still more: on the next turn, after every other device.
                    job.wantRead = true;
                    job.wantWrite = false;
                    job.wake = now;
                    return;
                }
                ++reads;
                const net::IoResult got = net::Receive(job.socket, buffer, sizeof buffer);
                if (got.Ok()) {
                    job.active->Received({buffer, got.count}, now);
                } else if (got.status == net::Status::kWouldBlock) {
                    job.active->DrainDone(now);
                } else {
                    job.active->ConnectionLost(now);
                }
                break;
            }
            case Transfer::Step::kSend:
                job.sending = job.active->Request();
                job.sendingDone = 0;
                job.sendDeadline = now + milliseconds(m_options.transfer.timeouts.sendMs);
                ContinueSending(job, now);
                if (!job.sending.empty()) {
                    job.wantRead = false;
                    job.wantWrite = true;
                    job.wake = job.sendDeadline;
                    return;
                }
                break;
            case Transfer::Step::kWait:
                job.wantRead = true;
                job.wantWrite = false;
                job.wake = job.active->WakeAt();
                return;
            case Transfer::Step::kPause:
                net::Close(job.socket);
                job.socket = net::kNoSocket;
                job.wantRead = job.wantWrite = false;
                job.wake = job.active->WakeAt();
                return;
            case Transfer::Step::kReconnect:
                job.reconnecting = true;
                Connect(job, now);
                return;
        }
    }
    // Steps left for the next turn.
    job.wantRead = true;
    job.wantWrite = false;
    job.wake = now;
}

void FleetRun::Finish(Job& job, TimePoint now) {
    net::Close(job.socket);
    job.socket = net::kNoSocket;
    job.phase = Phase::kDone;
    job.wantRead = job.wantWrite = false;
    job.wake = TimePoint::max();
    if (job.download) {
        job.result.downloaded = true;
        job.result.download = job.download->Report();
    }
    if (job.readBack) {
        job.result.verify = job.readBack->Report();
    }
    job.result.seconds = std::chrono::duration<double>(now - job.start).count();
    m_results[job.index] = job.result;
    m_observer.OnTargetDone(job.result);
}

}  // namespace

bool TargetResult::Succeeded() const {
    if (!connected) {
        return false;
    }
    if (current) {
        return true;
    }
    return downloaded && download.Succeeded() &&
           (!verify || verify->outcome == VerifyOutcome::kEqual);
}

std::vector<TargetResult> SendToFleet(std::span<const std::uint8_t> image,
                                      const std::vector<FleetTarget>& targets,
                                      const FleetOptions& options, FleetObserver& observer) {
    return FleetRun(image, targets, options, observer).Run();
}

}  // namespace kelvarin

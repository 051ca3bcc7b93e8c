// The fleet send: one thread and one poll over every device's connection,
// each device's download (and read-back) a state machine of its own.
#include "fleet.h"

#include "net.h"

#include <algorithm>
#include <chrono>
#include <memory>

namespace kelvarin {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Bytes read per readiness: one reply and then some, as the blocking
// download reads.
constexpr std::size_t kReadChunk = ReplyMatcher::kCapacity;

// Where one device's send stands.
enum class Phase {
    kConnecting,  // the connect is under way
    kSending,     // a request is partly sent
    kAwaiting,    // the request is out; its reply is awaited
    kDone,
};

// One device being sent to.
struct Job {
    std::size_t index = 0;  // in the targets
    TargetResult result;
    net::Socket socket = net::kNoSocket;
    Phase phase = Phase::kConnecting;
    Clock::time_point start;
    Clock::time_point deadline;
    std::unique_ptr<ChunkedDownload> download;
    std::unique_ptr<ImageReadBack> readBack;
    std::span<const std::uint8_t> request;  // being sent
    std::size_t requestSent = 0;
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
    void Service(Job& job, const net::PollEntry& entry, Clock::time_point now);
    // Sends the next request of job, or finishes it when there is none.
    void NextRequest(Job& job, Clock::time_point now);
    void ContinueSending(Job& job, Clock::time_point now);
    void Receive(Job& job, Clock::time_point now);
    void WaitOver(Job& job, Clock::time_point now);
    void Lost(Job& job, Clock::time_point now);
    // Drops what has arrived unasked; false when the connection is gone.
    bool DropPending(Job& job);
    void Finish(Job& job, Clock::time_point now);

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
        Clock::time_point wake = Clock::time_point::max();
        entries.clear();
        for (const auto& job : m_jobs) {
            entries.push_back(
                {job->socket, job->phase == Phase::kAwaiting, job->phase != Phase::kAwaiting});
            wake = std::min(wake, job->deadline);
        }
        // Rounded up, so the wait never ends early and spins.
        const auto wait = std::chrono::ceil<milliseconds>(wake - Clock::now()).count();
        net::Poll(entries, static_cast<int>(std::clamp<decltype(wait)>(wait, 0, 60000)));
        const Clock::time_point now = Clock::now();
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
    const Clock::time_point now = Clock::now();
    job->start = now;
    const FleetTarget& target = m_targets[index];
    const std::optional<net::Endpoint> peer = net::Resolve(target.address, target.port);
    job->socket = peer ? net::Open(false, 0) : net::kNoSocket;
    const net::ConnectStart started = job->socket != net::kNoSocket
                                          ? net::StartConnect(job->socket, *peer)
                                          : net::ConnectStart::kFailed;
    switch (started) {
        case net::ConnectStart::kConnected:
            job->result.connected = true;
            NextRequest(*job, now);
            break;
        case net::ConnectStart::kInProgress:
            job->phase = Phase::kConnecting;
            job->deadline = now + milliseconds(m_options.timeouts.connectMs);
            break;
        case net::ConnectStart::kFailed:
            Finish(*job, now);
            break;
    }
    m_jobs.push_back(std::move(job));
}

void FleetRun::Service(Job& job, const net::PollEntry& entry, Clock::time_point now) {
    switch (job.phase) {
        case Phase::kConnecting:
            if (entry.writable) {
                job.result.connected = net::ConnectSucceeded(job.socket);
                if (job.result.connected) {
                    NextRequest(job, now);
                } else {
                    Finish(job, now);
                }
            } else if (now >= job.deadline) {
                Finish(job, now);
            }
            break;
        case Phase::kSending:
            if (entry.writable) {
                ContinueSending(job, now);
            } else if (now >= job.deadline) {
                Lost(job, now);  // the frame could not leave whole in time
            }
            break;
        case Phase::kAwaiting:
            if (entry.readable) {
                Receive(job, now);
            } else if (now >= job.deadline) {
                WaitOver(job, now);
            }
            break;
        case Phase::kDone:
            break;
    }
}

bool FleetRun::DropPending(Job& job) {
    std::uint8_t buffer[kReadChunk];
    for (;;) {
        const long got = net::Receive(job.socket, buffer, sizeof buffer);
        if (got == net::kWouldBlock) {
            return true;
        }
        if (got <= 0) {
            return false;
        }
    }
}

void FleetRun::NextRequest(Job& job, Clock::time_point now) {
    if (!job.download) {
        job.download = std::make_unique<ChunkedDownload>(m_image);
    }
    bool leftovers = false;
    if (!job.download->Done()) {
        job.request = {job.download->Request().Bytes(), job.download->Request().Size()};
        leftovers = job.download->MayHaveLeftovers();
    } else if (m_options.verify && job.download->Report().Succeeded() &&
               (!job.readBack || !job.readBack->Done())) {
        if (!job.readBack) {
            job.readBack = std::make_unique<ImageReadBack>(m_image);
        }
        job.request = job.readBack->Request();
        leftovers = job.readBack->MayHaveLeftovers();
        if (job.readBack->Done()) {
            Finish(job, now);  // an empty image: nothing to read
            return;
        }
    } else {
        Finish(job, now);
        return;
    }
    if (leftovers && !DropPending(job)) {
        Lost(job, now);
        return;
    }
    job.requestSent = 0;
    job.phase = Phase::kSending;
    job.deadline = now + milliseconds(m_options.timeouts.sendMs);
    ContinueSending(job, now);
}

void FleetRun::ContinueSending(Job& job, Clock::time_point now) {
    const long sent = net::Send(job.socket, job.request.data() + job.requestSent,
                                job.request.size() - job.requestSent);
    if (sent == net::kFailed) {
        Lost(job, now);
        return;
    }
    if (sent > 0) {
        job.requestSent += static_cast<std::size_t>(sent);
    }
    if (job.requestSent == job.request.size()) {
        job.phase = Phase::kAwaiting;
        job.deadline = now + milliseconds(m_options.timeouts.replyMs);
    }
}

void FleetRun::Receive(Job& job, Clock::time_point now) {
    std::uint8_t buffer[kReadChunk];
    const long got = net::Receive(job.socket, buffer, sizeof buffer);
    if (got == net::kWouldBlock) {
        return;
    }
    if (got <= 0) {
        Lost(job, now);
        return;
    }
    const auto n = static_cast<std::size_t>(got);
    if (!job.download->Done()) {
        if (job.download->Feed(buffer, n) != ReplyState::kIncomplete) {
            job.download->SettleWaitOver();
            NextRequest(job, now);
        }
    } else if (job.readBack->Feed(buffer, n)) {
        NextRequest(job, now);
    }
}

void FleetRun::WaitOver(Job& job, Clock::time_point now) {
    if (!job.download->Done()) {
        job.download->SettleWaitOver();
    } else {
        job.readBack->TimedOut();
    }
    NextRequest(job, now);
}

void FleetRun::Lost(Job& job, Clock::time_point now) {
    if (job.download && !job.download->Done()) {
        job.download->Settle(ChunkResult::kConnectionLost);
    } else if (job.readBack) {
        job.readBack->ConnectionLost();
    }
    Finish(job, now);
}

void FleetRun::Finish(Job& job, Clock::time_point now) {
    net::Close(job.socket);
    job.socket = net::kNoSocket;
    job.phase = Phase::kDone;
    if (job.download) {
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
    return connected && download.Succeeded() &&
           (!verify || verify->outcome == VerifyOutcome::kEqual);
}

std::vector<TargetResult> SendToFleet(std::span<const std::uint8_t> image,
                                      const std::vector<FleetTarget>& targets,
                                      const FleetOptions& options, FleetObserver& observer) {
    return FleetRun(image, targets, options, observer).Run();
}

}  // namespace kelvarin

// The fleet send: one thread and one wait over every device's connection,
// each device's read-back and download a transfer of its own.
#include "fleet.h"

#include "net.h"
#include "transfer_driver.h"
#include "wire_trace.h"

#include <algorithm>
#include <chrono>
#include <memory>

namespace kelvarin {

namespace {

using std::chrono::milliseconds;

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

// One device's connection, as the transfer driver uses it: its own
// non-blocking socket, waited on by the fleet's one wait; over TLS when the
// fleet's options give a context, the handshake a step a turn too.
class FleetConnection : public TransferIo {
  public:
    FleetConnection(const net::Endpoint& peer, const FleetTarget& target,
                    std::shared_ptr<tls::Context> tls)
        : m_peer(peer), m_target(target), m_tlsContext(std::move(tls)) {}
    ~FleetConnection() override { Drop(); }
    FleetConnection(const FleetConnection&) = delete;
    FleetConnection& operator=(const FleetConnection&) = delete;

    net::IoResult Read(void* buffer, std::size_t length) override {
        return m_tls ? Noted(m_tls->Read(buffer, length)) : net::Receive(m_socket, buffer, length);
    }
    net::IoResult Write(const void* data, std::size_t length) override {
        return m_tls ? Noted(m_tls->Write(data, length)) : net::Send(m_socket, data, length);
    }
    net::Status StartConnect() override {
        Drop();
        m_socket = net::Open(false, 0);
        if (m_socket == net::kNoSocket) {
            return net::Status::kFailed;
        }
        const net::Status started = net::StartConnect(m_socket, m_peer);
        if (started == net::Status::kOk && !m_tlsContext) {
            return net::Status::kOk;
        }
        return started == net::Status::kOk || started == net::Status::kWouldBlock
                   ? net::Status::kWouldBlock
                   : net::Status::kFailed;
    }
    net::Status FinishConnect(bool* wantRead, bool* wantWrite) override {
        *wantRead = *wantWrite = false;
        if (!m_tls) {
            if (net::ConnectResult(m_socket) != net::Status::kOk) {
                return net::Status::kFailed;
            }
            if (!m_tlsContext) {
                return net::Status::kOk;
            }
            m_tls = std::make_unique<tls::Stream>(m_tlsContext, m_socket, m_target.address,
                                                  m_target.Text());
        }
        const net::Status step = m_tls->Handshake(wantRead, wantWrite);
        if (step == net::Status::kFailed) {
            failure = m_tls->Why();
            detail = m_tls->Detail();
            m_tls.reset();
        } else if (step == net::Status::kOk) {
            failure = tls::Failure::kNone;  // a refusal of an earlier connection is over
            detail.clear();
        }
        return step;
    }
    void Drop() override {
        m_tls.reset();
        net::Close(m_socket);
        m_socket = net::kNoSocket;
    }
    bool Buffered() const override { return m_tls && m_tls->Buffered(); }
    std::string ConnectionFacts() const override { return m_tls ? m_tls->Facts() : std::string(); }

    net::Socket Socket() const { return m_socket; }
    const tls::Stream* Tls() const { return m_tls.get(); }

    tls::Failure failure = tls::Failure::kNone;  // why the last handshake failed
    std::string detail;

  private:
    // Keeps why a TLS stream failed when the device refused this client's
    // certificate (TLS 1.3 tells it on the first read after the handshake).
    net::IoResult Noted(net::IoResult result) {
        if (result.status == net::Status::kFailed && m_tls->Why() == tls::Failure::kCertRefused) {
            failure = m_tls->Why();
            detail = m_tls->Detail();
        }
        return result;
    }

    net::Endpoint m_peer;
    FleetTarget m_target;
    std::shared_ptr<tls::Context> m_tlsContext;
    std::unique_ptr<tls::Stream> m_tls;
    net::Socket m_socket = net::kNoSocket;
};

// Where one device stands.
enum class Phase {
    kConnecting,  // the first connect is under way
    kRunning,     // a transfer is being driven
    kDone,
};

// What its running transfer is.
enum class Stage { kPrecheck, kBackup, kDownload, kReadBack };

// One device being sent to.
struct Job {
    Job(std::size_t at, const FleetTarget& target, const net::Endpoint& peer,
        const TransferOptions& fleetOptions, std::shared_ptr<tls::Context> tls)
        : index(at),
          options(fleetOptions),
          connection(peer, target, std::move(tls)),
          driver(connection, fleetOptions.timeouts, kReadsPerTurn, kStepsPerTurn, kReadsPerTurn) {
        result.target = target;
        options.unit = static_cast<std::uint8_t>(target.unit);
    }

    std::size_t index = 0;  // in the targets
    TargetResult result;
    TransferOptions options;  // the fleet's, for this device's unit
    FleetConnection connection;
    TransferDriver driver;
    Phase phase = Phase::kConnecting;
    TransferClock::time_point start;
    TransferClock::time_point connectDeadline;
    SilentObserver observer;
    Stage stage = Stage::kPrecheck;
    std::unique_ptr<ImageReadBack> precheck;
    std::unique_ptr<ImagePull> backup;
    std::unique_ptr<ChunkedDownload> download;
    std::unique_ptr<ImageReadBack> readBack;
    // What the wait watches for and when the job must be looked at anyway.
    IoWait wait;
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
    void Service(Job& job, const net::PollEntry& entry, TimePoint now);
    void Connected(Job& job, bool ok, TimePoint now);
    // Drives job's transfers as far as they go without waiting.
    void Advance(Job& job, bool readable, bool writable, TimePoint now);
    // Starts the next transfer of job, or finishes it. False when finished.
    bool NextStage(Job& job, TimePoint now);
    void Finish(Job& job, TimePoint now);
    // True once no further target may start.
    bool Halted() const;

    std::span<const std::uint8_t> m_image;
    const std::vector<FleetTarget>& m_targets;
    const FleetOptions& m_options;
    FleetObserver& m_observer;
    std::vector<TargetResult> m_results;
    std::vector<std::unique_ptr<Job>> m_jobs;
    int m_failures = 0;
    bool m_canaryFailed = false;
};

std::vector<TargetResult> FleetRun::Run() {
    net::Startup();
    const std::size_t limit = m_options.jobs > 0 ? static_cast<std::size_t>(m_options.jobs)
                                                 : static_cast<std::size_t>(kMaxFleetJobs);
    const std::size_t most = std::min(limit, static_cast<std::size_t>(kMaxFleetJobs));
    const std::size_t count = m_targets.size();
    // The canary group first: until it has ended, no target past it starts.
    std::size_t allowed =
        m_options.canary > 0 ? std::min(static_cast<std::size_t>(m_options.canary), count) : count;
    std::size_t next = 0;
    std::vector<net::PollEntry> entries;
    for (;;) {
        while (!Halted() && m_jobs.size() < most && next < allowed) {
            Start(next++);
        }
        std::erase_if(m_jobs, [](const auto& job) { return job->phase == Phase::kDone; });
        if (m_jobs.empty()) {
            if (!Halted() && next == allowed && allowed < count) {
                allowed = count;  // every canary succeeded: the rest go
                continue;
            }
            if (Halted() || next >= count) {
                break;
            }
            continue;
        }
        TimePoint wake = TimePoint::max();
        entries.clear();
        for (const auto& job : m_jobs) {
            entries.push_back({job->connection.Socket(), job->wait.read, job->wait.write});
            wake = std::min(wake, job->wait.until);
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
    // Those never started, told as such.
    for (; next < count; ++next) {
        TargetResult& result = m_results[next];
        result.target = m_targets[next];
        result.started = false;
        result.canaryFailed = m_canaryFailed;
        result.failuresBefore = m_failures;
        m_observer.OnTargetDone(result);
    }
    return std::move(m_results);
}

bool FleetRun::Halted() const {
    return m_canaryFailed ||
           (m_options.maxFailures > 0 && m_failures >= m_options.maxFailures);
}

void FleetRun::Start(std::size_t index) {
    const FleetTarget& target = m_targets[index];
    const std::optional<net::Endpoint> peer = net::Resolve(target.address, target.port);
    Job& job = *m_jobs.emplace_back(std::make_unique<Job>(
        index, target, peer.value_or(net::Endpoint{}), m_options.transfer, m_options.tls));
    const TimePoint now = TransferClock::now();
    job.start = now;
    job.result.startTime = std::chrono::system_clock::now();
    m_observer.OnTargetStart(job.result);
    if (!peer) {
        Finish(job, now);
        return;
    }
    const net::Status started = job.connection.StartConnect();
    job.phase = Phase::kConnecting;
    job.connectDeadline = now + milliseconds(m_options.transfer.timeouts.connectMs);
    job.wait = {false, false, true, job.connectDeadline};
    if (started != net::Status::kWouldBlock) {
        Connected(job, started == net::Status::kOk, now);
    }
}

void FleetRun::Connected(Job& job, bool ok, TimePoint now) {
    job.result.connected = ok;
    job.result.tlsFailure = job.connection.failure;
    job.result.tlsDetail = job.connection.detail;
    if (const tls::Stream* stream = job.connection.Tls()) {
        job.result.tlsVersion = stream->Version();
        job.result.tlsSubject = stream->PeerSubject();
    }
    if (!ok) {
        Finish(job, now);
        return;
    }
    job.phase = Phase::kRunning;
    if (NextStage(job, now)) {
        Advance(job, false, false, now);
    }
}

bool FleetRun::NextStage(Job& job, TimePoint now) {
    const TransferOptions& options = job.options;
    TransactionIds& ids = job.connection.Transactions();
    const std::string label = job.result.target.Text();
    Transfer* next = nullptr;
    // The download, once nothing keeps it back.
    const auto download = [&] {
        job.stage = Stage::kDownload;
        job.download = std::make_unique<ChunkedDownload>(m_image, options, job.observer, ids);
        return &job.download->Driven();
    };
    // The backup's next round, or what its end leads to.
    const auto backup = [&]() -> Transfer* {
        job.stage = Stage::kBackup;
        if (!job.backup) {
            job.backup =
                std::make_unique<ImagePull>(options, job.observer, ids, m_options.trace, label);
            job.backup->KeepDamagedMemory();
        }
        if (Transfer* round = job.backup->NextRound()) {
            return round;
        }
        PullReport read = job.backup->Report();
        const bool memory = read.outcome == PullOutcome::kNoImage && !read.memory.empty();
        if (read.outcome == PullOutcome::kImage || memory) {
            job.result.backupFile = m_observer.OnBackup(job.result, memory ? read.memory : read.image,
                                                        memory, &job.result.backupError);
            job.result.backupIsMemory = memory;
            job.result.backupNotKept = job.result.backupFile.empty();
        }
        read.image.clear();
        read.memory.clear();
        job.result.pull = std::move(read);
        const PullOutcome outcome = job.result.pull->outcome;
        // A blank device has nothing to keep; one that could not be read, or
        // whose image or memory could not be kept, is not written.
        if ((outcome == PullOutcome::kNoImage || outcome == PullOutcome::kImage) &&
            !job.result.backupNotKept) {
            return download();
        }
        return nullptr;
    };
    if (!job.driver.Driven()) {
        if (m_options.skipCurrent) {
            job.stage = Stage::kPrecheck;
            job.precheck = std::make_unique<ImageReadBack>(m_image, options, job.observer, ids);
            next = &job.precheck->Driven();
        } else {
            next = m_options.backup ? backup() : download();
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
        next = m_options.backup ? backup() : download();
    } else if (job.stage == Stage::kBackup) {
        next = backup();
    } else if (job.stage == Stage::kDownload && m_options.verify &&
               job.download->Report().Succeeded()) {
        job.stage = Stage::kReadBack;
        job.readBack = std::make_unique<ImageReadBack>(m_image, options, job.observer, ids);
        next = &job.readBack->Driven();
    }
    if (!next) {
        Finish(job, now);
        return false;
    }
    if (m_options.trace && job.stage != Stage::kBackup) {
        next->SetTrace(m_options.trace, label);
    }
    job.driver.Drive(*next);
    return true;
}

void FleetRun::Service(Job& job, const net::PollEntry& entry, TimePoint now) {
    switch (job.phase) {
        case Phase::kConnecting:
            if ((job.wait.write && entry.writable) || (job.wait.read && entry.readable)) {
                bool wantRead = false;
                bool wantWrite = false;
                const net::Status step = job.connection.FinishConnect(&wantRead, &wantWrite);
                if (step == net::Status::kWouldBlock) {
                    job.wait.read = wantRead;  // the TLS handshake goes on
                    job.wait.write = wantWrite;
                } else {
                    Connected(job, step == net::Status::kOk, now);
                }
            } else if (now >= job.connectDeadline) {
                if (job.connection.Tls() || job.wait.read) {
                    job.connection.failure = tls::Failure::kTimedOut;
                }
                Connected(job, false, now);
            }
            return;
        case Phase::kRunning:
            Advance(job, entry.readable, entry.writable, now);
            return;
        case Phase::kDone:
            return;
    }
}

void FleetRun::Advance(Job& job, bool readable, bool writable, TimePoint now) {
    for (;;) {
        job.wait = job.driver.Advance(readable, writable);
        if (!job.wait.done || !NextStage(job, now)) {
            return;
        }
        // The next transfer on the same connection starts at once.
        readable = writable = false;
    }
}

void FleetRun::Finish(Job& job, TimePoint now) {
    job.connection.Drop();
    job.phase = Phase::kDone;
    if (job.result.connected && job.connection.failure == tls::Failure::kCertRefused) {
        job.result.tlsFailure = job.connection.failure;
        job.result.tlsDetail = job.connection.detail;
    }
    job.wait = {false, false, false, TimePoint::max()};
    if (job.download) {
        job.result.downloaded = true;
        job.result.download = job.download->Report();
    }
    if (job.readBack) {
        job.result.verify = job.readBack->Report();
    }
    job.result.seconds = std::chrono::duration<double>(now - job.start).count();
    job.result.endTime = std::chrono::system_clock::now();
    m_results[job.index] = job.result;
    if (!m_observer.OnTargetDone(job.result)) {
        ++m_failures;
        if (job.index < static_cast<std::size_t>(std::max(m_options.canary, 0))) {
            m_canaryFailed = true;  // the rest do not start
        }
    }
}

}  // namespace

std::vector<TargetResult> SendToFleet(std::span<const std::uint8_t> image,
                                      const std::vector<FleetTarget>& targets,
                                      const FleetOptions& options, FleetObserver& observer) {
    return FleetRun(image, targets, options, observer).Run();
}

}  // namespace kelvarin

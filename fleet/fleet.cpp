// The fleet send: one thread and one wait over every device's connection,
// each device's operation stepped as its connection allows.
#include "fleet.h"

#include "connection.h"
#include "net.h"
#include "transfer_driver.h"

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

// A fleet's devices say nothing line by line (there are hundreds): their
// operations are told to nobody, and each device's report tells the rest.
class SilentObserver : public OperationObserver {};

// One device being sent to: its connection, the driver of its transfers,
// and its operation.
struct Job {
    Job(std::size_t at, const FleetTarget& target, const FleetOptions& options)
        : index(at),
          plan(options.planFor(target)),
          driver(connection, options.timeouts, kReadsPerTurn, kStepsPerTurn, kReadsPerTurn) {
        plan.label = target.Text();
        connection.SetTransport({false, options.tls});
        operation = std::make_unique<DeviceOperation>(plan, target, connection, observer);
    }

    std::size_t index = 0;  // in the targets
    OperationPlan plan;
    Connection connection;
    TransferDriver driver;
    SilentObserver observer;
    std::unique_ptr<DeviceOperation> operation;
    bool connecting = false;  // the first connect is under way
    bool done = false;
    std::chrono::system_clock::time_point startTime;
    TimePoint connectDeadline;
    // What the wait watches for and when the job must be looked at anyway.
    IoWait wait;
};

class FleetRun {
  public:
    FleetRun(const std::vector<FleetTarget>& targets, const FleetOptions& options,
             FleetObserver& observer)
        : m_targets(targets),
          m_options(options),
          m_observer(observer),
          m_results(targets.size()) {}

    std::vector<DeviceReport> Run();

  private:
    // The next targets to start (the canary group first); false once none
    // is left to start or to wait for.
    bool StartMore();
    void Start(std::size_t index);
    void Service(Job& job, const net::PollEntry& entry, TimePoint now);
    void Connected(Job& job, bool ok, TimePoint now);
    // Steps job's operation as far as it goes without waiting.
    void Step(Job& job, TimePoint now);
    // Drives job's transfer as far as it goes without waiting, and steps
    // its operation on when the transfer is done.
    void Advance(Job& job, bool readable, bool writable, TimePoint now);
    void Finish(Job& job);
    void NotStarted(std::size_t index);
    // True once no further target may start.
    bool Halted() const;
    // A stop asked for: every operation told, connects under way given up.
    void StopAll(TimePoint now);

    const std::vector<FleetTarget>& m_targets;
    const FleetOptions& m_options;
    FleetObserver& m_observer;
    std::vector<DeviceReport> m_results;
    std::vector<std::unique_ptr<Job>> m_jobs;
    std::size_t m_next = 0;     // the next target to start
    std::size_t m_allowed = 0;  // targets below this may start
    int m_failures = 0;
    bool m_canaryFailed = false;
    bool m_stopped = false;
};

std::vector<DeviceReport> FleetRun::Run() {
    net::Startup();
    // The canary group first: until it has ended, no target past it starts.
    const std::size_t count = m_targets.size();
    m_allowed =
        m_options.canary > 0 ? std::min(static_cast<std::size_t>(m_options.canary), count) : count;
    std::vector<net::PollEntry> entries;
    while (StartMore()) {
        TimePoint wake = TimePoint::max();
        entries.clear();
        for (const auto& job : m_jobs) {
            entries.push_back({job->connection.Socket(), job->wait.read, job->wait.write});
            wake = std::min(wake, job->wait.until);
        }
        // Rounded up, so the wait never ends early and spins.
        const auto wait = std::chrono::ceil<milliseconds>(wake - TransferClock::now()).count();
        // With a stop that may come, looked at every 50 ms at least.
        net::Poll(entries, static_cast<int>(
                               std::clamp<decltype(wait)>(wait, 0, m_options.stop ? 50 : 60000)));
        // Every device is looked at on every turn, ready or not: its
        // deadlines are checked whatever its socket did.
        const TimePoint now = TransferClock::now();
        if (m_options.stop && m_options.stop->load() && !m_stopped) {
            StopAll(now);
        }
        for (std::size_t i = 0; i < m_jobs.size(); ++i) {
            Service(*m_jobs[i], entries[i], now);
        }
    }
    // Those never started, told as such.
    for (; m_next < count; ++m_next) {
        NotStarted(m_next);
    }
    return std::move(m_results);
}

bool FleetRun::StartMore() {
    const std::size_t limit = m_options.jobs > 0 ? static_cast<std::size_t>(m_options.jobs)
                                                 : static_cast<std::size_t>(kMaxFleetJobs);
    const std::size_t most = std::min(limit, static_cast<std::size_t>(kMaxFleetJobs));
    for (;;) {
        while (!Halted() && m_jobs.size() < most && m_next < m_allowed) {
            Start(m_next++);
        }
        std::erase_if(m_jobs, [](const auto& job) { return job->done; });
        if (!m_jobs.empty()) {
            return true;
        }
        if (!Halted() && m_next == m_allowed && m_allowed < m_targets.size()) {
            m_allowed = m_targets.size();  // every canary succeeded: the rest go
            continue;
        }
        if (Halted() || m_next >= m_targets.size()) {
            return false;
        }
    }
}

void FleetRun::StopAll(TimePoint now) {
    m_stopped = true;
    for (const auto& job : m_jobs) {
        if (job->done) {
            continue;
        }
        job->operation->Stop();
        if (job->connecting) {
            job->connection.Drop();
            Connected(*job, false, now);
        }
    }
}

bool FleetRun::Halted() const {
    return m_stopped || m_canaryFailed ||
           (m_options.maxFailures > 0 && m_failures >= m_options.maxFailures);
}

void FleetRun::Start(std::size_t index) {
    const FleetTarget& target = m_targets[index];
    Job& job = *m_jobs.emplace_back(std::make_unique<Job>(index, target, m_options));
    const TimePoint now = TransferClock::now();
    job.startTime = std::chrono::system_clock::now();
    m_observer.OnTargetStart(target);
    job.operation->Next(now);  // it begins with its connect
    if (!job.connection.SetPeer(target.address, target.port) || !job.connection.Open(0)) {
        Connected(job, false, now);
        return;
    }
    const net::Status started = job.connection.BeginConnect();
    job.connecting = true;
    job.connectDeadline = now + milliseconds(m_options.timeouts.connectMs);
    job.wait = {false, false, true, job.connectDeadline};
    if (started != net::Status::kWouldBlock) {
        Connected(job, started == net::Status::kOk, now);
    }
}

void FleetRun::Connected(Job& job, bool ok, TimePoint now) {
    job.connecting = false;
    job.operation->Connected(ok);
    Step(job, now);
}

void FleetRun::Step(Job& job, TimePoint now) {
    for (;;) {
        switch (job.operation->Next(now)) {
            case DeviceOperation::Step::kTransfer:
                job.driver.Drive(job.operation->Running());
                Advance(job, false, false, now);
                return;
            case DeviceOperation::Step::kKeep: {
                std::string error;
                const std::string where = m_observer.OnKeep(
                    job.operation->Report().facts.target, job.operation->ToKeep(), &error);
                job.operation->Kept(where, error);
                continue;
            }
            case DeviceOperation::Step::kConnect:  // a fleet connects once, in Start
            case DeviceOperation::Step::kDone:
                Finish(job);
                return;
        }
    }
}

void FleetRun::Service(Job& job, const net::PollEntry& entry, TimePoint now) {
    if (job.done) {
        return;
    }
    if (!job.connecting) {
        Advance(job, entry.readable, entry.writable, now);
        return;
    }
    if ((job.wait.write && entry.writable) || (job.wait.read && entry.readable)) {
        bool wantRead = false;
        bool wantWrite = false;
        const net::Status step = job.connection.FinishConnect(&wantRead, &wantWrite);
        if (step == net::Status::kWouldBlock) {
            job.wait.read = wantRead;  // the transport's handshake goes on
            job.wait.write = wantWrite;
        } else {
            Connected(job, step == net::Status::kOk, now);
        }
    } else if (now >= job.connectDeadline) {
        job.connection.ConnectTimedOut();
        Connected(job, false, now);
    }
}

void FleetRun::Advance(Job& job, bool readable, bool writable, TimePoint now) {
    job.wait = job.driver.Advance(readable, writable);
    if (job.wait.done) {
        Step(job, now);  // the next transfer on the same connection starts at once
    }
}

void FleetRun::Finish(Job& job) {
    job.connection.Drop();
    job.done = true;
    job.wait = {false, false, false, TimePoint::max()};
    DeviceReport& report = m_results[job.index];
    report = job.operation->Report();
    report.facts.startTime = job.startTime;
    report.facts.endTime = std::chrono::system_clock::now();
    m_observer.OnTargetDone(report);
    if (!report.Succeeded()) {
        ++m_failures;
        if (job.index < static_cast<std::size_t>(std::max(m_options.canary, 0))) {
            m_canaryFailed = true;  // the rest do not start
        }
    }
}

void FleetRun::NotStarted(std::size_t index) {
    DeviceReport& report = m_results[index];
    report.kind = JobKind::kFleet;
    report.filesLeftOut = m_options.filesLeftOut;
    report.facts.target = m_targets[index];
    report.facts.started = false;
    report.facts.canaryFailed = m_canaryFailed;
    report.facts.failuresBefore = m_failures;
    m_observer.OnTargetDone(report);
}

}  // namespace

std::vector<DeviceReport> SendToFleet(const std::vector<FleetTarget>& targets,
                                      const FleetOptions& options, FleetObserver& observer) {
    return FleetRun(targets, options, observer).Run();
}

}  // namespace kelvarin

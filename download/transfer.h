// A transfer: a planned series of Modbus/TCP requests to one device, each of
// which must be answered. It decides what is sent when, matches what comes
// back, and applies the deadlines, the retries, the requests in flight and
// the reconnects; it does no I/O itself, so the blocking driver (one link)
// and the fleet's event loop (many sockets) run the very same logic.
//
// The driver asks Next(now) what to do and reports back:
//   kDrain      read what has already arrived (Received) without waiting, a
//               reply's worth at a time, until nothing is left (DrainDone)
//   kSend       send Request() whole, then Sent (or ConnectionLost)
//   kWait       wait for bytes (Received) until WakeAt() at the latest
//   kPause      wait until WakeAt() without touching the connection (there
//               is none: a reconnect is due then)
//   kReconnect  drop the connection and connect again, then Reconnected
//   kDone       nothing more to do
// Next checks every deadline on every call, whatever the socket did, so no
// device can hold a transfer past its time-outs by sending or by staying
// silent.
#pragma once

#include "link_timeouts.h"
#include "modbus_frame.h"
#include "transaction_ids.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <set>
#include <span>
#include <string>
#include <vector>

namespace kelvarin {

class WireTrace;

using TransferClock = std::chrono::steady_clock;
using TimePoint = TransferClock::time_point;

// Room for the largest Modbus/TCP frame.
inline constexpr std::size_t kMaxFrameSize = modbus::kMbapPrefix + modbus::kMaxMbapLength;

// How a request ended, or one try of it: the one vocabulary of outcomes of
// the download, the read-back and the fleet.
enum class Outcome {
    kGood,            // the answer asked for (an exact echo, the data asked for)
    kNoReply,         // nothing whole within the reply time-out
    kWrong,           // a wrong reply, or bytes that are no reply: another try may do better
    kBusy,            // exception 06, server busy: another try later may do better
    kRefused,         // an answer no other try can change (a function the device lacks)
    kConnectionLost,  // the connection closed or failed while it was out
};

// An outcome and, when the device answered with a Modbus exception, its code.
struct Result {
    Outcome outcome = Outcome::kGood;
    std::uint8_t exception = 0;  // 0: no exception reply

    bool Good() const { return outcome == Outcome::kGood; }
    bool operator==(const Result&) const = default;
};

// Where a request sits in the image memory, for whoever is told of it.
struct RequestSpan {
    std::size_t index = 0;   // the request's place in its transfer
    std::size_t offset = 0;  // the first memory byte it writes or reads
    std::size_t length = 0;  // the bytes it writes or reads
    bool write = false;      // a write (function 21); else a read (function 20)
};

// What a transfer sends and how it judges the replies.
class RequestPlan {
  public:
    virtual ~RequestPlan() = default;

    // How many requests there are.
    virtual std::size_t Count() const = 0;

    // Where request index sits in the memory.
    virtual RequestSpan Span(std::size_t index) const = 0;

    // Writes request index with transaction id transaction into frame (room
    // for kMaxFrameSize bytes). Returns the frame's size.
    virtual std::size_t Encode(std::size_t index, std::uint16_t transaction,
                               std::uint8_t* frame) const = 0;

    // Judges reply, one whole frame, as the answer to request index, whose
    // frame is request: kGood, kWrong, kBusy or kRefused, with the exception
    // code when reply is an exception. Called once for each reply that may be
    // its answer.
    virtual Result Judge(std::size_t index, std::span<const std::uint8_t> request,
                         std::span<const std::uint8_t> reply) = 0;

    // Without transaction ids only: true when frame is recognisably the
    // answer to a request before the one in request (a late reply), which is
    // then set aside rather than judged.
    virtual bool AnswersEarlier(std::span<const std::uint8_t> /*request*/,
                                std::span<const std::uint8_t> /*frame*/) const {
        return false;
    }
};

// Told what a transfer did, as it happens: the one observer of transfer
// events. A transfer tells its owner (a download, a read-back, a pull), which
// keeps its count and tells the same events on to whoever watches the device
// (a log, or nobody in a fleet).
class TransferEvents {
  public:
    virtual ~TransferEvents() = default;
    // The request is settled: kGood, or how its last try failed; tries
    // counts the times it was sent.
    virtual void OnSettled(const RequestSpan& /*request*/, Result /*result*/, int /*tries*/) {}
    // A try of the request failed (why) and it is to be sent again: the
    // retry-th time (1-based) after pauseMs.
    virtual void OnRetry(const RequestSpan& /*request*/, Result /*why*/, int /*retry*/,
                         int /*pauseMs*/) {}
    // The connection was lost: connecting again, the attempt-th time
    // (1-based), after pauseMs.
    virtual void OnReconnecting(int /*attempt*/, int /*pauseMs*/) {}
    // The connection is back.
    virtual void OnReconnected() {}
    // From now on one request in flight on this connection (why).
    virtual void OnWindowFallback(Outcome /*why*/) {}
};

// A transfer's owner that passes every event on to whoever watches the
// device, overriding only what it counts itself (and passing that on too).
class TransferRelay : public TransferEvents {
  public:
    explicit TransferRelay(TransferEvents& watcher) : m_watcher(watcher) {}

    void OnSettled(const RequestSpan& request, Result result, int tries) override {
        m_watcher.OnSettled(request, result, tries);
    }
    void OnRetry(const RequestSpan& request, Result why, int retry, int pauseMs) override {
        m_watcher.OnRetry(request, why, retry, pauseMs);
    }
    void OnReconnecting(int attempt, int pauseMs) override {
        m_watcher.OnReconnecting(attempt, pauseMs);
    }
    void OnReconnected() override { m_watcher.OnReconnected(); }
    void OnWindowFallback(Outcome why) override { m_watcher.OnWindowFallback(why); }

  private:
    TransferEvents& m_watcher;
};

// A transfer over one device's connection.
class Transfer {
  public:
    enum class Step { kDrain, kSend, kWait, kPause, kReconnect, kDone };

    // plan, events and ids must outlive the transfer. With ids (the
    // connection's) every request (each try too) carries an id of its own,
    // taken from ids, up to options' window of them are in flight, and
    // replies are matched by id; a reply with an id this transfer did not
    // give out (a late reply of an earlier transfer on the connection) is set
    // aside. Without (nullptr), every request carries 0, one is in flight,
    // and its reply is matched by its contents. stopOnFailure: the first
    // request that fails for good ends the transfer (a read-back); otherwise
    // the others go on (a download).
    Transfer(RequestPlan& plan, const TransferOptions& options, TransactionIds* ids,
             bool stopOnFailure, TransferEvents& events);

    // Writes every frame sent and received to trace (nullptr: none), each
    // line marked with label (a device's address in a fleet).
    void SetTrace(WireTrace* trace, std::string label);

    // What to do now; handles every deadline that has passed by now.
    Step Next(TimePoint now);

    // The request to send (after kSend).
    std::span<const std::uint8_t> Request() const;

    // The request went out whole at now.
    void Sent(TimePoint now);

    // Bytes arrived (during a drain or a wait).
    void Received(std::span<const std::uint8_t> bytes, TimePoint now);

    // The drain found nothing more to read.
    void DrainDone(TimePoint now);

    // The connection closed or failed.
    void ConnectionLost(TimePoint now);

    // A reconnect (after kReconnect) succeeded or failed; facts says how the
    // connection stands, for the trace ("TLSv1.3, session resumed").
    void Reconnected(bool ok, TimePoint now, const std::string& facts = {});

    // The latest time to call Next again after kWait or kPause.
    TimePoint WakeAt() const;

    // A stop asked for: nothing more is sent; the transfer is done once the
    // replies of what is in flight are in or overdue.
    void Stop();

    // True once the transfer gave up on the connection (lost, and not
    // reconnected within the retries).
    bool ConnectionGivenUp() const { return m_givenUp; }
    // True once a stop was asked for (Stop).
    bool Stopped() const { return m_stopped; }
    // True when the transfer stopped at a request that failed for good.
    bool StoppedOnFailure() const { return m_stoppedOnFailure; }
    // Further tries sent, and reconnects made.
    int Retries() const { return m_retriesSent; }
    int Reconnects() const { return m_reconnects; }
    // Requests settled.
    std::size_t Settled() const { return m_settled; }
    // Requests sent at least once.
    std::size_t RequestsStarted() const { return m_fresh; }

  private:
    // A request sent (or being sent) and awaiting its reply.
    struct Slot {
        std::size_t index = 0;
        std::uint16_t transaction = 0;
        bool sent = false;
        TimePoint deadline = TimePoint::max();
        std::size_t size = 0;
        std::uint8_t frame[kMaxFrameSize] = {};
    };
    enum class State : std::uint8_t { kPending, kOutstanding, kSettled };

    bool Done() const;
    bool HasSendable() const;
    int Limit() const;
    std::size_t NextSendable() const;
    void Prepare(std::size_t index);
    void ExpireDeadlines(TimePoint now);
    void Process(TimePoint now);
    void Consider(std::span<const std::uint8_t> frame, bool old, TimePoint now);
    void TryFailed(std::size_t slot, Result why, TimePoint now);
    void Settle(std::size_t index, Result result);
    void Fallback(Outcome why);
    void ResetWindow();
    void GiveUp();
    void Note(const std::string& text);

    RequestPlan& m_plan;
    TransferOptions m_options;
    bool m_ids;
    bool m_stopOnFailure;
    TransferEvents& m_events;
    WireTrace* m_trace = nullptr;
    std::string m_label;

    std::vector<State> m_state;
    std::vector<std::uint8_t> m_tries;
    std::size_t m_fresh = 0;          // requests below this have been sent at least once
    std::set<std::size_t> m_retry;    // requests to be sent again
    std::vector<Slot> m_slots;        // in flight, in the order sent
    std::size_t m_settled = 0;
    TransactionIds* m_transactions;  // the connection's; nullptr: every request carries 0
    std::uint16_t m_firstTransaction = 0;  // the first id this transfer took
    std::uint32_t m_transactionsTaken = 0;
    TimePoint m_holdUntil{};          // no request leaves before this (a retry's pause)

    std::vector<std::uint8_t> m_input;  // received bytes not yet framed
    std::size_t m_oldBytes = 0;  // leading input bytes that arrived before the request out
    bool m_needDrain = true;     // something unasked may be waiting on the connection
    bool m_draining = false;
    TimePoint m_drainDeadline{};

    int m_limit = 1;          // requests in flight allowed now
    bool m_fellBack = false;  // this connection is down to one in flight

    bool m_reconnecting = false;
    int m_reconnectAttempt = 0;
    TimePoint m_reconnectAt{};

    bool m_stopped = false;
    bool m_givenUp = false;
    bool m_stoppedOnFailure = false;
    int m_retriesSent = 0;
    int m_reconnects = 0;
};

// The pause before the retry-th retry (1-based): 100 ms, doubled each time,
// at most 1600 ms.
int RetryPauseMs(int retry);

}  // namespace kelvarin

// The transfer's decisions: what goes out when, which reply answers what,
// and what happens when a reply is missing, wrong or the connection is lost.
#include "transfer.h"

#include "wire_trace.h"

#include <algorithm>
#include <cstring>

namespace kelvarin {

namespace {

using std::chrono::milliseconds;

constexpr int kFirstPauseMs = 100;
constexpr int kLongestPauseMs = 1600;

const char* OutcomeName(Outcome outcome) {
    switch (outcome) {
        case Outcome::kGood:
            return "answered";
        case Outcome::kNoReply:
            return "no reply";
        case Outcome::kWrong:
            return "wrong reply";
        case Outcome::kBusy:
            return "device busy";
        case Outcome::kRefused:
            return "refused";
        case Outcome::kConnectionLost:
            return "connection lost";
    }
    return "?";
}

}  // namespace

int RetryPauseMs(int retry) {
    int pause = kFirstPauseMs;
    for (int i = 1; i < retry && pause < kLongestPauseMs; ++i) {
        pause *= 2;
    }
    return std::min(pause, kLongestPauseMs);
}

Transfer::Transfer(RequestPlan& plan, const TransferOptions& options, TransactionIds* ids,
                   bool stopOnFailure, TransferEvents& events)
    : m_plan(plan),
      m_options(options),
      m_ids(ids != nullptr),
      m_stopOnFailure(stopOnFailure),
      m_events(events),
      m_state(plan.Count(), State::kPending),
      m_tries(plan.Count(), 0),
      m_transactions(ids) {
    m_slots.reserve(static_cast<std::size_t>(kMaxWindow));
    m_input.reserve(2 * kMaxFrameSize);
    ResetWindow();
}

void Transfer::SetTrace(WireTrace* trace, std::string label) {
    m_trace = trace;
    m_label = std::move(label);
}

void Transfer::ResetWindow() {
    m_fellBack = false;
    if (!m_ids) {
        m_limit = 1;
    } else if (m_options.autoWindow) {
        m_limit = 1;
    } else {
        m_limit = std::clamp(m_options.window, 1, kMaxWindow);
    }
}

void Transfer::Note(const std::string& text) {
    if (m_trace) {
        m_trace->Note(m_label, text);
    }
}

bool Transfer::Done() const {
    if (m_givenUp || m_stoppedOnFailure || m_settled == m_state.size()) {
        return true;
    }
    return m_stopped && m_slots.empty();
}

bool Transfer::HasSendable() const {
    return !m_retry.empty() || m_fresh < m_state.size();
}

int Transfer::Limit() const {
    // While the first request waits out its longer time-out nothing else
    // goes out: the device may answer nothing until its memory is ready.
    if (m_options.firstReplyMs > 0 && !m_state.empty() && m_state[0] != State::kSettled) {
        return 1;
    }
    return m_limit;
}

std::size_t Transfer::NextSendable() const {
    // The lowest request first: a retried one before any fresh one, so the
    // device's memory fills from the front and a resume starts where the
    // echoes stopped.
    if (!m_retry.empty() && *m_retry.begin() < m_fresh) {
        return *m_retry.begin();
    }
    return m_fresh;
}

TransferClock::time_point Transfer::WakeAt() const {
    TimePoint wake = TimePoint::max();
    if (m_reconnecting) {
        return m_reconnectAt;
    }
    for (const Slot& slot : m_slots) {
        wake = std::min(wake, slot.deadline);
    }
    if (m_draining) {
        wake = std::min(wake, m_drainDeadline);
    }
    if (!m_stopped && HasSendable() && static_cast<int>(m_slots.size()) < Limit()) {
        wake = std::min(wake, m_holdUntil);
    }
    return wake;
}

Transfer::Step Transfer::Next(TimePoint now) {
    if (Done()) {
        return Step::kDone;
    }
    if (m_reconnecting) {
        if (m_stopped) {
            m_givenUp = true;
            return Step::kDone;
        }
        return now >= m_reconnectAt ? Step::kReconnect : Step::kPause;
    }
    ExpireDeadlines(now);
    if (Done()) {
        return Step::kDone;
    }
    if (m_stopped) {
        m_draining = false;
        return Step::kWait;  // for the replies of what is out
    }
    if (m_draining) {
        if (now < m_drainDeadline) {
            return Step::kDrain;
        }
        // Unasked bytes kept coming for a whole reply time-out: the request
        // waiting to go out is a try without a reply, as if it had gone out.
        m_draining = false;
        Note("still receiving unasked bytes after a reply time-out");
        const std::size_t index = NextSendable();
        Prepare(index);
        m_slots.back().sent = true;
        TryFailed(m_slots.size() - 1, {Outcome::kNoReply}, now);
        return Next(now);
    }
    if (HasSendable() && static_cast<int>(m_slots.size()) < Limit() && now >= m_holdUntil) {
        if (m_needDrain) {
            m_draining = true;
            m_drainDeadline = now + milliseconds(m_options.timeouts.replyMs);
            return Step::kDrain;
        }
        Prepare(NextSendable());
        return Step::kSend;
    }
    return Step::kWait;
}

void Transfer::Prepare(std::size_t index) {
    if (index < m_fresh) {
        m_retry.erase(index);
        ++m_retriesSent;
    } else {
        m_fresh = index + 1;
    }
    Slot& slot = m_slots.emplace_back();
    slot.index = index;
    slot.transaction = 0;
    if (m_transactions) {
        slot.transaction = m_transactions->Take();
        if (m_transactionsTaken++ == 0) {
            m_firstTransaction = slot.transaction;
        }
    }
    slot.size = m_plan.Encode(index, slot.transaction, slot.frame);
    m_state[index] = State::kOutstanding;
    ++m_tries[index];
}

std::span<const std::uint8_t> Transfer::Request() const {
    if (m_slots.empty()) {
        return {};
    }
    const Slot& slot = m_slots.back();
    return {slot.frame, slot.size};
}

void Transfer::Sent(TimePoint now) {
    if (m_slots.empty()) {
        return;
    }
    Slot& slot = m_slots.back();
    slot.sent = true;
    const bool first = slot.index == 0 && m_options.firstReplyMs > 0;
    slot.deadline =
        now + milliseconds(first ? m_options.firstReplyMs : m_options.timeouts.replyMs);
    // Whatever is already buffered came before this request: without
    // transaction ids it cannot be its reply. (With ids, it may be the rest
    // of another request's reply; its id tells.)
    if (!m_ids) {
        m_oldBytes = m_input.size();
    }
    if (m_trace) {
        m_trace->Frame(m_label, "send", {slot.frame, slot.size});
    }
}

void Transfer::ExpireDeadlines(TimePoint now) {
    for (std::size_t i = 0; i < m_slots.size();) {
        if (m_slots[i].sent && m_slots[i].deadline <= now) {
            // Part of a reply is no reply; its rest, when it comes, is set
            // aside as a late reply.
            TryFailed(i, {Outcome::kNoReply}, now);
            if (Done()) {
                return;
            }
        } else {
            ++i;
        }
    }
}

void Transfer::Received(std::span<const std::uint8_t> bytes, TimePoint now) {
    m_input.insert(m_input.end(), bytes.begin(), bytes.end());
    if (m_draining || (!m_ids && m_slots.empty())) {
        // Nothing of ours is out: whatever this is, it answers no request.
        m_oldBytes = m_input.size();
    }
    Process(now);
}

void Transfer::DrainDone(TimePoint /*now*/) {
    m_draining = false;
    m_needDrain = false;
    m_oldBytes = m_input.size();
}

void Transfer::Process(TimePoint now) {
    while (!m_input.empty() && !Done()) {
        const modbus::FrameScan scan = modbus::ScanFrame(m_input);
        if (scan.status == modbus::FrameStatus::kNeedMore) {
            return;
        }
        if (scan.status == modbus::FrameStatus::kNotModbus) {
            // Bytes that are no Modbus/TCP frame: nothing after them can be
            // framed, so they are all dropped; the oldest request out, if
            // they came after it, had a wrong reply.
            if (m_trace) {
                m_trace->Frame(m_label, "recv (no frame)", m_input);
            }
            const bool old = m_oldBytes > 0;
            m_input.clear();
            m_oldBytes = 0;
            m_needDrain = !m_ids;
            if (!old) {
                for (std::size_t i = 0; i < m_slots.size(); ++i) {
                    if (m_slots[i].sent) {
                        TryFailed(i, {Outcome::kWrong}, now);
                        break;
                    }
                }
            }
            return;
        }
        const std::size_t size = scan.size;
        const bool old = m_oldBytes > 0;
        m_oldBytes -= std::min(m_oldBytes, size);
        // The frame is judged from a copy: judging may send nothing but may
        // settle slots, and the input is consumed first.
        std::uint8_t frame[kMaxFrameSize];
        std::memcpy(frame, m_input.data(), size);
        m_input.erase(m_input.begin(), m_input.begin() + static_cast<std::ptrdiff_t>(size));
        if (m_trace) {
            m_trace->Frame(m_label, "recv", {frame, size});
        }
        Consider({frame, size}, old, now);
    }
}

void Transfer::Consider(std::span<const std::uint8_t> frame, bool old, TimePoint now) {
    if (m_ids) {
        if (old) {
            // Drained before this transfer's first request: an earlier
            // transfer's late reply, whatever its id says.
            Note("set aside: arrived before the first request");
            return;
        }
        const std::uint16_t transaction = modbus::TransactionOf(frame.data());
        const auto slot = std::find_if(m_slots.begin(), m_slots.end(), [&](const Slot& s) {
            return s.sent && s.transaction == transaction;
        });
        if (slot == m_slots.end()) {
            if (!TransactionIds::Among(transaction, m_firstTransaction, m_transactionsTaken)) {
                // An id this transfer never gave out: a late reply of an
                // earlier transfer on this connection, or no reply at all.
                Note("set aside: transaction id " + std::to_string(transaction) +
                     " is not this transfer's");
                return;
            }
            Note("set aside: no request out with transaction id " + std::to_string(transaction));
            Fallback(Outcome::kWrong);
            return;
        }
        const std::size_t at = static_cast<std::size_t>(slot - m_slots.begin());
        const Result verdict = m_plan.Judge(slot->index, {slot->frame, slot->size}, frame);
        if (verdict.Good()) {
            const std::size_t index = slot->index;
            m_slots.erase(slot);
            Settle(index, verdict);
            if (m_options.autoWindow && !m_fellBack && m_limit < kMaxWindow) {
                ++m_limit;
            }
            return;
        }
        TryFailed(at, verdict, now);
        return;
    }
    // Without ids: one request out, and only what came after it can answer it.
    if (old || m_slots.empty() || !m_slots.front().sent) {
        Note("set aside: arrived before the request out");
        return;
    }
    Slot& slot = m_slots.front();
    const std::span<const std::uint8_t> request{slot.frame, slot.size};
    const Result verdict = m_plan.Judge(slot.index, request, frame);
    if (verdict.Good()) {
        const std::size_t index = slot.index;
        m_slots.clear();
        Settle(index, verdict);
        return;
    }
    if (m_plan.AnswersEarlier(request, frame)) {
        Note("set aside: a late reply to an earlier request");
        return;
    }
    TryFailed(0, verdict, now);
}

void Transfer::TryFailed(std::size_t at, Result why, TimePoint now) {
    const std::size_t index = m_slots[at].index;
    m_slots.erase(m_slots.begin() + static_cast<std::ptrdiff_t>(at));
    if (!m_ids) {
        // Its reply, or the rest of it, may still come: drop what is there
        // before the next request.
        m_needDrain = true;
    }
    if (why.outcome == Outcome::kNoReply || why.outcome == Outcome::kWrong ||
        why.outcome == Outcome::kBusy) {
        Fallback(why.outcome);
    }
    const int tries = m_tries[index];
    if (why.outcome != Outcome::kRefused && !m_stopped && tries <= m_options.retries) {
        const int pause = RetryPauseMs(tries);
        m_state[index] = State::kPending;
        m_retry.insert(index);
        m_holdUntil = std::max(m_holdUntil, now + milliseconds(pause));
        m_events.OnRetry(m_plan.Span(index), why, tries, pause);
        Note(std::string("retry ") + std::to_string(tries) + " of request " +
             std::to_string(index) + " (" + OutcomeName(why.outcome) + ") in " + std::to_string(pause) +
             " ms");
        return;
    }
    Settle(index, why);
}

void Transfer::Settle(std::size_t index, Result result) {
    m_state[index] = State::kSettled;
    ++m_settled;
    m_events.OnSettled(m_plan.Span(index), result, m_tries[index]);
    if (!result.Good() && m_stopOnFailure) {
        m_stoppedOnFailure = true;
    }
}

void Transfer::Fallback(Outcome why) {
    if (!m_ids || m_fellBack || (!m_options.autoWindow && m_options.window <= 1)) {
        return;
    }
    m_fellBack = true;
    m_limit = 1;
    m_events.OnWindowFallback(why);
    Note(std::string("one request in flight from now on (") + OutcomeName(why) + ")");
}

void Transfer::ConnectionLost(TimePoint now) {
    if (Done() || m_reconnecting) {
        return;
    }
    m_input.clear();
    m_oldBytes = 0;
    m_draining = false;
    Note("connection lost");
    std::vector<Slot> out;
    out.swap(m_slots);
    std::sort(out.begin(), out.end(),
              [](const Slot& a, const Slot& b) { return a.index < b.index; });
    if (m_options.retries == 0 || m_stopped) {
        // The lowest request that was out (or is next) is where it broke.
        const std::size_t index = out.empty() ? NextSendable() : out.front().index;
        if (index < m_state.size()) {
            if (m_tries[index] == 0) {
                m_tries[index] = 1;
            }
            Settle(index, {Outcome::kConnectionLost});
        }
        m_givenUp = true;
        return;
    }
    for (const Slot& slot : out) {
        if (m_tries[slot.index] <= m_options.retries) {
            m_state[slot.index] = State::kPending;
            m_retry.insert(slot.index);
            m_events.OnRetry(m_plan.Span(slot.index), {Outcome::kConnectionLost}, m_tries[slot.index], 0);
        } else {
            Settle(slot.index, {Outcome::kConnectionLost});
        }
    }
    if (Done()) {
        return;
    }
    m_reconnecting = true;
    m_reconnectAttempt = 1;
    const int pause = RetryPauseMs(1);
    m_reconnectAt = now + milliseconds(pause);
    m_events.OnReconnecting(1, pause);
}

void Transfer::Reconnected(bool ok, TimePoint now, const std::string& facts) {
    if (!m_reconnecting) {
        return;
    }
    if (ok) {
        m_reconnecting = false;
        ++m_reconnects;
        m_needDrain = false;  // a new connection has nothing unasked on it
        m_holdUntil = now;
        ResetWindow();
        m_events.OnReconnected();
        Note(facts.empty() ? std::string("connected again") : "connected again (" + facts + ")");
        return;
    }
    if (m_reconnectAttempt >= m_options.retries) {
        GiveUp();
        return;
    }
    ++m_reconnectAttempt;
    const int pause = RetryPauseMs(m_reconnectAttempt);
    m_reconnectAt = now + milliseconds(pause);
    m_events.OnReconnecting(m_reconnectAttempt, pause);
}

void Transfer::GiveUp() {
    m_reconnecting = false;
    const std::size_t index = NextSendable();
    if (index < m_state.size()) {
        if (m_tries[index] == 0) {
            m_tries[index] = 1;
        }
        Settle(index, {Outcome::kConnectionLost});
    }
    m_givenUp = true;
}

void Transfer::Stop() {
    m_stopped = true;
    m_retry.clear();
}

}  // namespace kelvarin

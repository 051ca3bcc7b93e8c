// The step loop of a transfer, and the blocking driver over one link.
#include "transfer_driver.h"

#include <algorithm>

namespace kelvarin {

namespace {

using std::chrono::milliseconds;

// One read: a whole reply at most, so the clock is looked at again after
// every reply's worth of bytes.
constexpr std::size_t kReadPiece = kMaxFrameSize;

// The longest a blocking wait lasts before a stop request is looked at.
constexpr int kStopCheckMs = 50;

}  // namespace

TransferDriver::TransferDriver(TransferIo& io, const LinkTimeouts& timeouts, int readsPerTurn,
                               int stepsPerTurn, int readsWhenReady)
    : m_io(io),
      m_timeouts(timeouts),
      m_readsPerTurn(readsPerTurn),
      m_stepsPerTurn(stepsPerTurn),
      m_readsWhenReady(std::min(readsWhenReady, readsPerTurn)) {}

void TransferDriver::Drive(Transfer& transfer) {
    m_transfer = &transfer;
    m_sending = {};
    m_sendingDone = 0;
    m_connecting = false;
}

void TransferDriver::ContinueSending(TimePoint now) {
    const net::IoResult sent =
        m_io.Write(m_sending.data() + m_sendingDone, m_sending.size() - m_sendingDone);
    if (sent.status == net::Status::kFailed) {
        m_sending = {};
        m_transfer->ConnectionLost(now);
        return;
    }
    if (sent.Ok()) {
        m_sendingDone += sent.count;
    }
    if (m_sendingDone == m_sending.size()) {
        m_sending = {};
        m_transfer->Sent(m_io.Now());
    }
}

bool TransferDriver::ReadOnce(std::uint8_t* buffer, bool draining) {
    const net::IoResult got = m_io.Read(buffer, kReadPiece);
    if (got.Ok()) {
        m_transfer->Received({buffer, got.count}, m_io.Now());
        return true;
    }
    if (got.status == net::Status::kWouldBlock || got.status == net::Status::kTimedOut) {
        if (draining) {
            m_transfer->DrainDone(m_io.Now());
        }
        return false;
    }
    m_transfer->ConnectionLost(m_io.Now());
    return false;
}

IoWait TransferDriver::Advance(bool readable, bool writable) {
    IoWait wait;
    if (!m_transfer) {
        wait.done = true;
        return wait;
    }
    std::uint8_t buffer[kReadPiece];
    int reads = 0;
    TimePoint now = m_io.Now();
    // First what the last wait was for.
    if (m_connecting) {
        const bool ready = (m_connectRead && readable) || (m_connectWrite && writable);
        if (m_transfer->Stopped()) {
            // A stop does not wait out a connect: the transfer ends without it.
            m_connecting = false;
            m_io.Drop();
            m_transfer->Reconnected(false, now);
        } else if (ready) {
            // A TLS handshake takes several turns, each ready as it asked.
            const net::Status done = m_io.FinishConnect(&m_connectRead, &m_connectWrite);
            if (done != net::Status::kWouldBlock) {
                m_connecting = false;
                m_transfer->Reconnected(done == net::Status::kOk, m_io.Now(),
                                        m_io.Facts().Text());
            }
        } else if (now >= m_connectDeadline) {
            m_connecting = false;
            m_io.Drop();
            m_transfer->Reconnected(false, now);
        }
        if (m_connecting) {
            if (now >= m_connectDeadline) {
                m_connecting = false;
                m_io.Drop();
                m_transfer->Reconnected(false, now);
            } else {
                wait.read = m_connectRead;
                wait.write = m_connectWrite;
                wait.until = m_connectDeadline;
                return wait;
            }
        }
    } else if (!m_sending.empty()) {
        if (writable) {
            ContinueSending(now);
        } else if (now >= m_sendDeadline) {
            m_sending = {};
            m_transfer->ConnectionLost(now);  // the frame could not leave whole in time
        }
        if (!m_sending.empty()) {
            wait.write = true;
            wait.until = m_sendDeadline;
            return wait;
        }
    } else if (readable) {
        // What has come; the transfer frames it.
        while (reads < m_readsWhenReady && ReadOnce(buffer, false)) {
            ++reads;
        }
    }
    return Steps(reads);
}

IoWait TransferDriver::Steps(int& reads) {
    IoWait wait;
    std::uint8_t buffer[kReadPiece];
    for (int step = 0; step < m_stepsPerTurn; ++step) {
        const TimePoint now = m_io.Now();
        switch (m_transfer->Next(now)) {
            case Transfer::Step::kDone:
                wait.done = true;
                return wait;
            case Transfer::Step::kDrain:
                if (reads >= m_readsPerTurn) {
                    // Still more: on the next turn, after every other device.
                    wait.read = true;
                    wait.until = now;
                    return wait;
                }
                ++reads;
                ReadOnce(buffer, true);
                break;
            case Transfer::Step::kSend:
                m_sending = m_transfer->Request();
                m_sendingDone = 0;
                m_sendDeadline = now + milliseconds(m_timeouts.sendMs);
                ContinueSending(now);
                if (!m_sending.empty()) {
                    wait.write = true;
                    wait.until = m_sendDeadline;
                    return wait;
                }
                break;
            case Transfer::Step::kWait:
                if (m_io.Buffered() && reads < m_readsPerTurn) {
                    // Bytes no wait would show: taken now.
                    ++reads;
                    ReadOnce(buffer, false);
                    break;
                }
                wait.read = true;
                wait.until = m_transfer->WakeAt();
                return wait;
            case Transfer::Step::kPause:
                m_io.Drop();
                wait.until = m_transfer->WakeAt();
                return wait;
            case Transfer::Step::kReconnect:
                switch (m_io.StartConnect()) {
                    case net::Status::kOk:
                        m_transfer->Reconnected(true, m_io.Now(), m_io.Facts().Text());
                        break;
                    case net::Status::kWouldBlock:
                        m_connecting = true;
                        m_connectRead = false;
                        m_connectWrite = true;
                        m_connectDeadline = now + milliseconds(m_timeouts.connectMs);
                        wait.write = true;
                        wait.until = m_connectDeadline;
                        return wait;
                    default:
                        m_transfer->Reconnected(false, m_io.Now());
                        break;
                }
                break;
        }
    }
    // Steps left for the next turn.
    wait.read = true;
    wait.until = m_io.Now();
    return wait;
}

void RunTransfer(Transfer& transfer, CDeviceLink& link, const TransferOptions& options,
                 const std::atomic<bool>* stop) {
    TransferDriver driver(link, options.timeouts);
    driver.Drive(transfer);
    bool readable = false;
    bool writable = false;
    bool stopped = false;
    for (;;) {
        if (stop && !stopped && stop->load()) {
            transfer.Stop();
            stopped = true;
        }
        const IoWait wait = driver.Advance(readable, writable);
        if (wait.done) {
            return;
        }
        // Rounded up, so the wait never ends early and spins; with a stop
        // flag, short enough to see it soon.
        const auto left =
            std::chrono::ceil<milliseconds>(wait.until - link.Now()).count();
        const int ms = static_cast<int>(
            std::clamp<decltype(left)>(left, 0, stop ? kStopCheckMs : kMaxTimeoutMs));
        const net::Status ready = ms > 0 || wait.read || wait.write
                                      ? link.Wait(wait.read, wait.write, ms)
                                      : net::Status::kTimedOut;
        // A failed wait is looked into by the read or write it was for.
        readable = wait.read && ready != net::Status::kTimedOut;
        writable = wait.write && ready != net::Status::kTimedOut;
    }
}

}  // namespace kelvarin

// The one driver of a transfer: the step loop that carries out what a
// Transfer decides over a TransferIo, never waiting itself. The blocking
// RunTransfer below waits on its link between steps; the fleet waits on all
// of its devices at once and steps each that is due.
#pragma once

#include "device_link.h"
#include "link_timeouts.h"
#include "transfer.h"

#include <atomic>
#include <limits>

namespace kelvarin {

// What a driver waits for before it can go on.
struct IoWait {
    bool done = false;   // the transfer is done: nothing more to wait for
    bool read = false;   // bytes to read
    bool write = false;  // room to write, or the end of a connect
    TimePoint until = TimePoint::max();  // go on by this time whatever came
};

// Drives one transfer at a time over io: sends, reads, drains, connects
// again, each as far as it goes without waiting.
class TransferDriver {
  public:
    // Without limits, a turn goes on until the transfer must wait. With
    // them, it reads at most readsPerTurn times and takes at most
    // stepsPerTurn steps, then asks to be driven again at once, so that one
    // device cannot keep a loop that serves many.
    static constexpr int kUnlimited = std::numeric_limits<int>::max();

    // io must outlive the driver. When the connection was readable, up to
    // readsWhenReady reads take what has come before the transfer is asked
    // what next (one for one link: a reply is one read; more for a loop
    // over many devices, which waits less often).
    TransferDriver(TransferIo& io, const LinkTimeouts& timeouts, int readsPerTurn = kUnlimited,
                   int stepsPerTurn = kUnlimited, int readsWhenReady = 1);

    // Makes transfer (which must outlive its driving) the one driven, on the
    // same connection as the one before.
    void Drive(Transfer& transfer);

    // The transfer driven, or nullptr.
    Transfer* Driven() const { return m_transfer; }

    // Goes on after a wait that found the connection readable or writable
    // (both false after a time-out): as far as the transfer goes without
    // waiting. Returns what to wait for next.
    IoWait Advance(bool readable, bool writable);

  private:
    IoWait Steps(int& reads);
    void ContinueSending(TimePoint now);
    bool ReadOnce(std::uint8_t* buffer, bool draining);

    TransferIo& m_io;
    LinkTimeouts m_timeouts;
    int m_readsPerTurn;
    int m_stepsPerTurn;
    int m_readsWhenReady;
    Transfer* m_transfer = nullptr;
    // A request partly written (the connection took only some of it).
    std::span<const std::uint8_t> m_sending;
    std::size_t m_sendingDone = 0;
    TimePoint m_sendDeadline{};
    // A connect under way, and what it waits for.
    bool m_connecting = false;
    bool m_connectRead = false;
    bool m_connectWrite = true;
    TimePoint m_connectDeadline{};
};

// Runs transfer over link until it is done, waiting on the link between the
// driver's steps, each wait bounded by the transfer's deadlines. With stop
// given, a stop request (*stop true, looked at every 50 ms at least) stops
// the transfer: nothing more is sent and it ends once the replies of what is
// out are in or overdue.
void RunTransfer(Transfer& transfer, CDeviceLink& link, const TransferOptions& options,
                 const std::atomic<bool>* stop = nullptr);

}  // namespace kelvarin

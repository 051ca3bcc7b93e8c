// Appending to the journal on a thread of its own, so that no wait of the
// database (another process holding its lock, a slow disk) ever runs inside
// a device's reply time or the fleet's loop.
#pragma once

#include "journal.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace kelvarin {

// A queue of records and the thread that appends them, in the order queued,
// to the journal at one path (opened, or made, on that thread).
class JournalWriter {
  public:
    // Starts the thread, which opens the journal at path.
    explicit JournalWriter(std::string path);
    // Finish(0) when not finished.
    ~JournalWriter();
    JournalWriter(const JournalWriter&) = delete;
    JournalWriter& operator=(const JournalWriter&) = delete;

    // Queues record; never waits.
    void Append(std::string record);

    // Waits at most bound until every record queued so far has been written
    // or has failed. True when none is left waiting.
    bool WaitWritten(std::chrono::milliseconds bound);

    // Why the journal could not be opened or written, the first time it
    // could not; nothing when it could, or once this was taken.
    std::optional<std::string> TakeFailure();

    // What a finished writer lost.
    struct Summary {
        std::size_t lost = 0;  // records never written
        std::string why;       // the first reason (the lock held, SQLite's words)
    };

    // Gives the thread at most bound to write what is queued (another
    // process's lock waited for), then stops it: what was not written.
    Summary Finish(std::chrono::milliseconds bound);

  private:
    void Run();
    void Fail(const std::string& why, std::size_t records);

    std::string m_path;
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::deque<std::string> m_queue;
    std::size_t m_inFlight = 0;  // records taken from the queue and being appended
    bool m_stopping = false;     // no more records come: write what is queued and end
    bool m_abandon = false;      // end now, whatever is left
    bool m_waitingForLock = false;
    std::size_t m_lost = 0;
    std::string m_why;
    bool m_failureTaken = false;
    bool m_finished = false;
    std::thread m_thread;
};

}  // namespace kelvarin

// The journal's own thread: records taken from the queue in batches, each
// batch one transaction.
#include "journal_writer.h"

#include <utility>
#include <vector>

namespace kelvarin {

JournalWriter::JournalWriter(std::string path) : m_path(std::move(path)) {
    m_thread = std::thread([this] { Run(); });
}

JournalWriter::~JournalWriter() {
    Finish(std::chrono::milliseconds(0));
}

void JournalWriter::Append(std::string record) {
    {
        const std::lock_guard<std::mutex> hold(m_lock);
        if (m_stopping) {
            ++m_lost;
            return;
        }
        m_queue.push_back(std::move(record));
    }
    m_changed.notify_all();
}

bool JournalWriter::WaitWritten(std::chrono::milliseconds bound) {
    std::unique_lock<std::mutex> hold(m_lock);
    return m_changed.wait_for(hold, bound, [this] { return m_queue.empty() && m_inFlight == 0; });
}

std::optional<std::string> JournalWriter::TakeFailure() {
    const std::lock_guard<std::mutex> hold(m_lock);
    if (m_why.empty() || m_failureTaken) {
        return std::nullopt;
    }
    m_failureTaken = true;
    return m_why;
}

JournalWriter::Summary JournalWriter::Finish(std::chrono::milliseconds bound) {
    std::unique_lock<std::mutex> hold(m_lock);
    if (m_finished) {
        return {m_lost, m_why};
    }
    m_stopping = true;
    m_changed.notify_all();
    m_changed.wait_for(hold, bound, [this] { return m_queue.empty() && m_inFlight == 0; });
    m_abandon = true;  // a wait for the lock ends at its next look
    const bool locked = m_waitingForLock;
    m_changed.notify_all();
    hold.unlock();
    m_thread.join();
    hold.lock();
    m_lost += m_queue.size();
    m_queue.clear();
    if (m_lost > 0 && m_why.empty()) {
        m_why = locked ? "the journal stayed locked by another process" : "not written in time";
    }
    m_finished = true;
    return {m_lost, m_why};
}

void JournalWriter::Fail(const std::string& why, std::size_t records) {
    const std::lock_guard<std::mutex> hold(m_lock);
    m_lost += records;
    if (m_why.empty()) {
        m_why = why;
    }
}

void JournalWriter::Run() {
    const auto giveUp = [this] {
        const std::lock_guard<std::mutex> hold(m_lock);
        m_waitingForLock = true;
        return m_abandon;
    };
    std::string error;
    std::unique_ptr<Journal> journal = Journal::Open(m_path, &error, giveUp);
    for (;;) {
        std::vector<std::string> batch;
        {
            std::unique_lock<std::mutex> hold(m_lock);
            m_changed.wait(hold, [this] { return !m_queue.empty() || m_stopping || m_abandon; });
            if (m_abandon || m_queue.empty()) {
                m_inFlight = 0;
                m_changed.notify_all();
                return;  // stopping with nothing left, or told to end now
            }
            batch.assign(std::make_move_iterator(m_queue.begin()),
                         std::make_move_iterator(m_queue.end()));
            m_queue.clear();
            m_inFlight = batch.size();
        }
        bool written = false;
        bool busy = false;
        if (journal) {
            written = journal->Append(batch, &error, &busy);
        }
        {
            const std::lock_guard<std::mutex> hold(m_lock);
            m_waitingForLock = false;
            if (!written && busy && !m_abandon) {
                // The lock was given up on only if abandoned; otherwise try
                // the batch again, still first in line.
                m_queue.insert(m_queue.begin(), std::make_move_iterator(batch.begin()),
                               std::make_move_iterator(batch.end()));
            } else if (!written) {
                m_lost += batch.size();
                if (m_why.empty()) {
                    m_why = busy ? "the journal stayed locked by another process" : error;
                }
            }
            m_inFlight = 0;
        }
        m_changed.notify_all();
    }
}

}  // namespace kelvarin

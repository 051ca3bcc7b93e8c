// Reading out a device's image round by round.
#include "pull.h"

#include "transfer_driver.h"
#include "web_image.h"
#include "wire_trace.h"

#include <algorithm>

namespace kelvarin {

ImagePull::ImagePull(const TransferOptions& options, TransferEvents& watcher,
                     TransactionIds& ids, WireTrace* trace, std::string label)
    : TransferRelay(watcher),
      m_options(options),
      m_ids(ids),
      m_trace(trace),
      m_label(std::move(label)),
      m_memory(kImageCapacity, kFillByte) {}

Transfer* ImagePull::NextRound() {
    if (m_done) {
        return nullptr;
    }
    if (m_transfer && !EndRound()) {
        m_done = true;
        return nullptr;
    }
    if (m_readingMemory) {
        m_report.outcome = PullOutcome::kNoImage;  // what was found before the memory was read
        m_report.memory = m_memory;
        m_done = true;
        return nullptr;
    }
    const std::string_view read(reinterpret_cast<const char*>(m_memory.data()), m_have);
    const ChainExtent extent = MeasureChain(read, kImageCapacity);
    std::size_t need = extent.length;
    switch (extent.state) {
        case ChainExtent::State::kBroken: {
            m_report.outcome = PullOutcome::kNoImage;
            m_report.error = extent.error;
            const bool blank = std::all_of(m_memory.begin(),
                                           m_memory.begin() + static_cast<std::ptrdiff_t>(m_have),
                                           [](std::uint8_t byte) { return byte == kFillByte; });
            m_report.blank = blank;
            if (!m_keepDamaged || blank || m_have >= kImageCapacity) {
                if (m_keepDamaged && !blank) {
                    m_report.memory = m_memory;  // read whole already
                }
                m_done = true;
                return nullptr;
            }
            m_readingMemory = true;
            need = kImageCapacity;
            break;
        }
        case ChainExtent::State::kComplete:
            if (extent.length <= m_have) {
                m_report.outcome = PullOutcome::kImage;
                m_report.image.assign(m_memory.begin(),
                                      m_memory.begin() + static_cast<std::ptrdiff_t>(extent.length));
                m_done = true;
                return nullptr;
            }
            break;  // the padding after the last response is still to be read
        case ChainExtent::State::kNeedMore:
            break;
    }
    // Whole words, within the memory.
    const std::size_t to = std::min(need + need % 2, kImageCapacity);
    m_plan = std::make_unique<ReadPlan>(std::span<std::uint8_t>(m_memory), m_have, to,
                                        m_options.unit);
    TransferEvents& events = static_cast<TransferRelay&>(*this);
    m_transfer = std::make_unique<Transfer>(*m_plan, m_options, &m_ids, true, events);
    if (m_trace) {
        m_transfer->SetTrace(m_trace, m_label);
    }
    m_roundEnd = to;
    ++m_report.rounds;
    return m_transfer.get();
}

bool ImagePull::EndRound() {
    const Transfer& round = *m_transfer;
    m_report.requests += round.Retries() + static_cast<int>(round.Settled());
    m_report.retries += round.Retries();
    m_report.reconnects += round.Reconnects();
    if (m_report.failure != Outcome::kGood) {
        m_report.outcome = PullOutcome::kUnreadable;
        return false;
    }
    if (round.Settled() < m_plan->Count()) {
        // Stopped on request, or the connection given up before a read
        // settled.
        if (round.ConnectionGivenUp()) {
            m_report.outcome = PullOutcome::kUnreadable;
            m_report.failure = Outcome::kConnectionLost;
            m_report.failedAt = m_have;
        } else {
            m_report.outcome = PullOutcome::kStopped;
        }
        return false;
    }
    m_have = m_roundEnd;
    m_report.bytesRead = m_have;
    return true;
}

void ImagePull::OnSettled(const RequestSpan& request, Result result, int tries) {
    TransferRelay::OnSettled(request, result, tries);
    if (result.Good() || m_report.failure != Outcome::kGood) {
        return;
    }
    m_report.failure = result.outcome;
    m_report.exceptionCode = result.exception;
    m_report.failedAt = request.offset;
}

PullReport ImagePull::Report() const {
    return m_report;
}

PullReport PullImage(CDeviceLink& link, const TransferOptions& options, TransferEvents* watcher,
                     WireTrace* trace, const std::atomic<bool>* stop, bool keepDamaged) {
    TransferEvents none;
    ImagePull pull(options, watcher ? *watcher : none, link.Transactions(), trace);
    if (keepDamaged) {
        pull.KeepDamagedMemory();
    }
    while (Transfer* round = pull.NextRound()) {
        if (stop && stop->load()) {
            round->Stop();
        }
        RunTransfer(*round, link, options, stop);
    }
    return pull.Report();
}

}  // namespace kelvarin

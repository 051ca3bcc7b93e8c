// Read Device Identification, round by round.
#include "identify.h"

#include "wire_trace.h"

#include <algorithm>

namespace kelvarin {

namespace {

// Gateway exceptions: the path or the device behind it is not there.
constexpr std::uint8_t kGatewayPathUnavailable = 0x0A;
constexpr std::uint8_t kGatewayTargetFailed = 0x0B;

}  // namespace

std::optional<std::string> IdentityReport::Object(std::uint8_t id) const {
    for (const modbus::IdentityObject& object : objects) {
        if (object.id == id) {
            return object.value;
        }
    }
    return std::nullopt;
}

bool IdentityReport::Answered() const {
    return answer == Answer::kIdentified ||
           (answer == Answer::kException && exceptionCode != kGatewayPathUnavailable &&
            exceptionCode != kGatewayTargetFailed);
}

std::size_t IdentityPlan::Encode(std::size_t /*index*/, std::uint16_t transaction,
                                 std::uint8_t* frame) const {
    return modbus::EncodeIdentityRequest(frame, {modbus::kReadBasic, m_first}, transaction, m_unit);
}

Result IdentityPlan::Judge(std::size_t /*index*/, std::span<const std::uint8_t> request,
                           std::span<const std::uint8_t> reply) {
    m_reply = modbus::DecodeIdentityReply(reply, modbus::TransactionOf(request.data()));
    switch (m_reply.status) {
        case modbus::IdentityReplyStatus::kObjects:
            return {Outcome::kGood};
        case modbus::IdentityReplyStatus::kException:
            // No other try changes a device's answer that it lacks something.
            return {m_reply.exceptionCode == modbus::kExceptionBusy ? Outcome::kBusy
                                                                    : Outcome::kRefused,
                    m_reply.exceptionCode};
        case modbus::IdentityReplyStatus::kMalformed:
            break;
    }
    return {Outcome::kWrong};
}

DeviceIdentify::DeviceIdentify(const TransferOptions& options, TransferEvents& watcher,
                               TransactionIds& ids, WireTrace* trace, std::string label)
    : TransferRelay(watcher),
      m_options(options),
      m_ids(ids),
      m_trace(trace),
      m_label(std::move(label)) {}

void DeviceIdentify::OnSettled(const RequestSpan& request, Result result, int tries) {
    TransferRelay::OnSettled(request, result, tries);
    m_result = result;
}

Transfer* DeviceIdentify::NextRound() {
    if (m_done) {
        return nullptr;
    }
    std::uint8_t next = 0;
    if (m_transfer) {
        const Transfer& round = *m_transfer;
        m_report.requests += round.Retries() + static_cast<int>(round.Settled());
        const modbus::IdentityReply& reply = m_plan->Reply();
        const bool settled = round.Settled() == 1;
        if (!settled) {
            m_report.answer = round.Stopped() ? IdentityReport::Answer::kStopped
                                              : IdentityReport::Answer::kWrong;
        } else if (m_result.outcome == Outcome::kNoReply) {
            m_report.answer = IdentityReport::Answer::kNoReply;
        } else if (m_result.exception != 0) {
            m_report.answer = IdentityReport::Answer::kException;
            m_report.exceptionCode = m_result.exception;
        } else if (!m_result.Good()) {
            m_report.answer = IdentityReport::Answer::kWrong;
        } else {
            m_report.answer = IdentityReport::Answer::kIdentified;
            m_report.conformity = reply.conformity;
            m_report.objects.insert(m_report.objects.end(), reply.objects.begin(),
                                    reply.objects.end());
        }
        // Another round only from an object id past the one this round
        // asked from: the rounds ask from ever higher ids, so a device that
        // answers every request alike and says "more" without end is asked
        // once more at the most (at most 255 rounds in all).
        const bool more = m_report.answer == IdentityReport::Answer::kIdentified &&
                          reply.moreFollows && reply.nextObjectId > m_asked;
        if (!more) {
            m_done = true;
            return nullptr;
        }
        next = reply.nextObjectId;
    }
    m_asked = next;
    m_plan = std::make_unique<IdentityPlan>(next, m_options.unit);
    TransferEvents& events = static_cast<TransferRelay&>(*this);
    m_result = {Outcome::kNoReply};
    m_transfer = std::make_unique<Transfer>(*m_plan, m_options, &m_ids, true, events);
    if (m_trace) {
        m_transfer->SetTrace(m_trace, m_label);
    }
    return m_transfer.get();
}

}  // namespace kelvarin

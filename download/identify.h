// Asking a device who it is: Read Device Identification (function 43, MEI
// type 14) for its basic objects (vendor, product code, revision), round by
// round while it says more follows.
#pragma once

#include "modbus_frame.h"
#include "transfer.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kelvarin {

class WireTrace;

// What a device said of itself.
struct IdentityReport {
    enum class Answer {
        kIdentified,  // its objects
        kException,   // an exception reply (exceptionCode): 01 a device without the function
        kNoReply,     // nothing came within the reply time-out
        kWrong,       // a reply that is no answer, or the connection lost
        kStopped,     // a stop asked for ended it first
    };
    Answer answer = Answer::kNoReply;
    std::uint8_t exceptionCode = 0;
    std::uint8_t conformity = 0;
    std::vector<modbus::IdentityObject> objects;  // in the order they came
    int requests = 0;

    // The value of object id, when the device gave it.
    std::optional<std::string> Object(std::uint8_t id) const;
    // True when a unit answered at all: an identification, or an exception
    // of its own (not a gateway's 0A or 0B, which say nobody is there).
    bool Answered() const;
};

// The one request of a round: the basic stream from an object on.
class IdentityPlan : public RequestPlan {
  public:
    IdentityPlan(std::uint8_t firstObject, std::uint8_t unit)
        : m_first(firstObject), m_unit(unit) {}

    std::size_t Count() const override { return 1; }
    RequestSpan Span(std::size_t index) const override { return {index, 0, 0, false}; }
    std::size_t Encode(std::size_t index, std::uint16_t transaction,
                       std::uint8_t* frame) const override;
    Result Judge(std::size_t index, std::span<const std::uint8_t> request,
                 std::span<const std::uint8_t> reply) override;

    // The decoded reply of the request, once judged.
    const modbus::IdentityReply& Reply() const { return m_reply; }

  private:
    std::uint8_t m_first;
    std::uint8_t m_unit;
    modbus::IdentityReply m_reply;
};

// An identification driven by whoever owns the connection, as ImagePull is.
class DeviceIdentify : private TransferRelay {
  public:
    // watcher and ids must outlive it; trace, when given, gets every frame.
    DeviceIdentify(const TransferOptions& options, TransferEvents& watcher, TransactionIds& ids,
                   WireTrace* trace = nullptr, std::string label = {});
    DeviceIdentify(const DeviceIdentify&) = delete;
    DeviceIdentify& operator=(const DeviceIdentify&) = delete;

    // The transfer of the next round (or the first); nullptr once over.
    Transfer* NextRound();

    const IdentityReport& Report() const { return m_report; }

  private:
    void OnSettled(const RequestSpan& request, Result result, int tries) override;

    TransferOptions m_options;
    TransactionIds& m_ids;
    WireTrace* m_trace;
    std::string m_label;
    std::unique_ptr<IdentityPlan> m_plan;
    std::uint8_t m_asked = 0;  // the object id the round under way asked from
    std::unique_ptr<Transfer> m_transfer;
    Result m_result;
    bool m_done = false;
    IdentityReport m_report;
};

}  // namespace kelvarin

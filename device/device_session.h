// One Modbus/TCP connection's protocol state: the bytes received so far, the
// requests counted, and the fault mode applied to its replies.
#pragma once

#include "device_faults.h"
#include "device_identity.h"
#include "device_memory.h"

#include <string>
#include <string_view>
#include <vector>

namespace kelvarin::device {

// A reply to send, and how long after the request arrived to send it.
struct ModbusReply {
    std::string bytes;
    int delayMs = 0;
    bool admitted = false;  // the answer to a request the gate let through (not a busy one)
    bool stream = false;    // to be sent again and again without end (fault stream=N)
};

// What becomes of a request before the device handles it.
enum class Admission {
    kHandle,  // handled and answered
    kBusy,    // answered with exception 06, nothing stored
    kDrop,    // lost: not handled, not answered
    kNoUnit,  // for a unit the device is not: answered with exception 0B, nothing stored
    kNotAllowed,  // a function the client's role does not allow: exception 01, nothing stored
};

// Decides, request by request, what the network and the device's queue let
// through.
class RequestGate {
  public:
    virtual ~RequestGate() = default;
    // What becomes of frame, a whole request.
    virtual Admission Admit(std::string_view frame) = 0;
};

// What one Feed produced: the replies in request order, and whether the
// connection is to be closed once they have been sent.
struct ModbusFeed {
    std::vector<ModbusReply> replies;
    bool close = false;
};

// Frames a connection's byte stream by the MBAP length and answers each
// request, split across reads or several to a read, with the fault mode
// applied. Counts requests per connection, 1-based, for late, close-after and
// corrupt, and stored writes for flip-store.
class ModbusSession {
  public:
    // memory must outlive the session; so must gate, when given, and
    // identity, what function 43 answers with.
    ModbusSession(DeviceMemory& memory, FaultMode fault, RequestGate* gate = nullptr,
                  const DeviceIdentity& identity = DefaultIdentity());

    // Takes received bytes and answers every whole request now in the input.
    // Once close has been returned (bytes that are not Modbus/TCP, or the
    // close-after request), later input is ignored and close is returned again.
    ModbusFeed Feed(std::string_view bytes);

    // True once a request of this connection has stored data.
    bool WroteRecord() const { return m_wroteRecord; }

    // Requests framed so far.
    int RequestCount() const { return m_requests; }

  private:
    // The reply to one whole frame under the fault mode; false to close
    // instead of answering.
    bool Answer(std::string_view frame, ModbusFeed& feed);

    DeviceMemory& m_memory;
    const DeviceIdentity& m_identity;
    FaultMode m_fault;
    RequestGate* m_gate;
    std::string m_input;
    int m_requests = 0;
    int m_writes = 0;
    bool m_wroteRecord = false;
    bool m_closing = false;
};

}  // namespace kelvarin::device

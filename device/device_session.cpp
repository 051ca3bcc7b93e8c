// A Modbus/TCP connection's framing and fault mode.
#include "device_session.h"

#include "device_modbus.h"

namespace kelvarin::device {

ModbusSession::ModbusSession(DeviceMemory& memory, FaultMode fault, RequestGate* gate,
                             const DeviceIdentity& identity)
    : m_memory(memory), m_identity(identity), m_fault(fault), m_gate(gate) {}

ModbusFeed ModbusSession::Feed(std::string_view bytes) {
    ModbusFeed feed;
    if (m_closing) {
        feed.close = true;
        return feed;
    }
    m_input.append(bytes);
    std::size_t used = 0;
    for (;;) {
        modbus::FrameScan scan = modbus::ScanFrame(std::string_view(m_input).substr(used));
        if (scan.status == modbus::FrameStatus::kNeedMore) {
            break;
        }
        if (scan.status == modbus::FrameStatus::kNotModbus ||
            !Answer(std::string_view(m_input).substr(used, scan.size), feed)) {
            m_closing = true;
            m_input.clear();
            feed.close = true;
            return feed;
        }
        used += scan.size;
    }
    m_input.erase(0, used);
    return feed;
}

bool ModbusSession::Answer(std::string_view frame, ModbusFeed& feed) {
    // A request lost on the way never reaches the device: it counts nothing.
    const Admission admission = m_gate ? m_gate->Admit(frame) : Admission::kHandle;
    if (admission == Admission::kDrop) {
        return true;
    }
    if (admission == Admission::kNoUnit || admission == Admission::kNotAllowed) {
        // A gateway's device that is not there, or a function this client
        // may not use: counted nowhere, stored never.
        ModbusReply reply;
        reply.bytes = ModbusExceptionReply(frame, admission == Admission::kNoUnit
                                                      ? ModbusException::kGatewayNoResponse
                                                      : ModbusException::kIllegalFunction);
        feed.replies.push_back(std::move(reply));
        return true;
    }
    const int number = ++m_requests;
    if (m_fault.kind == FaultKind::kCloseAfter && number >= m_fault.count) {
        return false;  // dropped as a device resetting the connection would
    }
    ModbusReply reply;
    if (admission == Admission::kBusy) {
        reply.bytes = ModbusExceptionReply(frame, ModbusException::kDeviceBusy);
        feed.replies.push_back(std::move(reply));
        return true;
    }
    reply.admitted = true;
    const bool isRead =
        static_cast<std::uint8_t>(frame[modbus::kFunctionAt]) == modbus::kReadFileRecord;
    if (m_fault.kind == FaultKind::kException) {
        reply.bytes = ModbusExceptionReply(frame, ModbusException::kDeviceFailure);
    } else if (m_fault.kind == FaultKind::kNoRead && isRead) {
        reply.bytes = ModbusExceptionReply(frame, ModbusException::kIllegalFunction);
    } else {
        ModbusResult result = HandleModbusFrame(m_memory, frame, m_identity);
        if (result.stored) {
            m_wroteRecord = true;
            // The echo says the data arrived; the memory keeps it changed.
            if (m_fault.kind == FaultKind::kFlipStore && ++m_writes == m_fault.count) {
                m_memory.CorruptByte(result.storedOffset);
            }
        }
        reply.bytes = std::move(result.reply);
    }
    switch (m_fault.kind) {
        case FaultKind::kSilent:
            return true;
        case FaultKind::kDelay:
            reply.delayMs = m_fault.delayMs;
            break;
        case FaultKind::kLate:
            reply.delayMs = number == m_fault.count ? m_fault.delayMs : 0;
            break;
        case FaultKind::kStream:
            if (number > m_fault.count) {
                return true;  // only the stream goes out now
            }
            reply.stream = number == m_fault.count;
            break;
        case FaultKind::kCorrupt:
            if (number == m_fault.count && !reply.bytes.empty()) {
                reply.bytes.back() = static_cast<char>(reply.bytes.back() ^ 0xFF);
            }
            break;
        default:
            break;
    }
    feed.replies.push_back(std::move(reply));
    return true;
}

}  // namespace kelvarin::device

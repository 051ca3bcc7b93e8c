// A pretend link to the simulated device's memory, for tests of what runs
// over a link: every request is handled at once by the device's own Modbus
// handler, and its reply may be changed or held back on the way.
#pragma once

#include "device_memory.h"
#include "device_modbus.h"
#include "fake_link.h"

#include <functional>
#include <string>

namespace kelvarin::test {

class MemoryLink : public FakeLink {
  public:
    // Turns the n-th reply (1-based) into what arrives; empty: nothing. It
    // may close the connection (this link's CloseConnection) instead.
    using Tamper = std::function<std::string(int n, std::string reply)>;

    explicit MemoryLink(device::DeviceMemory& memory, Tamper tamper = nullptr)
        : m_memory(memory), m_tamper(std::move(tamper)) {}

    int requests = 0;

  protected:
    void OnRequest(int, const Bytes& request) override {
        const std::string frame(request.begin(), request.end());
        ++requests;
        std::string reply = device::HandleModbusFrame(m_memory, frame).reply;
        if (m_tamper) {
            reply = m_tamper(requests, std::move(reply));
        }
        Arrive(Bytes(reply.begin(), reply.end()));
    }

  private:
    device::DeviceMemory& m_memory;
    Tamper m_tamper;
};

}  // namespace kelvarin::test

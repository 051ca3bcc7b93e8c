// Fuzzes the simulated device's Modbus/TCP handling: a byte stream framed as
// a connection frames it, each frame handled against one memory. A reply is
// an echo only when the data was stored, and memory never grows.
#include "device_memory.h"
#include "device_modbus.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kelvarin::device::DeviceMemory memory;
    std::string_view input(reinterpret_cast<const char*>(data), size);
    while (!input.empty()) {
        kelvarin::modbus::FrameScan scan = kelvarin::modbus::ScanFrame(input);
        if (scan.status != kelvarin::modbus::FrameStatus::kFrame) {
            break;
        }
        if (scan.size == 0 || scan.size > input.size()) {
            std::abort();
        }
        std::string_view frame = input.substr(0, scan.size);
        kelvarin::device::ModbusResult result = kelvarin::device::HandleModbusFrame(memory, frame);
        if (result.stored && result.reply != frame) {
            std::abort();
        }
        input.remove_prefix(scan.size);
    }
    return 0;
}

// Starting kelvarin-device on free ports.
#include "device_process.h"

#include <cstdio>

namespace kelvarin::test {

std::vector<std::string> DeviceArgv(const std::string& program,
                                    const std::vector<std::string>& options, int modbusPort) {
    std::vector<std::string> argv = {program, "--modbus-port", std::to_string(modbusPort),
                                     "--http-port", "0"};
    argv.insert(argv.end(), options.begin(), options.end());
    return argv;
}

DeviceProcess::DeviceProcess(const std::string& program, const std::vector<std::string>& options,
                             int modbusPort)
    : m_process(DeviceArgv(program, options, modbusPort)) {
    m_firstLine = m_process.ReadLine();
    if (std::sscanf(m_firstLine.c_str(), "modbus %*[0-9.]:%d http %*[0-9.]:%d", &m_modbusPort,
                    &m_httpPort) != 2) {
        m_modbusPort = 0;
        m_httpPort = 0;
    }
}

LookAlikeDevices::LookAlikeDevices(const std::string& program, const std::string& folder)
    : m_tenImage(folder + "/ten.bin"),
      m_eightImage(folder + "/eight.bin"),
      m_ten(program, {"--bind", "127.0.0.10", "--image-out", m_tenImage}),
      m_eight(program, {"--bind", "127.0.0.8", "--image-out", m_eightImage}, m_ten.ModbusPort()) {}

}  // namespace kelvarin::test

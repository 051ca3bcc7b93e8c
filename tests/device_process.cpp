// Starting kelvarin-device on free ports.
#include "device_process.h"

#include <cstdio>

namespace kelvarin::test {

std::vector<std::string> DeviceArgv(const std::string& program,
                                    const std::vector<std::string>& options) {
    std::vector<std::string> argv = {program, "--modbus-port", "0", "--http-port", "0"};
    argv.insert(argv.end(), options.begin(), options.end());
    return argv;
}

DeviceProcess::DeviceProcess(const std::string& program, const std::vector<std::string>& options)
    : m_process(DeviceArgv(program, options)) {
    m_firstLine = m_process.ReadLine();
    if (std::sscanf(m_firstLine.c_str(), "modbus 127.0.0.1:%d http 127.0.0.1:%d", &m_modbusPort,
                    &m_httpPort) != 2) {
        m_modbusPort = 0;
        m_httpPort = 0;
    }
}

}  // namespace kelvarin::test

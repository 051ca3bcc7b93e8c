// kelvarin-device run by a test or benchmark on free loopback ports.
#pragma once

#include "child_process.h"

#include <string>
#include <vector>

namespace kelvarin::test {

// kelvarin-device started with --modbus-port 0 --http-port 0 and options,
// its ports read from its first line. Stopped with SIGTERM and waited for
// when the object goes away.
class DeviceProcess {
  public:
    // modbusPort 0 for any free port.
    DeviceProcess(const std::string& program, const std::vector<std::string>& options = {},
                  int modbusPort = 0);
    DeviceProcess(const DeviceProcess&) = delete;
    DeviceProcess& operator=(const DeviceProcess&) = delete;

    // True when the device started and said where it listens.
    bool Ready() const { return m_modbusPort > 0 && m_httpPort > 0; }

    // Its first line: "modbus ADDRESS:PORT http ADDRESS:PORT".
    const std::string& FirstLine() const { return m_firstLine; }

    // The ports it listens on; 0 when it did not start.
    int ModbusPort() const { return m_modbusPort; }
    int HttpPort() const { return m_httpPort; }
    std::string ModbusPortText() const { return std::to_string(m_modbusPort); }

    // The next line it prints, waiting at most timeoutMs.
    std::string ReadLine(int timeoutMs = 5000) { return m_process.ReadLine(timeoutMs); }

    // Sends signal and waits for it to end; its exit code, or -1.
    int Stop(int signal = 15) { return m_process.Stop(signal); }

    ChildProcess& Process() { return m_process; }

  private:
    ChildProcess m_process;
    std::string m_firstLine;
    int m_modbusPort = 0;
    int m_httpPort = 0;
};

// The argv that starts program on free ports (the Modbus port modbusPort
// unless 0) with options.
std::vector<std::string> DeviceArgv(const std::string& program,
                                    const std::vector<std::string>& options, int modbusPort = 0);

// Two devices on one Modbus port: at 127.0.0.10, and at 127.0.0.8, where
// reading "127.000.000.010" as octal would lead. Each writes its memory to a
// file of its own after a download and says so in a line.
class LookAlikeDevices {
  public:
    LookAlikeDevices(const std::string& program, const std::string& folder);

    bool Ready() const { return m_ten.Ready() && m_eight.Ready(); }
    int Port() const { return m_ten.ModbusPort(); }

    // The image file each writes; the line "image PATH" comes when it does.
    const std::string& TenImage() const { return m_tenImage; }
    const std::string& EightImage() const { return m_eightImage; }
    DeviceProcess& Ten() { return m_ten; }

  private:
    std::string m_tenImage;
    std::string m_eightImage;
    DeviceProcess m_ten;
    DeviceProcess m_eight;
};

}  // namespace kelvarin::test

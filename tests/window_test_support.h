// Helpers of the window tests: kelvarin-device on loopback, per-test settings
// folders, and finding the window's controls.
#pragma once

#include "device_process.h"
#include "test_support.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QThread>
#include <QWidget>

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <ostream>

// Test failures show QStrings as text.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QStringList& texts, std::ostream* out) {
    *out << '[' << texts.join(QStringLiteral(" | ")).toStdString() << ']';
}

namespace kelvarin::test {

// kelvarin-device on free loopback ports (port 0), stopped with SIGTERM and
// waited for when the object goes away.
class Device : public DeviceProcess {
  public:
    explicit Device(const std::vector<std::string>& options = {})
        : DeviceProcess(KELVARIN_DEVICE_PATH, options) {}

    // The Modbus/TCP port, 0 when the device did not start.
    int Port() const { return ModbusPort(); }
    std::string PortText() const { return ModbusPortText(); }
};

// A loopback port where nothing listens: bound, then released.
inline int UnusedPort() {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        port = ntohs(address.sin_port);
    }
    ::close(fd);
    return port;
}

// Points XDG_CONFIG_HOME and XDG_DATA_HOME at fresh folders for one test.
class XdgFolders {
  public:
    XdgFolders() {
        setenv("XDG_CONFIG_HOME", (m_dir.Path() + "/config").c_str(), 1);
        setenv("XDG_DATA_HOME", (m_dir.Path() + "/data").c_str(), 1);
    }
    std::string SettingsPath() const { return m_dir.Path() + "/config/kelvarin.ini"; }
    std::string DumpPath() const { return m_dir.Path() + "/data/kelvarin/a.dat"; }
    const std::string& Path() const { return m_dir.Path(); }

  private:
    TempDir m_dir;
};

// The child of root named name, of type T; fails the test when missing.
template <typename T>
T* Find(QWidget& root, const char* name) {
    T* found = root.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
}

// Processes events until done() holds or timeoutMs passes; returns done().
template <typename Predicate>
bool WaitFor(Predicate done, int timeoutMs = 5000) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < timeoutMs) {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return done();
}

}  // namespace kelvarin::test

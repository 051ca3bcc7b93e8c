// Helpers of the window tests: kelvarin-device on loopback, per-test settings
// folders, and finding the window's controls.
#pragma once

#include "device_process.h"
#include "loopback_client.h"
#include "test_support.h"
#include "user_dirs.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QThread>
#include <QWidget>

#include <gtest/gtest.h>

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

// A path as the window keeps and shows it: with this system's separators.
inline std::string Shown(const std::string& path) {
    return QDir::toNativeSeparators(QString::fromStdString(path)).toStdString();
}

// kelvarin-device on free loopback ports (port 0), stopped with SIGTERM (on
// Windows: ended) and waited for when the object goes away.
class Device : public DeviceProcess {
  public:
    explicit Device(const std::vector<std::string>& options = {})
        : DeviceProcess(KELVARIN_DEVICE_PATH, options) {}

    // The Modbus/TCP port, 0 when the device did not start.
    int Port() const { return ModbusPort(); }
    std::string PortText() const { return ModbusPortText(); }
};

// Points the user's configuration and data folders at fresh folders for one
// test: XDG_CONFIG_HOME and XDG_DATA_HOME, on Windows APPDATA and LOCALAPPDATA.
class XdgFolders {
  public:
    XdgFolders() {
        const std::string config = m_dir.Path() + "/config";
        const std::string data = m_dir.Path() + "/data";
        SetEnv("XDG_CONFIG_HOME", config.c_str());
        SetEnv("XDG_DATA_HOME", data.c_str());
        SetEnv("APPDATA", config.c_str());
        SetEnv("LOCALAPPDATA", data.c_str());
    }
    std::string SettingsPath() const { return m_dir.Path() + "/config/kelvarin.ini"; }
    std::string DumpPath() const {
        return m_dir.Path() + "/data/" + kelvarin::kAppFolderName + "/a.dat";
    }
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

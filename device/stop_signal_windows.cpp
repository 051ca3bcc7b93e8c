// Stop requests on Windows: Ctrl+C, Ctrl+Break and closing the console are
// turned into a byte on a loopback connection the server's poll waits on.
#include "stop_signal.h"

#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <optional>

namespace kelvarin::device {

namespace {

// The sending end of the loopback connection, for the console's handler.
std::atomic<net::Socket> g_wake{net::kNoSocket};

BOOL WINAPI OnConsoleEvent(DWORD event) {
    switch (event) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
        case CTRL_CLOSE_EVENT:
        case CTRL_SHUTDOWN_EVENT: {
            const char stop = 's';
            net::Send(g_wake.load(), &stop, 1);
            return TRUE;
        }
        default:
            return FALSE;
    }
}

}  // namespace

StopSignal::~StopSignal() {
    SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
    net::Close(g_wake.exchange(net::kNoSocket));
    net::Close(m_socket);
}

bool StopSignal::Open(std::string* error) {
    // A connection to ourselves: the listener lives only until it is made.
    const net::Socket listener = net::Listen({0x7F000001, 0});
    if (listener == net::kNoSocket) {
        *error = "cannot make the stop connection: " + net::LastError();
        return false;
    }
    const std::string bound = net::LocalAddress(listener);
    const int port = std::atoi(bound.c_str() + bound.find(':') + 1);
    const net::Socket wake = net::Open(false, 0);
    const std::optional<net::Endpoint> self = net::Resolve("127.0.0.1", port);
    bool connected = wake != net::kNoSocket && self &&
                     net::StartConnect(wake, *self) != net::Status::kFailed &&
                     net::WaitFor(listener, true, false, 2000) == net::Status::kOk;
    m_socket = connected ? net::Accept(listener) : net::kNoSocket;
    net::Close(listener);
    if (m_socket == net::kNoSocket || net::WaitFor(wake, false, true, 2000) != net::Status::kOk) {
        *error = "cannot make the stop connection: " + net::LastError();
        net::Close(wake);
        return false;
    }
    g_wake.store(wake);
    if (!SetConsoleCtrlHandler(OnConsoleEvent, TRUE)) {
        *error = "cannot take over Ctrl+C";
        return false;
    }
    return true;
}

}  // namespace kelvarin::device

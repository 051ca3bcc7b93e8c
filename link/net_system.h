// The system's socket headers and what net.cpp and each system's file share
// (inside link/ only).
#pragma once

#ifdef _WIN32
// The sets of select() are sized for a fleet; the size must come before
// winsock2.h.
#ifndef FD_SETSIZE
#define FD_SETSIZE 4096
#endif
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#endif

#include "net.h"

namespace kelvarin::net {

// endpoint as the system's IPv4 socket address.
sockaddr_in AddressOf(const Endpoint& endpoint);

}  // namespace kelvarin::net

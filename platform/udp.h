// Datagram sockets: what the UDP link needs from the system, named for what
// each call achieves (Winsock 2 on Win32, BSD sockets on POSIX).
//
// Addresses and ports cross this interface in network byte order, as the
// link keeps them in its socket-address records.
#pragma once
#include <cstdint>

#include "platform/types.h"

constexpr uint16_t kAfInet = 2;          // AF_INET, the same number on both systems
constexpr uint32_t kInaddrAny = 0;       // INADDR_ANY
constexpr uint32_t kInaddrNone = 0xFFFFFFFFu;   // INADDR_NONE: a text inet_addr refuses

// Readies the socket library. Safe to call at every open: the library is
// started once per process and shut down when the process exits.
int platUdpStartup();

// A blocking IPv4 datagram socket, or kInvalidSocket.
PlatSocket platUdpSocket();
void platUdpClose(PlatSocket s);

// Lets s send to a broadcast address (SO_BROADCAST); without it the system
// refuses every datagram to one. 0 when it cannot be set.
int platUdpAllowBroadcast(PlatSocket s);

// Binds s to addr:port (both in network byte order). 0 when the port is
// taken or not allowed.
int platUdpBind(PlatSocket s, uint32_t addr, uint16_t port);

// Keeps this host's datagrams to a group it has joined from coming back to
// it. The system decides which of the two sockets the setting belongs on.
// 0 when it cannot be set.
int platUdpMulticastLoopOff(PlatSocket sendSock, PlatSocket recvSock);

// Joins or leaves a multicast group (network byte order) on the interface
// iface, kInaddrAny letting the system choose. 0 when refused.
int platUdpJoinGroup(PlatSocket s, uint32_t group, uint32_t iface);
int platUdpLeaveGroup(PlatSocket s, uint32_t group, uint32_t iface);

// Without waiting: 1 when a datagram is waiting (an empty one included),
// 0 when none is, -1 when the socket cannot be asked. The count of waiting
// bytes (FIONREAD) is not enough for this: it reads 0 while an empty
// datagram is at the head of the queue, and would leave it blocking the
// datagrams behind it.
int platUdpDatagramWaiting(PlatSocket s);

// Takes the next datagram off s, whole, into buf. Returns its length (0 for
// an empty datagram), 0 when none turned out to be waiting after all, or -1
// on an error. A datagram longer than size is an error; it is consumed and
// none of it counts. The sender's address and port land in *fromAddr and
// *fromPort (network byte order).
int32_t platUdpReceive(PlatSocket s, void* buf, int32_t size, uint32_t* fromAddr, uint16_t* fromPort);

// Sends n bytes as one datagram to addr:port (network byte order). 1 when
// sent, 0 on an error.
int platUdpSendTo(PlatSocket s, const void* buf, int32_t n, uint32_t addr, uint16_t port);

// inet_addr: an IPv4 text to a network-order address; kInaddrNone when the
// text is not one.
uint32_t platInetAddr(const char* text);

// htons: a host-order 16-bit number in network byte order.
uint16_t platHtons(uint16_t v);

// Win32 datagram sockets through Windows Sockets 2: WSAStartup once, socket,
// bind, the IP multicast options, select, recvfrom, sendto and closesocket.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <cstring>

#include "platform/udp.h"

static_assert(AF_INET == kAfInet, "address family number");
// winsock.h numbers the membership options differently (5 and 6); these must
// be the Winsock 2 ones.
static_assert(IP_ADD_MEMBERSHIP == 12 && IP_DROP_MEMBERSHIP == 13, "Winsock 2 multicast options");

namespace {

SOCKET sock(PlatSocket s) { return static_cast<SOCKET>(s); }

sockaddr_in sockAddr(uint32_t addr, uint16_t port) {
  sockaddr_in a;
  std::memset(&a, 0, sizeof a);
  a.sin_family = AF_INET;
  a.sin_port = port;
  a.sin_addr.s_addr = addr;
  return a;
}

int membership(PlatSocket s, int option, uint32_t group, uint32_t iface) {
  ip_mreq m;
  m.imr_multiaddr.s_addr = group;
  m.imr_interface.s_addr = iface;
  return setsockopt(sock(s), IPPROTO_IP, option, reinterpret_cast<const char*>(&m), sizeof m) == 0 ? 1 : 0;
}

int loopOff(PlatSocket s) {
  const DWORD off = 0;
  return setsockopt(sock(s), IPPROTO_IP, IP_MULTICAST_LOOP, reinterpret_cast<const char*>(&off), sizeof off) == 0;
}

void stopLibrary() { WSACleanup(); }

}  // namespace

int platUdpStartup() {
  // Started once for the life of the process, and shut down as it exits, so
  // that every open does not add one more reference to the library.
  static std::atomic<int> started{0};
  if (started.load()) return 1;
  WSADATA data;
  if (WSAStartup(MAKEWORD(2, 0), &data) != 0) return 0;
  started = 1;
  std::atexit(stopLibrary);
  return 1;
}

PlatSocket platUdpSocket() {
  const SOCKET s = socket(AF_INET, SOCK_DGRAM, 0);
  return s == INVALID_SOCKET ? kInvalidSocket : static_cast<PlatSocket>(s);
}

void platUdpClose(PlatSocket s) {
  if (s != kInvalidSocket) closesocket(sock(s));
}

int platUdpAllowBroadcast(PlatSocket s) {
  const BOOL on = TRUE;
  return setsockopt(sock(s), SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&on), sizeof on) == 0 ? 1 : 0;
}

int platUdpBind(PlatSocket s, uint32_t addr, uint16_t port) {
  const sockaddr_in a = sockAddr(addr, port);
  return bind(sock(s), reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0 ? 1 : 0;
}

int platUdpMulticastLoopOff(PlatSocket sendSock, PlatSocket recvSock) {
  // Windows applies the setting where datagrams arrive: off on the receive
  // socket, it hears nothing this host sends to the group. On a system that
  // applies it where they leave (Wine on Linux) the send socket's setting is
  // the one that counts; on Windows that socket receives nothing, so setting
  // it there too changes nothing.
  const int recvOff = loopOff(recvSock);
  const int sendOff = loopOff(sendSock);
  return recvOff && sendOff ? 1 : 0;
}

int platUdpJoinGroup(PlatSocket s, uint32_t group, uint32_t iface) {
  return membership(s, IP_ADD_MEMBERSHIP, group, iface);
}

int platUdpLeaveGroup(PlatSocket s, uint32_t group, uint32_t iface) {
  return membership(s, IP_DROP_MEMBERSHIP, group, iface);
}

int platUdpDatagramWaiting(PlatSocket s) {
  // select with a zero timeout: readable when a datagram is queued, an empty
  // one included (whose FIONREAD count can read 0).
  fd_set rd;
  FD_ZERO(&rd);
  FD_SET(sock(s), &rd);
  timeval none{0, 0};
  const int r = select(0, &rd, nullptr, nullptr, &none);
  if (r == SOCKET_ERROR) return -1;
  return r > 0 ? 1 : 0;
}

int32_t platUdpReceive(PlatSocket s, void* buf, int32_t size, uint32_t* fromAddr, uint16_t* fromPort) {
  sockaddr_in from;
  std::memset(&from, 0, sizeof from);
  int fromLen = sizeof from;
  // A datagram longer than the buffer fails with WSAEMSGSIZE and is dropped.
  const int n = recvfrom(sock(s), static_cast<char*>(buf), size, 0, reinterpret_cast<sockaddr*>(&from), &fromLen);
  if (n == SOCKET_ERROR) return -1;
  if (n > size) return -1;
  *fromAddr = from.sin_addr.s_addr;
  *fromPort = from.sin_port;
  return n;
}

int platUdpSendTo(PlatSocket s, const void* buf, int32_t n, uint32_t addr, uint16_t port) {
  const sockaddr_in a = sockAddr(addr, port);
  const int put = sendto(sock(s), static_cast<const char*>(buf), n, 0, reinterpret_cast<const sockaddr*>(&a), sizeof a);
  return put != SOCKET_ERROR && put == n ? 1 : 0;
}

uint32_t platInetAddr(const char* text) { return inet_addr(text); }

uint16_t platHtons(uint16_t v) { return htons(v); }

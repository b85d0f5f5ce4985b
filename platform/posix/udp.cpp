// POSIX datagram sockets with the BSD socket calls: blocking IPv4 sockets,
// polled without waiting, and datagrams taken whole or refused as too long.
#include "platform/udp.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

static_assert(AF_INET == kAfInet, "address family number");
static_assert(INADDR_ANY == kInaddrAny, "any address");

namespace {

int fd(PlatSocket s) { return static_cast<int>(s); }

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
  return setsockopt(fd(s), IPPROTO_IP, option, &m, sizeof m) == 0 ? 1 : 0;
}

}  // namespace

int platUdpStartup() { return 1; }   // BSD sockets need no library start

PlatSocket platUdpSocket() {
  // Close-on-exec, so that a program started later does not inherit the port.
  const int s = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  return s < 0 ? kInvalidSocket : static_cast<PlatSocket>(s);
}

void platUdpClose(PlatSocket s) {
  if (s != kInvalidSocket) close(fd(s));
}

int platUdpAllowBroadcast(PlatSocket s) {
  const int on = 1;
  return setsockopt(fd(s), SOL_SOCKET, SO_BROADCAST, &on, sizeof on) == 0 ? 1 : 0;
}

int platUdpBind(PlatSocket s, uint32_t addr, uint16_t port) {
  const sockaddr_in a = sockAddr(addr, port);
  return bind(fd(s), reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0 ? 1 : 0;
}

int platUdpMulticastLoopOff(PlatSocket sendSock, PlatSocket /*recvSock*/) {
  // Here the loop-back of group datagrams is decided where they leave: off on
  // the sending socket, no copy of them reaches this host's receive sockets.
  const unsigned char off = 0;
  return setsockopt(fd(sendSock), IPPROTO_IP, IP_MULTICAST_LOOP, &off, sizeof off) == 0 ? 1 : 0;
}

int platUdpJoinGroup(PlatSocket s, uint32_t group, uint32_t iface) {
  return membership(s, IP_ADD_MEMBERSHIP, group, iface);
}

int platUdpLeaveGroup(PlatSocket s, uint32_t group, uint32_t iface) {
  return membership(s, IP_DROP_MEMBERSHIP, group, iface);
}

int platUdpDatagramWaiting(PlatSocket s) {
  // Readable means a datagram is queued, an empty one too (whose FIONREAD
  // count would read 0).
  pollfd p{fd(s), POLLIN, 0};
  const int r = poll(&p, 1, 0);
  if (r < 0) return -1;
  if (r == 0) return 0;
  if (p.revents & POLLNVAL) return -1;
  return (p.revents & (POLLIN | POLLERR)) ? 1 : 0;
}

int32_t platUdpReceive(PlatSocket s, void* buf, int32_t size, uint32_t* fromAddr, uint16_t* fromPort) {
  sockaddr_in from;
  std::memset(&from, 0, sizeof from);
  socklen_t fromLen = sizeof from;
  // MSG_TRUNC makes the call return the datagram's real length, so one longer
  // than the buffer is seen (Linux would otherwise cut it silently).
  // MSG_DONTWAIT keeps the call from waiting should the datagram that poll
  // saw have been dropped since (a bad checksum is found only now).
  const ssize_t n = recvfrom(fd(s), buf, size > 0 ? static_cast<size_t>(size) : 0, MSG_TRUNC | MSG_DONTWAIT,
                             reinterpret_cast<sockaddr*>(&from), &fromLen);
  if (n < 0) return (errno == EAGAIN || errno == EWOULDBLOCK) ? 0 : -1;
  if (n > size) return -1;
  *fromAddr = from.sin_addr.s_addr;
  *fromPort = from.sin_port;
  return static_cast<int32_t>(n);
}

int platUdpSendTo(PlatSocket s, const void* buf, int32_t n, uint32_t addr, uint16_t port) {
  const sockaddr_in a = sockAddr(addr, port);
  const ssize_t put = sendto(fd(s), buf, n > 0 ? static_cast<size_t>(n) : 0, 0,
                             reinterpret_cast<const sockaddr*>(&a), sizeof a);
  return put >= 0 && put == n ? 1 : 0;
}

uint32_t platInetAddr(const char* text) { return inet_addr(text); }

uint16_t platHtons(uint16_t v) { return htons(v); }

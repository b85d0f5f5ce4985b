// The UDP link: the send and receive sockets, the multicast group, the
// never-waiting receive poll and the one-datagram send of a flush.
#include "link/udp.h"

#include <cstdio>
#include <cstring>

#include "display/screen.h"
#include "link/connection.h"
#include "platform/msgbox.h"
#include "platform/thread.h"
#include "platform/udp.h"
#include "settings/globals.h"

PlatSocket gSsock = kInvalidSocket;
PlatSocket gRsock = kInvalidSocket;
SockAddrIn gSaddr;
SockAddrIn gRaddr;
SockAddrIn gRemoteAddr;
int32_t gRemoteAddrLen = 16;
MulticastReq gMreq;

namespace {

void warn(const char* text) { platMessageBox(ghDISPLAYWnd.load(), text, gszAppName, kIconWarning); }

// A receive error (a datagram too long for the receive block, sent by
// mistake or by a hostile peer) is told in a box on a thread of its own, so
// that reception never waits for the user: the next datagram is shown and
// recorded at once, however long the box stays up and whatever closes it.
// One box at a time: errors while it is up are counted, and the count is
// shown on the screen when it closes.
CoreLock& boxLock() {
  static CoreLock lock;
  return lock;
}
bool gBoxUp = false;
int gErrorsWhileUp = 0;

unsigned receiveErrorBox(void*) {
  warn("UDP receive error");
  int more = 0;
  {
    ScopedLock hold(boxLock());
    more = gErrorsWhileUp;
    gErrorsWhileUp = 0;
    gBoxUp = false;
  }
  if (more > 0) {
    char text[48];
    std::snprintf(text, sizeof text, "\r-%d more UDP receive error%s-\r", more, more == 1 ? "" : "s");
    WriteDISPLAYStatus(text);
  }
  return 0;
}

void reportReceiveError() {
  {
    ScopedLock hold(boxLock());
    if (gBoxUp) {
      gErrorsWhileUp++;
      return;
    }
    gBoxUp = true;
  }
  uint32_t id = 0;
  const PlatHandle h = platThreadCreate(receiveErrorBox, nullptr, &id);
  if (h == kInvalidHandle) {
    receiveErrorBox(nullptr);   // no thread to spare: told here, as before
    return;
  }
  platThreadDetach(h);
}

void fillAddr(SockAddrIn* a, int32_t portNum, uint32_t addr) {
  std::memset(a, 0, sizeof *a);
  a->family = kAfInet;
  // Only the low 16 bits of the number reach the wire; the number itself is
  // kept whole for the open-failure message.
  a->port = platHtons(static_cast<uint16_t>(static_cast<uint32_t>(portNum) & 0xFFFFu));
  a->addr = addr;
}

// A group address has 1110 as the top four bits of its first octet (224 to
// 239). The address is in network order: its first octet is its first byte.
bool isGroupAddress(uint32_t addr) {
  uint8_t octets[4];
  std::memcpy(octets, &addr, sizeof octets);
  return (octets[0] & 0xF0u) == 0xE0u;
}

void closeSockets() {
  if (gSsock != kInvalidSocket) platUdpClose(gSsock);
  if (gRsock != kInvalidSocket) platUdpClose(gRsock);
  gSsock = kInvalidSocket;
  gRsock = kInvalidSocket;
}

// A failed open leaves nothing behind: no socket stays open and no group is
// pending, so a later open or close starts from the closed state.
int failOpen() {
  closeSockets();
  gMulticast = 0;
  return 0;
}

}  // namespace

int32_t PortTextToNumber(const char* text) {
  // The standard decimal conversion, except that a number beyond the 32-bit
  // range is clamped to its nearest end instead of overflowing.
  const char* p = text;
  while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\v' || *p == '\f' || *p == '\r') p++;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  const int64_t limit = negative ? 2147483648LL : 2147483647LL;
  int64_t n = 0;
  for (; *p >= '0' && *p <= '9'; p++) {
    n = n * 10 + (*p - '0');
    if (n > limit) n = limit;
  }
  return static_cast<int32_t>(negative ? -n : n);
}

int openUDP() {
  // Sockets of an earlier open that was never closed are released first.
  if (gSsock != kInvalidSocket || gRsock != kInvalidSocket) closeUDP();

  platUdpStartup();
  gSsock = platUdpSocket();
  if (gSsock == kInvalidSocket) return failOpen();
  // A broadcast address reaches every device of its network. Where the
  // system will not allow it, sends to one fail and say so.
  platUdpAllowBroadcast(gSsock);
  gRsock = platUdpSocket();
  if (gRsock == kInvalidSocket) return failOpen();

  gTX_PortNum = PortTextToNumber(gszTX_PortString);
  fillAddr(&gSaddr, gTX_PortNum, platInetAddr(gszIPString));
  gMulticast = isGroupAddress(gSaddr.addr) ? 1 : 0;

  gRX_PortNum = PortTextToNumber(gszRX_PortString);
  fillAddr(&gRaddr, gRX_PortNum, kInaddrAny);
  if (!platUdpBind(gRsock, gRaddr.addr, gRaddr.port)) return failOpen();

  if (gMulticast == 1) {
    if (!platUdpMulticastLoopOff(gSsock, gRsock)) warn("Multicast:cannot disable loopback");
    gMreq.group = gSaddr.addr;
    gMreq.iface = kInaddrAny;
    if (!platUdpJoinGroup(gRsock, gMreq.group, gMreq.iface)) {
      warn("Multicast refused, check your Ethernet");
      gMulticast = 0;
    } else {
      gMulticast = 2;
      warn("Multicast group joined");
    }
  }

  EmptyCommTxBuffer();
  gfUdpOpen = 1;
  // Where datagrams go and where they are taken, as the sockets have them
  // (a port number keeps its low 16 bits).
  uint8_t to[4];
  std::memcpy(to, &gSaddr.addr, sizeof to);
  char text[96];
  std::snprintf(text, sizeof text, "\r-UDP to %u.%u.%u.%u:%u, listening on %u-\r", to[0], to[1], to[2], to[3],
                static_cast<unsigned>(static_cast<uint32_t>(gTX_PortNum) & 0xFFFFu),
                static_cast<unsigned>(static_cast<uint32_t>(gRX_PortNum) & 0xFFFFu));
  WriteDISPLAYStatus(text);
  return 1;
}

void closeUDP() {
  // The group is left explicitly, while the receive socket still exists.
  if (gMulticast != 0) {
    if (gRsock != kInvalidSocket) platUdpLeaveGroup(gRsock, gMreq.group, gMreq.iface);
    gMulticast = 0;
  }
  closeSockets();
  gfUdpOpen = 0;
}

int32_t receiveUdpBlock(uint8_t* buf, int32_t size) {
  if (platUdpDatagramWaiting(gRsock) <= 0) return 0;
  uint32_t fromAddr = 0;
  uint16_t fromPort = 0;
  const int32_t n = platUdpReceive(gRsock, buf, size, &fromAddr, &fromPort);
  if (n < 0) {
    reportReceiveError();
    return -1;
  }
  fillAddr(&gRemoteAddr, 0, fromAddr);
  gRemoteAddr.port = fromPort;
  gRemoteAddrLen = static_cast<int32_t>(sizeof gRemoteAddr);
  return n;
}

int UdpReceiveErrorBoxUp() {
  ScopedLock hold(boxLock());
  return gBoxUp ? 1 : 0;
}

int sendUdpBlock(const uint8_t* buf, int32_t n) { return platUdpSendTo(gSsock, buf, n, gSaddr.addr, gSaddr.port); }

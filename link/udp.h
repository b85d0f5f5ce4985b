// The UDP link: a send socket to the configured address and TX port, and a
// receive socket bound to the RX port, joined to the group when the address
// is a multicast group.
#pragma once
#include <cstdint>

#include "platform/types.h"

// An IPv4 socket address, laid out as sockaddr_in (16 bytes, network order).
struct SockAddrIn {
  uint16_t family;
  uint16_t port;
  uint32_t addr;
  uint8_t zero[8];
};
static_assert(sizeof(SockAddrIn) == 16, "sockaddr_in layout");

// A multicast membership request (group, then interface; network order).
struct MulticastReq {
  uint32_t group;
  uint32_t iface;
};

extern PlatSocket gSsock;
extern PlatSocket gRsock;
extern SockAddrIn gSaddr;
extern SockAddrIn gRaddr;
extern SockAddrIn gRemoteAddr;
extern int32_t gRemoteAddrLen;
extern MulticastReq gMreq;

int openUDP();
void closeUDP();
// One datagram of up to size bytes, 0 when none waits, -1 after a receive error
// (already reported: in a box that never holds reception, see udp.cpp).
int32_t receiveUdpBlock(uint8_t* buf, int32_t size);
// 1 while the "UDP receive error" box is up (from the error until it closes).
int UdpReceiveErrorBoxUp();
// The UDP branch of a flush: one datagram of n bytes to gSaddr. Returns 1 when
// sent, 0 on a send error (not reported here).
int sendUdpBlock(const uint8_t* buf, int32_t n);
// The decimal conversion of a port text: blanks, optional sign, digits.
int32_t PortTextToNumber(const char* text);

// PLACEHOLDER until the UDP link lands.
#include "link/udp.h"

PlatSocket gSsock = kInvalidSocket;
PlatSocket gRsock = kInvalidSocket;
SockAddrIn gSaddr;
SockAddrIn gRaddr;
SockAddrIn gRemoteAddr;
int32_t gRemoteAddrLen = 16;
MulticastReq gMreq;

int openUDP() { return 0; }
void closeUDP() {}
int32_t receiveUdpBlock(uint8_t*, int32_t) { return 0; }
int sendUdpBlock(const uint8_t*, int32_t) { return 0; }
int32_t PortTextToNumber(const char*) { return 0; }

// The Win32 UDP layer under Wine: a peer socket on loopback plays the device,
// then the group decision on the first octet, and a joined group where the
// run has a private network. Prints "PASS name" or "FAIL name" per check.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "display/screen.h"
#include "display/screen_model.h"
#include "link/connection.h"
#include "link/udp.h"
#include "platform/msgbox.h"
#include "settings/globals.h"

namespace {

CRITICAL_SECTION gMsgLock;
std::string gMessages;   // every text shown, each followed by '\n'
unsigned gLastIcon = 0;
int gFailures = 0;

std::string messages() {
  EnterCriticalSection(&gMsgLock);
  std::string m = gMessages;
  LeaveCriticalSection(&gMsgLock);
  return m;
}

void clearMessages() {
  EnterCriticalSection(&gMsgLock);
  gMessages.clear();
  LeaveCriticalSection(&gMsgLock);
}

void check(bool ok, const char* name, const std::string& detail = "") {
  std::printf("%s %s%s%s\n", ok ? "PASS" : "FAIL", name, ok || detail.empty() ? "" : ": ", ok ? "" : detail.c_str());
  std::fflush(stdout);
  if (!ok) gFailures++;
}

std::string grid() {
  ScopedLock hold(ScreenLock());
  std::string g;
  for (int r = 0; r < kScreenRows; r++)
    for (int c = 0; c < kScreenCols; c++) g += static_cast<char>(gScreenModel.charAt(r, c));
  return g;
}

template <class Done>
bool waitFor(Done done, int ms) {
  for (int t = 0; t < ms; t += 5) {
    if (done()) return true;
    Sleep(5);
  }
  return done();
}

bool gridHas(const std::string& s) { return grid().find(s) != std::string::npos; }

int gridCount(char c) {
  int n = 0;
  for (char g : grid()) n += g == c;
  return n;
}

void setText(char* dst, size_t size, const std::string& text) {
  std::memset(dst, 0, size);
  std::strncpy(dst, text.c_str(), size - 1);
}

void setLink(const char* ip, int rx, int tx) {
  gfUdpMode = 1;
  setText(gszIPString, sizeof gszIPString, ip);
  setText(gszRX_PortString, sizeof gszRX_PortString, std::to_string(rx));
  setText(gszTX_PortString, sizeof gszTX_PortString, std::to_string(tx));
}

sockaddr_in loopback(int port) {
  sockaddr_in a;
  std::memset(&a, 0, sizeof a);
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<u_short>(port));
  a.sin_addr.s_addr = inet_addr("127.0.0.1");
  return a;
}

SOCKET boundSocket(const char* addr, int port) {
  SOCKET s = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in a = loopback(port);
  a.sin_addr.s_addr = inet_addr(addr);
  if (s == INVALID_SOCKET || bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    if (s != INVALID_SOCKET) closesocket(s);
    return INVALID_SOCKET;
  }
  return s;
}

int portOf(SOCKET s) {
  sockaddr_in a;
  int len = sizeof a;
  if (getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) != 0) return 0;
  return ntohs(a.sin_port);
}

int freePort() {
  SOCKET s = boundSocket("0.0.0.0", 0);
  const int p = portOf(s);
  closesocket(s);
  return p;
}

bool sendTo(SOCKET s, int port, const std::string& bytes) {
  const sockaddr_in a = loopback(port);
  return sendto(s, bytes.data(), static_cast<int>(bytes.size()), 0, reinterpret_cast<const sockaddr*>(&a), sizeof a) ==
         static_cast<int>(bytes.size());
}

// The datagrams that arrive within ms, until they hold want bytes.
std::string receive(SOCKET s, size_t want, int ms) {
  std::string all;
  static char buf[65536];
  while (all.size() < want) {
    fd_set rd;
    FD_ZERO(&rd);
    FD_SET(s, &rd);
    timeval tv{ms / 1000, (ms % 1000) * 1000};
    if (select(0, &rd, nullptr, nullptr, &tv) <= 0) break;
    const int n = recv(s, buf, sizeof buf, 0);
    if (n < 0) break;
    all.append(buf, static_cast<size_t>(n));
  }
  return all;
}

void unicastRoundTrip() {
  SOCKET peer = boundSocket("127.0.0.1", 0);
  const int rx = freePort();
  check(peer != INVALID_SOCKET && rx != 0, "udp_peer_socket");
  if (peer == INVALID_SOCKET || rx == 0) return;
  setLink("127.0.0.1", rx, portOf(peer));

  check(openConnection() == 1 && gfUdpOpen == 1 && gMulticast == 0 && messages().empty(), "udp_open_unicast",
        messages());
  if (!gfConnected) return;
  const std::string opened = "-UDP to 127.0.0.1:" + std::to_string(portOf(peer)) + ", listening on " + std::to_string(rx) + "-";
  check(grid().substr(kScreenCols, opened.size()) == opened, "udp_open_names_its_addresses",
        grid().substr(kScreenCols, 60));
  ClearDISPLAYScreen();

  for (char c : std::string("abc")) sendCommByte(c);
  const std::string got = receive(peer, 3, 3000);
  check(got == "abc", "udp_typed_bytes_reach_tx_port", got);

  sendTo(peer, rx, "hello");
  sendTo(peer, rx, "");
  sendTo(peer, rx, "world");
  check(waitFor([] { return grid().compare(0, 10, "helloworld") == 0; }, 3000),
        "udp_datagrams_shown_and_empty_one_does_not_block", grid().substr(0, 40));

  sendTo(peer, rx, std::string(kRxBlockSize, 'Y'));
  check(waitFor([] { return gridCount('Y') == kRxBlockSize; }, 3000), "udp_1536_bytes_arrive_whole",
        std::to_string(gridCount('Y')));

  sendTo(peer, rx, std::string(kRxBlockSize + 1, 'X'));
  sendTo(peer, rx, "next");
  const bool next = waitFor([] { return gridHas("next") && !messages().empty(); }, 3000);
  check(next && gridCount('X') == 0 && messages() == "UDP receive error\n" && gLastIcon == kIconWarning,
        "udp_1537_bytes_give_receive_error", messages());

  closeConnection();
  check(gfUdpOpen == 0 && gfConnected == 0 && gSsock == kInvalidSocket && gRsock == kInvalidSocket, "udp_close");

  // The RX port taken by another socket: the open fails and says so.
  clearMessages();
  SOCKET blocker = boundSocket("0.0.0.0", rx);
  setLink("127.0.0.1", rx, 70000);
  const std::string want =
      "Cannot open UPD: IP 127.0.0.1  RX-Port " + std::to_string(rx) + "  TX-Port 70000\n";
  check(openConnection() == 0 && messages() == want && gLastIcon == kIconError && gSsock == kInvalidSocket &&
            gRsock == kInvalidSocket && gfUdpOpen == 0,
        "udp_taken_port_fails_the_open", messages());
  closesocket(blocker);
  closesocket(peer);
}

void groupDecision() {
  // 223 and 240 are no groups. 224.0.0.1, the all-hosts group every
  // interface is already a member of, is joined without a report on the
  // network; where the host has no multicast route it is refused instead.
  struct Case {
    const char* ip;
    bool group;
  };
  const Case cases[] = {{"223.255.255.254", false}, {"240.0.0.1", false}, {"224.0.0.1", true}};
  for (const Case& c : cases) {
    clearMessages();
    setLink(c.ip, freePort(), 9);
    const int opened = openUDP();
    const std::string m = messages();
    bool ok = opened == 1 && gfUdpOpen == 1;
    if (c.group) {
      ok = ok && ((m == "Multicast group joined\n" && gMulticast == 2) ||
                  (m == "Multicast refused, check your Ethernet\n" && gMulticast == 0));
    } else {
      ok = ok && m.empty() && gMulticast == 0;
    }
    closeUDP();
    ok = ok && gMulticast == 0 && gfUdpOpen == 0;
    check(ok, (std::string("udp_group_decision_") + c.ip).c_str(), m);
  }
}

// Only where the run has a network of its own (a private namespace, named
// by ZELTO_UDP_PRIVATE_GROUP): a group is joined, a peer on this host heard,
// and the program's own datagrams to the group do not come back to it.
void privateGroup(const char* group) {
  // The peer only sends, from a port of its own: the program's receive port
  // is also the port it sends to, so its own datagrams would reach it there.
  const int port = freePort();
  SOCKET peer = boundSocket("0.0.0.0", 0);
  const bool peerReady = peer != INVALID_SOCKET;
  clearMessages();
  ClearDISPLAYScreen();
  setLink(group, port, port);
  const bool joined = peerReady && openConnection() == 1 && gMulticast == 2 && messages() == "Multicast group joined\n";
  check(joined, "udp_private_group_joined", messages());
  if (!gfConnected) return;
  sockaddr_in g = loopback(port);
  g.sin_addr.s_addr = inet_addr(group);
  sendto(peer, "peer", 4, 0, reinterpret_cast<sockaddr*>(&g), sizeof g);
  check(waitFor([] { return grid().compare(0, 4, "peer") == 0; }, 3000), "udp_private_group_peer_heard",
        grid().substr(0, 20));
  for (char c : std::string("own")) sendCommByte(c);
  Sleep(200);   // the worker's next passes send it; a copy coming back would be queued at once
  sendto(peer, "|after", 6, 0, reinterpret_cast<sockaddr*>(&g), sizeof g);
  waitFor([] { return gridHas("|after"); }, 3000);
  check(grid().compare(0, 10, "peer|after") == 0 && messages() == "Multicast group joined\n",
        "udp_private_group_own_datagrams_not_heard", grid().substr(0, 20) + " / " + messages());
  closeConnection();
  closesocket(peer);
}

}  // namespace

// Message boxes are remembered instead of shown: nobody clicks them here.
// The worker shows some, so the record is locked.
void platMessageBox(WindowHandle, const char* text, const char* caption, unsigned icon) {
  EnterCriticalSection(&gMsgLock);
  gMessages += text;
  gMessages += '\n';
  gLastIcon = icon;
  if (!caption || std::strcmp(caption, gszAppName) != 0) gMessages += "(wrong caption)\n";
  LeaveCriticalSection(&gMsgLock);
}

int main() {
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  InitializeCriticalSection(&gMsgLock);
  WSADATA data;
  WSAStartup(MAKEWORD(2, 2), &data);   // for the peer sockets of this test
  unicastRoundTrip();
  groupDecision();
  if (const char* group = std::getenv("ZELTO_UDP_PRIVATE_GROUP")) {
    privateGroup(group);
  } else {
    std::printf("SKIP udp_private_group: needs a private network (ZELTO_UDP_PRIVATE_GROUP)\n");
  }
  return gFailures == 0 ? 0 : 1;
}

// Faults of the Win32 UDP layer under Wine, with Winsock peers on loopback:
// the peer goes away and comes back, sends to a refused address keep
// failing, oversize datagrams flood in (each box held up while the next
// datagram arrives), and a
// flood arrives while recording. (A route that vanishes needs a network of
// its own, which only the native tests make.) Prints "PASS name" or
// "FAIL name" per check.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "app/commands.h"
#include "display/keyboard.h"
#include "display/screen.h"
#include "link/connection.h"
#include "link/udp.h"
#include "platform/msgbox.h"
#include "settings/globals.h"
#include "settings/setup.h"
#include "transfer/filesend.h"
#include "transfer/record.h"
#include "fault_checks.h"

namespace {

using namespace faultcheck;

const char kFinished[] = "Transfer Finished, File Closed!";
constexpr int kLargestDatagram = 65507;   // the most an IPv4 datagram carries

CRITICAL_SECTION gMsgLock;
std::string gMessages;   // every text shown, each followed by '\n'

std::string messages() {
  EnterCriticalSection(&gMsgLock);
  std::string m = gMessages;
  LeaveCriticalSection(&gMsgLock);
  return m;
}

int messageCount() {
  const std::string m = messages();
  return static_cast<int>(std::count(m.begin(), m.end(), '\n'));
}

void clearMessages() {
  EnterCriticalSection(&gMsgLock);
  gMessages.clear();
  LeaveCriticalSection(&gMsgLock);
}

void setText(char* dst, size_t size, const std::string& text) {
  std::memset(dst, 0, size);
  std::strncpy(dst, text.c_str(), size - 1);
}

sockaddr_in loopback(int port) {
  sockaddr_in a;
  std::memset(&a, 0, sizeof a);
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<u_short>(port));
  a.sin_addr.s_addr = inet_addr("127.0.0.1");
  return a;
}

SOCKET boundSocket(int port, bool anyAddress = false) {
  SOCKET s = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in a = loopback(port);
  if (anyAddress) a.sin_addr.s_addr = INADDR_ANY;
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

bool sendTo(SOCKET s, int port, const std::string& bytes) {
  const sockaddr_in a = loopback(port);
  return sendto(s, bytes.data(), static_cast<int>(bytes.size()), 0, reinterpret_cast<const sockaddr*>(&a), sizeof a) ==
         static_cast<int>(bytes.size());
}

// One datagram, or "(none)" when none came within ms.
std::string receiveOne(SOCKET s, int ms) {
  static char buf[65536];
  fd_set rd;
  FD_ZERO(&rd);
  FD_SET(s, &rd);
  timeval tv{ms / 1000, (ms % 1000) * 1000};
  if (select(0, &rd, nullptr, nullptr, &tv) <= 0) return "(none)";
  const int n = recv(s, buf, sizeof buf, 0);
  return n < 0 ? "(error)" : std::string(buf, static_cast<size_t>(n));
}

void typeKeys(const std::string& text) {
  for (unsigned char c : text) ProcessDISPLAYCharacter(nullptr, c);
}

void Do(int id) { DoDISPLAYCommand(nullptr, id); }

bool idle() { return gfSendFileOpen == 0 && gLinePtr >= gLineMax; }

double cpuSeconds() {
  FILETIME t[4];   // created, ended, kernel, user
  GetProcessTimes(GetCurrentProcess(), &t[0], &t[1], &t[2], &t[3]);
  const auto secs = [](FILETIME f) { return (1ULL * f.dwHighDateTime << 32 | f.dwLowDateTime) / 1e7; };
  return secs(t[2]) + secs(t[3]);
}

std::string seqText(const char* format, int i) {
  char b[32];
  std::snprintf(b, sizeof b, format, i);
  return b;
}

// Whether s is whole "[nnnnn]" datagrams with rising numbers above *last.
bool rising(const std::string& s, int* last, int* count) {
  if (s.size() % 7 != 0) return false;
  for (size_t at = 0; at < s.size(); at += 7, ++*count) {
    int n = -1;
    if (std::sscanf(s.c_str() + at, "[%5d]", &n) != 1 || s[at + 6] != ']' || n <= *last) return false;
    *last = n;
  }
  return true;
}

std::string readFile(const char* path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// While set, a box stays up until gBoxGone is set, as one a person reads.
std::atomic<bool> gHoldBoxes{false};
HANDLE gBoxGone = CreateEventA(nullptr, TRUE, TRUE, nullptr);

// Up to the number of boxes a box, held up.
void holdBoxes() {
  ResetEvent(gBoxGone);
  gHoldBoxes = true;
}
void dismissBox() {
  gHoldBoxes = false;
  SetEvent(gBoxGone);
}

std::string gTemp;   // this run's folder for the send and record files
SOCKET gPeer = INVALID_SOCKET;
int gRx = 0;

// A fresh link to a peer socket, from a blank screen; the TX port is the
// peer's unless txPort says otherwise. The peer is bound to every address,
// so it hears loopback broadcasts too.
bool connect(const char* ip = "127.0.0.1", const char* txPort = nullptr) {
  clearMessages();
  gPeer = boundSocket(0, true);
  SOCKET probe = boundSocket(0);
  gRx = portOf(probe);
  closesocket(probe);
  gfUdpMode = 1;
  setText(gszIPString, sizeof gszIPString, ip);
  setText(gszRX_PortString, sizeof gszRX_PortString, std::to_string(gRx));
  setText(gszTX_PortString, sizeof gszTX_PortString, txPort ? txPort : std::to_string(portOf(gPeer)).c_str());
  const bool opened = gPeer != INVALID_SOCKET && gRx != 0 && openConnection() == 1;
  ClearDISPLAYScreen();   // of the open's "-UDP to ...-" too
  return opened;
}

void disconnect() {
  if (gfConnected) closeConnection();
  if (gPeer != INVALID_SOCKET) closesocket(gPeer);
  gPeer = INVALID_SOCKET;
}

void peerGoesAwayAndComesBack() {
  check(connect(), "udpfault_open", messages());
  if (!gfConnected) return disconnect();
  sendTo(gPeer, gRx, "up>");
  typeKeys("a");
  const std::string first = receiveOne(gPeer, 3000);
  check(first == "a" && waitFor([] { return gridHas("up>"); }, 3000), "udpfault_link_up", first);

  // The peer's socket closes: each datagram to its port draws an ICMP
  // port-unreachable. The send socket is not connected, and it never
  // receives, so nothing of that reaches the program: no message, no hang.
  const int peerPort = portOf(gPeer);
  closesocket(gPeer);
  gPeer = INVALID_SOCKET;
  bool flushed = true;
  for (unsigned char c : std::string("lost")) {
    ProcessDISPLAYCharacter(nullptr, c);
    flushed = flushed && waitFor([] { return gComTxLen == 0; }, 3000);
  }
  const std::string path = gTemp + "send.txt";
  std::string file;
  for (int i = 0; i < 200; i++) file += static_cast<char>('f' + i % 3);
  std::ofstream(path, std::ios::binary) << file;
  setText(gszSendPathName, sizeof gszSendPathName, path);
  Do(kCmdSendRaw);
  const bool sent = waitFor(idle, 10000) && waitFor([] { return gComTxLen == 0; }, 3000);
  check(flushed && sent && messages().empty() && gfConnected == 1 && gfUdpOpen == 1,
        "udpfault_sends_to_a_gone_peer_go_on_silently", messages());

  SOCKET other = boundSocket(0);
  sendTo(other, gRx, "<other>");
  check(waitFor([] { return gridHas("<other>"); }, 3000), "udpfault_others_still_heard", screen());
  closesocket(other);

  const double c0 = cpuSeconds();
  Sleep(500);
  const double used = cpuSeconds() - c0;
  check(used < 0.25, "udpfault_idle_worker_waits", std::to_string(used) + " s of processor in 0.5 s");

  gPeer = boundSocket(peerPort);
  check(gPeer != INVALID_SOCKET, "udpfault_peer_back_on_its_port");
  if (gPeer == INVALID_SOCKET) return disconnect();
  typeKeys("b");
  const std::string back = receiveOne(gPeer, 3000);
  const std::string late = receiveOne(gPeer, 100);
  check(back == "b" && late == "(none)", "udpfault_peer_back_hears_only_new_bytes", back + " / " + late);
  sendTo(gPeer, gRx, "back");
  waitFor([] { return gridHas("<other>back"); }, 3000);
  const std::string want = std::string("up>|Sending|") + kFinished + "|<other>back";
  check(screen() == want && messages().empty(), "udpfault_peer_back_is_heard", screen() + " / " + messages());
  disconnect();
}

void oversizeFlood() {
  check(connect(), "udpfault_oversize_open", messages());
  if (!gfConnected) return disconnect();
  setText(gszRecPathName, sizeof gszRecPathName, gTemp + "oversize.rec");
  Do(kCmdRecordShown);
  Do(kCmdEraseScreen);
  const int32_t count0 = gByteCount;

  // Oversize datagrams of every length up to the largest, each followed by
  // a normal one once the previous box closed, so each has a box of its
  // own; no queue overflows and every normal one must arrive.
  std::string shown(kRxBlockSize, 'Y');
  sendTo(gPeer, gRx, shown);
  constexpr int kOversize = 120;
  bool paced = true;
  for (int i = 0; i < kOversize && paced; i++) {
    paced = waitFor([i] { return messageCount() >= i && !UdpReceiveErrorBoxUp(); }, 5000);
    int size = kRxBlockSize + 1 + (i * 7919) % (kLargestDatagram - kRxBlockSize);
    if (i == 1) size = kLargestDatagram;
    sendTo(gPeer, gRx, std::string(static_cast<size_t>(size), 'X'));
    const std::string normal = seqText("<%03d>", i);
    sendTo(gPeer, gRx, normal);
    shown += normal;
  }
  const std::string last = seqText("<%03d>", kOversize - 1);
  const bool all = paced && waitFor([&] {
    return gridHas(last) && messageCount() == kOversize && !UdpReceiveErrorBoxUp();
  }, 10000);
  const std::string g = grid();
  check(all && g.compare(0, shown.size() + 1, shown + " ") == 0 && g.find('X') == std::string::npos &&
            gByteCount - count0 == static_cast<int32_t>(shown.size()),
        "udpfault_oversize_never_shown_normal_ones_all_shown", screen().substr(0, 200));
  std::string want;
  for (int i = 0; i < kOversize; i++) want += "UDP receive error\n";
  // With nothing else going on, the datagram behind an oversize one is shown
  // and recorded by itself: no key, no further datagram needed to wake it.
  // The box is up, as a person reads it, while the next one arrives, and
  // reception does not wait for it; an oversize one meanwhile is counted.
  for (int i = 0; i < 3; i++) {
    const int before = messageCount();
    holdBoxes();
    sendTo(gPeer, gRx, std::string(i == 0 ? kRxBlockSize + 1 : i == 1 ? 5000 : kLargestDatagram, 'X'));
    waitFor([before] { return messageCount() > before; }, 5000);
    const std::string alone = seqText("(%d)", i);
    if (i == 2) sendTo(gPeer, gRx, std::string(5000, 'X'));
    sendTo(gPeer, gRx, alone);
    check(waitFor([&] { return gridHas(alone); }, 3000), "udpfault_oversize_next_datagram_wakes_the_worker",
          screen().substr(0, 200));
    dismissBox();
    shown += alone;
    want += "UDP receive error\n";
  }
  check(waitFor([] { return gridHas("-1 more UDP receive error-"); }, 3000),
        "udpfault_oversize_errors_while_up_counted", screen().substr(0, 200));
  check(messages() == want, "udpfault_oversize_one_receive_error_each",
        std::to_string(messageCount()) + " messages");
  Do(kCmdCloseRecord);
  check(readFile(gszRecPathName) == shown, "udpfault_oversize_never_recorded");
  typeKeys("z");
  const std::string z = receiveOne(gPeer, 3000);
  check(z == "z", "udpfault_oversize_link_goes_on", z);
  disconnect();
}

// A broadcast address reaches the peer (the loopback network's own, so
// nothing leaves this machine): the send socket may broadcast.
void broadcastReachesThePeer() {
  check(connect("127.255.255.255"), "udpfault_broadcast_open", messages());
  if (!gfConnected) return disconnect();
  typeKeys("all");
  std::string got;
  for (std::string d; got.size() < 3 && (d = receiveOne(gPeer, 3000)) != "(none)";) got += d;
  check(got == "all" && messages().empty(), "udpfault_broadcast_reaches_the_peer", got + " / " + messages());
  disconnect();
}

// A destination the system refuses (port 0): every send fails. The box for a failure
// holds the worker, never the window: typing goes on while it is up. The
// user is told once per failure that typing met, not once per pass, and the
// window stays usable to mend the address in Setup.
void sendsKeepFailing() {
  check(connect("127.0.0.1", "0"), "udpfault_refused_open", messages());
  if (!gfConnected) return disconnect();
  holdBoxes();
  typeKeys("a");
  const bool boxUp = waitFor([] { return messageCount() == 1; }, 3000);
  {
    Watchdog dog("udpfault_refused_typing_while_box_up", 5000);
    typeKeys("b");
  }
  check(boxUp && gComTxLen == 2, "udpfault_refused_typing_while_box_up", messages());
  dismissBox();
  // 'b' came after the first box: its send fails once more, reported once.
  const bool second = waitFor([] { return messageCount() == 2; }, 3000);
  const double c0 = cpuSeconds();
  Sleep(800);
  const double used = cpuSeconds() - c0;
  check(second && messages() == "UDP transmit error\nUDP transmit error\n" && used < 0.4,
        "udpfault_refused_one_box_per_typed_failure_no_spin", messages() + std::to_string(used) + " s of processor");

  // Setup mends the port: the link reopens and a key goes out.
  setText(gszTX_PortString, sizeof gszTX_PortString, std::to_string(portOf(gPeer)));
  SetupReopenLink(1);
  typeKeys("c");
  const std::string c = receiveOne(gPeer, 3000);
  check(gfConnected == 1 && c == "c" && messageCount() == 2, "udpfault_refused_mended_in_setup", c + " / " + messages());
  disconnect();
}

void floodWhileRecording() {
  check(connect(), "udpfault_flood_open", messages());
  if (!gfConnected) return disconnect();
  setText(gszRecPathName, sizeof gszRecPathName, gTemp + "flood.rec");
  Do(kCmdRecordShown);

  // Rounds sent as fast as the peer can, each small enough for the screen
  // to hold whole; the system may drop datagrams, but whatever is shown
  // must be in the file, in order, and nothing else.
  constexpr int kRounds = 3, kPerRound = 1400;
  std::string allShown;
  int seq = 0, previous = -1, datagrams = 0;
  bool rounds = true;
  for (int r = 0; r < kRounds && rounds; r++) {
    Do(kCmdEraseScreen);
    for (int i = 0; i < kPerRound; i++) sendTo(gPeer, gRx, seqText("[%05d]", seq++));
    // Once nothing has been taken for a while the queue is empty, and an
    // end mark sent then is shown after everything of the round. (Under
    // Wine a select on the program's socket from this thread is no sure
    // sign: marks sent once it found nothing waiting were lost.) Should the
    // mark still be lost, it is sent again.
    for (int32_t seen = -1, now; (now = gByteCount) != seen;) {
      seen = now;
      Sleep(200);
    }
    const std::string mark = seqText("{end%d}", r);
    bool marked = false;
    for (int tries = 0; tries < 3 && !marked; tries++) {
      sendTo(gPeer, gRx, mark);
      marked = waitFor([&] { return gridHas(mark); }, 2000);
    }
    // Shown: whole datagrams, each once, in the order sent, then the mark
    // (as often as it was sent) and nothing behind it.
    std::string g = grid();
    g.erase(g.find_last_not_of(' ') + 1);
    const size_t first = g.find(mark);
    rounds = marked && rising(g.substr(0, first), &previous, &datagrams);
    for (size_t at = first; rounds && at < g.size(); at += mark.size()) rounds = g.compare(at, mark.size(), mark) == 0;
    allShown += g;
  }
  Do(kCmdCloseRecord);
  check(rounds && datagrams > 0 && messages().empty(), "udpfault_flood_shown_whole_and_in_order",
        screen().substr(0, 200) + " / " + messages());
  const std::string recorded = readFile(gszRecPathName);
  check(recorded == allShown, "udpfault_flood_record_equals_screen",
        std::to_string(recorded.size()) + " recorded, " + std::to_string(allShown.size()) + " shown");
  std::printf("INFO udpfault_flood: %d of %d datagrams reached the program\n", datagrams, kRounds * kPerRound);
  disconnect();
}

}  // namespace

// Message boxes are remembered instead of shown: nobody clicks them here.
// The worker shows some, so the record is locked.
void platMessageBox(WindowHandle, const char* text, const char* caption, unsigned icon) {
  EnterCriticalSection(&gMsgLock);
  gMessages += text;
  if (!caption || std::strcmp(caption, gszAppName) != 0 || icon != kIconWarning) gMessages += " (wrong look)";
  gMessages += '\n';
  LeaveCriticalSection(&gMsgLock);
  // A box held up stays until the test dismisses it, as one a person reads.
  if (gHoldBoxes) WaitForSingleObject(gBoxGone, 10000);
}

int main() {
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  InitializeCriticalSection(&gMsgLock);
  WSADATA data;
  WSAStartup(MAKEWORD(2, 2), &data);   // for the peer sockets of this test
  char temp[MAX_PATH];
  GetTempPathA(sizeof temp, temp);
  gTemp = std::string(temp) + "zelto-udpfault-" + std::to_string(GetCurrentProcessId());
  CreateDirectoryA(gTemp.c_str(), nullptr);
  gTemp += "\\";
  gPackDelay = 0;
  peerGoesAwayAndComesBack();
  sendsKeepFailing();
  broadcastReachesThePeer();
  oversizeFlood();
  floodWhileRecording();
  for (const char* name : {"send.txt", "oversize.rec", "flood.rec"}) DeleteFileA((gTemp + name).c_str());
  RemoveDirectoryA(gTemp.c_str());
  return gFailures == 0 ? 0 : 1;
}

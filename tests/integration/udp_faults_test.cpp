// Faults a user meets on a UDP link: the peer goes away and comes back, the
// route to it vanishes for a while, oversize datagrams flood in, and a flood
// of datagrams arrives while recording.
#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "app/commands.h"
#include "display/keyboard.h"
#include "display/screen.h"
#include "link/connection.h"
#include "link/udp.h"
#include "platform/msgbox.h"
#include "platform/posix/headless.h"
#include "settings/globals.h"
#include "tests/support/netns.h"
#include "tests/support/pty.h"
#include "tests/support/state.h"
#include "transfer/filesend.h"
#include "transfer/record.h"

namespace {

const char kTxError[] = "UDP transmit error";
const char kRxError[] = "UDP receive error";
const char kFinished[] = "Transfer Finished, File Closed!";
constexpr int kLargestDatagram = 65507;   // the most an IPv4 datagram carries

double cpuSeconds() {
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  return ru.ru_utime.tv_sec + ru.ru_stime.tv_sec + (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

void setText(char* dst, size_t size, const std::string& text) {
  std::memset(dst, 0, size);
  std::strncpy(dst, text.c_str(), size - 1);
}

void settings(const char* ip, uint16_t rx, uint16_t tx) {
  gfUdpMode = 1;
  setText(gszIPString, sizeof gszIPString, ip);
  setText(gszRX_PortString, sizeof gszRX_PortString, std::to_string(rx));
  setText(gszTX_PortString, sizeof gszTX_PortString, std::to_string(tx));
}

// The keyboard path: each character as the window's character message.
void typeKeys(const std::string& text) {
  for (unsigned char c : text) ProcessDISPLAYCharacter(nullptr, c);
}

void Do(int id) { DoDISPLAYCommand(nullptr, id); }

bool idle() { return gfSendFileOpen == 0 && gLinePtr >= gLineMax; }

bool gridHas(const std::string& s) { return GridText().find(s) != std::string::npos; }

// The non-empty rows of the screen, joined by '|'.
std::string screen() {
  std::string s;
  for (int r = 0; r < kScreenRows; r++) {
    const std::string row = GridRow(r);
    if (row.empty()) continue;
    if (!s.empty()) s += '|';
    s += row;
  }
  return s;
}

// Whether the program's receive socket still holds a datagram.
bool rxQueued() {
  pollfd p{static_cast<int>(gRsock), POLLIN, 0};
  return poll(&p, 1, 0) > 0;
}

std::string seqText(const char* format, int i) {
  char b[32];
  std::snprintf(b, sizeof b, format, i);
  return b;
}

class UdpFaults : public ::testing::Test {
 protected:
  void SetUp() override {
    AbortSendFileQuietly();
    CloseRecFileQuietly();
    ResetProgramState();
    gPackDelay = 0;
    ASSERT_TRUE(peer.open("127.0.0.1", 0));
    rxPort = FreeUdpPort();
    ASSERT_NE(rxPort, 0);
    settings("127.0.0.1", rxPort, peer.port());
    char tmpl[] = "/tmp/zelto-udpfault-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
    std::snprintf(gszRecPathName, sizeof gszRecPathName, "%s/ZELTO.REC", dir.c_str());
  }
  void TearDown() override {
    if (gfConnected) closeConnection();
    if (gfUdpOpen) closeUDP();
    AbortSendFileQuietly();
    CloseRecFileQuietly();
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
  void useSendFile(const std::string& content) {
    const std::string path = dir + "/send.txt";
    std::ofstream(path, std::ios::binary) << content;
    std::snprintf(gszSendPathName, sizeof gszSendPathName, "%s", path.c_str());
  }
  std::string recordFile() const {
    std::ifstream in(gszRecPathName, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  void toProgram(const std::string& bytes) { ASSERT_TRUE(peer.sendTo("127.0.0.1", rxPort, bytes)); }

  UdpPeer peer;
  uint16_t rxPort = 0;
  std::string dir;
};

TEST_F(UdpFaults, APeerThatGoesAwayMissesWhatIsSentMeanwhileAndIsHeardAgainOnItsReturn) {
  ASSERT_EQ(openConnection(), 1);
  ClearDISPLAYScreen();   // of the open's text
  toProgram("up>");
  ASSERT_TRUE(WaitFor([] { return GridRow(0) == "up>"; }, 3000)) << GridRow(0);
  typeKeys("a");
  std::string d;
  ASSERT_TRUE(peer.receive(&d, 3000));
  EXPECT_EQ(d, "a");

  // The peer's socket closes: each datagram to its port now draws an ICMP
  // port-unreachable. The send socket is not connected, so the system
  // reports none of them: typed bytes and a file send go out into nothing,
  // with no message and no hang.
  const uint16_t peerPort = peer.port();
  peer.close();
  for (unsigned char c : std::string("lost")) {
    ProcessDISPLAYCharacter(nullptr, c);
    ASSERT_TRUE(WaitFor([] { return gComTxLen == 0; }, 3000)) << "the typed byte is still waiting";
  }
  std::string file;
  for (int i = 0; i < 200; i++) file += static_cast<char>('f' + i % 3);
  useSendFile(file);
  Do(kCmdSendRaw);
  ASSERT_TRUE(WaitFor(idle, 10000));
  ASSERT_TRUE(WaitFor([] { return gComTxLen == 0; }, 3000));

  // Another host still reaches the receive port.
  UdpPeer other;
  ASSERT_TRUE(other.open("127.0.0.1", 0));
  ASSERT_TRUE(other.sendTo("127.0.0.1", rxPort, "<other>"));
  ASSERT_TRUE(WaitFor([] { return gridHas("<other>"); }, 3000)) << screen();

  // Idle and connected to nobody, the worker waits between passes.
  const double c0 = cpuSeconds();
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_LT(cpuSeconds() - c0, 0.25);
  EXPECT_EQ(gfConnected.load(), 1);
  EXPECT_EQ(gfUdpOpen.load(), 1);
  EXPECT_EQ(headlessMessageCount(), 0) << headlessMessage(0).text;

  // Back on the same port: the first thing it hears is what is typed now,
  // and what it sends is shown.
  ASSERT_TRUE(peer.open("127.0.0.1", peerPort)) << "port " << peerPort << " was taken meanwhile";
  typeKeys("b");
  ASSERT_TRUE(peer.receive(&d, 3000));
  EXPECT_EQ(d, "b");
  EXPECT_FALSE(peer.receive(&d, 100)) << "late datagram: " << d;
  toProgram("back");
  ASSERT_TRUE(WaitFor([] { return gridHas("<other>back"); }, 3000)) << screen();
  EXPECT_EQ(screen(), std::string("up>|Sending|") + kFinished + "|<other>back");
  EXPECT_EQ(headlessMessageCount(), 0);
}

TEST_F(UdpFaults, ARouteThatVanishesReportsEverySendKeepsTypedBytesAndLosesFileBytes) {
  TestNetwork net;
  if (!net.makePair()) GTEST_SKIP() << "no private network namespaces can be made here: " << net.error();
  constexpr uint16_t kFarPort = 9000, kRxPort = 9001;
  UdpPeer far;
  bool farReady = false;
  RunInNetns(net.b(), [&] { farReady = far.open("0.0.0.0", kFarPort); });
  ASSERT_TRUE(farReady);
  settings(TestNetwork::kAddrB, kRxPort, kFarPort);
  int opened = -1;
  ASSERT_TRUE(RunInNetns(net.a(), [&] { opened = openConnection(); }));
  ASSERT_EQ(opened, 1);
  ClearDISPLAYScreen();   // of the open's text
  typeKeys("a");
  std::string d;
  ASSERT_TRUE(far.receive(&d, 3000));
  EXPECT_EQ(d, "a");

  // The route of the host a to the wire: taken away and put back.
  const auto setRoute = [&](const char* how) {
    const std::string cmd = "ip -n " + net.a() + " route " + how + " 10.201.0.0/24 dev zv0 >/dev/null 2>&1";
    return std::system(cmd.c_str()) == 0;
  };
  ASSERT_TRUE(setRoute("del"));

  // Without a route every send fails at once. A raw file send reads on: the
  // reader empties the buffer before each byte, so each file byte is tried
  // once and lost; the send still comes to its end. The user is told once,
  // not once a byte.
  std::string file;
  for (int i = 0; i < 100; i++) file += static_cast<char>('A' + i % 26);
  useSendFile(file);
  Do(kCmdSendRaw);
  ASSERT_TRUE(WaitFor(idle, 10000));
  EXPECT_EQ(gComTxLen.load(), 0);
  ASSERT_EQ(headlessMessageCount(), 1);
  const RecordedMessage m = headlessMessage(0);
  EXPECT_EQ(m.text, kTxError);
  EXPECT_EQ(m.caption, "Zelto v3.16");
  EXPECT_EQ(m.icon, kIconWarning);

  // Typed bytes stay queued and are tried again, quietly: a box for the
  // failure that typing met, none for the retries.
  headlessClearMessages();
  typeKeys("kept");
  ASSERT_TRUE(WaitFor([] { return headlessCountMessages(kTxError) >= 1; }, 3000));
  std::this_thread::sleep_for(std::chrono::milliseconds(700));
  const int boxes = headlessCountMessages(kTxError);
  EXPECT_LE(boxes, 4);
  std::this_thread::sleep_for(std::chrono::milliseconds(600));
  EXPECT_EQ(headlessCountMessages(kTxError), boxes) << "retries are not reported";
  EXPECT_EQ(gComTxLen.load(), 4);
  EXPECT_EQ(gfConnected.load(), 1);

  // The route comes back: the kept bytes leave once, in one datagram, and
  // the messages stop.
  ASSERT_TRUE(setRoute("add"));
  ASSERT_TRUE(far.receive(&d, 3000));
  EXPECT_EQ(d, "kept");
  EXPECT_FALSE(far.receive(&d, 100)) << "more arrived: " << d;
  const int reported = headlessMessageCount();
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(headlessMessageCount(), reported);
  EXPECT_EQ(headlessCountMessages(kTxError), reported);

  RunInNetns(net.b(), [&] { EXPECT_TRUE(far.sendTo(TestNetwork::kAddrA, kRxPort, "back")); });
  ASSERT_TRUE(WaitFor([] { return gridHas("back"); }, 3000)) << screen();
  EXPECT_EQ(screen(), std::string("Sending|") + kFinished + "|back");
}

TEST_F(UdpFaults, OversizeDatagramsAmongNormalOnesAreRefusedOneByOneAndNeverShownOrRecorded) {
  ASSERT_EQ(openConnection(), 1);
  Do(kCmdRecordShown);
  Do(kCmdEraseScreen);
  const int32_t count0 = gByteCount;

  // A full receive block first, then oversize datagrams of every length up
  // to the largest, each followed by a normal one once the previous box
  // closed, so each has a box of its own; the system's queue never
  // overflows and every normal one must arrive.
  std::string shown(kRxBlockSize, 'Y');
  toProgram(shown);
  constexpr int kOversize = 120;
  for (int i = 0; i < kOversize; i++) {
    ASSERT_TRUE(WaitFor([i] { return headlessMessageCount() >= i && !UdpReceiveErrorBoxUp(); }, 5000)) << i;
    int size = kRxBlockSize + 1 + (i * 7919) % (kLargestDatagram - kRxBlockSize);
    if (i == 1) size = kLargestDatagram;
    toProgram(std::string(static_cast<size_t>(size), 'X'));
    const std::string normal = seqText("<%03d>", i);
    toProgram(normal);
    shown += normal;
  }
  const std::string last = seqText("<%03d>", kOversize - 1);
  ASSERT_TRUE(WaitFor([&] { return gridHas(last); }, 10000)) << screen();

  EXPECT_EQ(GridText().substr(0, shown.size() + 1), shown + " ");
  EXPECT_EQ(GridText().find('X'), std::string::npos);
  EXPECT_EQ(gByteCount - count0, static_cast<int32_t>(shown.size()));
  // The last box comes from a thread of its own, maybe after the text.
  WaitFor([] { return headlessMessageCount() >= kOversize; }, 5000);
  ASSERT_EQ(headlessMessageCount(), kOversize);
  for (int i = 0; i < kOversize; i++) {
    const RecordedMessage m = headlessMessage(i);
    EXPECT_EQ(m.text, kRxError);
    EXPECT_EQ(m.caption, "Zelto v3.16");
    EXPECT_EQ(m.icon, kIconWarning);
  }
  Do(kCmdCloseRecord);
  EXPECT_EQ(recordFile(), shown);

  // The link goes on both ways.
  typeKeys("z");
  std::string d;
  ASSERT_TRUE(peer.receive(&d, 3000));
  EXPECT_EQ(d, "z");
}

TEST_F(UdpFaults, AReceiveErrorBoxNeverHoldsReceptionAndCountsTheErrorsWhileUp) {
  ASSERT_EQ(openConnection(), 1);
  Do(kCmdRecordShown);
  Do(kCmdEraseScreen);
  headlessHoldBoxes(true);   // the user reads the first box a while
  toProgram(std::string(kRxBlockSize + 1, 'X'));
  ASSERT_TRUE(WaitFor([] { return headlessMessageCount() == 1; }, 3000));
  for (int i = 0; i < 3; i++) {
    toProgram(std::string(5000, 'X'));
    toProgram(seqText("<%d>", i));
  }
  EXPECT_TRUE(WaitFor([] { return gridHas("<2>"); }, 3000)) << "reception waited for the box: " << screen();
  headlessHoldBoxes(false);
  ASSERT_TRUE(WaitFor([] { return !UdpReceiveErrorBoxUp(); }, 3000));
  toProgram("after");
  ASSERT_TRUE(WaitFor([] { return gridHas("after"); }, 3000)) << screen();
  EXPECT_EQ(screen(), "<0><1><2>|-3 more UDP receive errors-|after");
  EXPECT_EQ(headlessCountMessages(kRxError), 1);
  Do(kCmdCloseRecord);
  EXPECT_EQ(recordFile(), "<0><1><2>after");
}

TEST_F(UdpFaults, AFloodWhileRecordingRecordsExactlyWhatIsShownInOrder) {
  ASSERT_EQ(openConnection(), 1);
  Do(kCmdRecordShown);

  // Rounds of datagrams sent as fast as the peer can, each round small
  // enough for the screen to hold whole. The system may drop datagrams when
  // its queue overflows; whatever is shown must be in the file, in order,
  // and nothing else.
  constexpr int kRounds = 3, kPerRound = 1400;
  std::string allShown;
  int seq = 0;
  for (int r = 0; r < kRounds; r++) {
    Do(kCmdEraseScreen);
    for (int i = 0; i < kPerRound; i++) toProgram(seqText("[%05d]", seq++));
    // Once the queue is empty, an end mark sent now cannot be dropped; it is
    // shown after everything of the round.
    ASSERT_TRUE(WaitFor([] { return !rxQueued(); }, 20000));
    const std::string mark = seqText("{end%d}", r);
    toProgram(mark);
    ASSERT_TRUE(WaitFor([&] { return gridHas(mark); }, 5000)) << screen().substr(0, 200);
    const std::string grid = GridText();
    const size_t end = grid.find(mark) + mark.size();
    EXPECT_EQ(grid.find_first_not_of(' ', end), std::string::npos) << "something behind the end mark";
    allShown += grid.substr(0, end);
  }
  Do(kCmdCloseRecord);
  const std::string recorded = recordFile();
  EXPECT_EQ(recorded.size(), allShown.size());
  EXPECT_TRUE(recorded == allShown) << "the record file differs from the screen";

  // What was shown is whole datagrams, each once, in the order sent.
  int previous = -1, datagrams = 0;
  size_t at = 0;
  for (int r = 0; r < kRounds; r++) {
    for (;;) {
      ASSERT_LT(at, allShown.size());
      if (allShown[at] == '{') break;
      int n = -1;
      ASSERT_EQ(std::sscanf(allShown.c_str() + at, "[%5d]", &n), 1) << allShown.substr(at, 20);
      ASSERT_EQ(allShown[at + 6], ']') << allShown.substr(at, 20);
      EXPECT_GT(n, previous);
      previous = n;
      datagrams++;
      at += 7;
    }
    const std::string mark = seqText("{end%d}", r);
    ASSERT_EQ(allShown.compare(at, mark.size(), mark), 0) << allShown.substr(at, 20);
    at += mark.size();
  }
  EXPECT_EQ(at, allShown.size());
  EXPECT_GT(datagrams, 0);
  std::printf("[ flood    ] %d of %d datagrams reached the program\n", datagrams, kRounds * kPerRound);
  EXPECT_EQ(headlessMessageCount(), 0);
}

}  // namespace

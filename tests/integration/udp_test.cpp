// The UDP link with its worker on loopback: a peer socket plays the device,
// sending to the RX port and receiving what the program sends to the TX port.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <thread>

#include "display/screen.h"
#include "link/connection.h"
#include "link/udp.h"
#include "platform/msgbox.h"
#include "platform/posix/headless.h"
#include "settings/globals.h"
#include "tests/support/netns.h"
#include "tests/support/pty.h"
#include "tests/support/state.h"

namespace {

void setText(char* dst, size_t size, const std::string& text) {
  std::memset(dst, 0, size);
  std::memcpy(dst, text.data(), text.size() < size - 1 ? text.size() : size - 1);
}

bool gridStartsWith(const std::string& s) { return GridText().compare(0, s.size(), s) == 0; }

size_t gridCount(char c) {
  const std::string g = GridText();
  return static_cast<size_t>(std::count(g.begin(), g.end(), c));
}

uint16_t boundPort(PlatSocket s) {
  sockaddr_in a{};
  socklen_t len = sizeof a;
  if (getsockname(static_cast<int>(s), reinterpret_cast<sockaddr*>(&a), &len) != 0) return 0;
  return ntohs(a.sin_port);
}

class UdpLink : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetProgramState();
    ASSERT_TRUE(peer.open("127.0.0.1", 0));
    rxPort = FreeUdpPort();
    ASSERT_NE(rxPort, 0);
    gfUdpMode = 1;
    setText(gszIPString, sizeof gszIPString, "127.0.0.1");
    setPorts(std::to_string(rxPort), std::to_string(peer.port()));
  }
  void TearDown() override {
    if (gfConnected) closeConnection();
    if (gfUdpOpen || gSsock != kInvalidSocket || gRsock != kInvalidSocket) closeUDP();
  }
  static void setPorts(const std::string& rx, const std::string& tx) {
    setText(gszRX_PortString, sizeof gszRX_PortString, rx);
    setText(gszTX_PortString, sizeof gszTX_PortString, tx);
  }
  static void type(const std::string& text) {
    for (unsigned char c : text) sendCommByte(c);
  }
  // The datagrams the peer receives until they hold want bytes in all.
  std::string collect(size_t want, int* datagrams, int ms = 3000) {
    std::string all, d;
    *datagrams = 0;
    while (all.size() < want && peer.receive(&d, ms)) {
      EXPECT_FALSE(d.empty()) << "an empty datagram went out";
      all += d;
      ++*datagrams;
    }
    return all;
  }
  void toProgram(const std::string& bytes) { ASSERT_TRUE(peer.sendTo("127.0.0.1", rxPort, bytes)); }

  UdpPeer peer;
  uint16_t rxPort = 0;
};

TEST_F(UdpLink, EachFlushSendsOneDatagramOfAllQueuedBytesToTheTxPort) {
  // The link alone, flushed by hand: every flush is one worker pass.
  ASSERT_EQ(openUDP(), 1);
  EXPECT_EQ(gfUdpOpen.load(), 1);
  EXPECT_EQ(gMulticast, 0);
  EXPECT_EQ(headlessMessageCount(), 0);

  type("abc");
  EXPECT_EQ(transmitCommBlock(), 1);
  EXPECT_EQ(gComTxLen.load(), 0);
  std::string d;
  uint16_t from = 0;
  ASSERT_TRUE(peer.receive(&d, 2000, &from));
  EXPECT_EQ(d, "abc");
  // It leaves from a port the system chose, not from the RX port.
  EXPECT_NE(from, 0);
  EXPECT_NE(from, rxPort);
  EXPECT_FALSE(peer.receive(&d, 50)) << "a second datagram: " << d;

  // A full buffer goes out whole as one 4096-byte datagram.
  std::string full;
  for (int i = 0; i < kTxBufSize; i++) full += static_cast<char>('0' + i % 10);
  type(full);
  EXPECT_EQ(headlessCountMessages("COM Tx Overflow"), 1);
  EXPECT_EQ(transmitCommBlock(), 1);
  ASSERT_TRUE(peer.receive(&d, 2000));
  EXPECT_EQ(d, full);

  closeUDP();
  EXPECT_EQ(gfUdpOpen.load(), 0);
  EXPECT_EQ(gSsock, kInvalidSocket);
  EXPECT_EQ(gRsock, kInvalidSocket);
}

TEST_F(UdpLink, TypedBytesReachThePeerAndItsAnswersToTheSourcePortReachNothing) {
  ASSERT_EQ(openConnection(), 1);
  ClearDISPLAYScreen();   // of the open's "-UDP to ...-"
  EXPECT_EQ(gfConnected.load(), 1);
  const std::string text = "hello, device\r";
  uint16_t from = 0;
  std::string d;
  for (unsigned char c : text) {
    sendCommByte(c);
    std::this_thread::sleep_for(std::chrono::microseconds(300));
  }
  int datagrams = 0;
  ASSERT_TRUE(peer.receive(&d, 3000, &from));
  std::string all = d + collect(text.size() - d.size(), &datagrams);
  EXPECT_EQ(all, text);

  // The program hears only its RX port: an answer to the port its datagrams
  // came from is never read.
  ASSERT_TRUE(peer.sendTo("127.0.0.1", from, "lost"));
  toProgram("heard");
  ASSERT_TRUE(WaitFor([] { return gridStartsWith("heard"); }, 3000)) << GridRow(0);
  EXPECT_EQ(GridText().find("lost"), std::string::npos);
  EXPECT_EQ(headlessMessageCount(), 0);
}

TEST_F(UdpLink, DatagramsArriveWholeOneAtATimeAndEmptyOrOversizedOnesDoNotBlock) {
  ASSERT_EQ(openConnection(), 1);
  ClearDISPLAYScreen();   // of the open's "-UDP to ...-"
  toProgram("first");
  toProgram("");
  toProgram("second");
  ASSERT_TRUE(WaitFor([] { return gridStartsWith("firstsecond"); }, 3000)) << GridRow(0);
  // An empty datagram waiting alone, then one behind it.
  toProgram("");
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  toProgram("third");
  ASSERT_TRUE(WaitFor([] { return gridStartsWith("firstsecondthird"); }, 3000)) << GridRow(0);
  EXPECT_EQ(gByteCount.load(), 16);

  // Exactly one receive block arrives whole.
  toProgram(std::string(kRxBlockSize, 'Y'));
  ASSERT_TRUE(WaitFor([] { return gridCount('Y') == kRxBlockSize; }, 3000)) << gridCount('Y');
  EXPECT_EQ(headlessMessageCount(), 0);

  // One byte more is a receive error: nothing of it is shown or counted, and
  // the datagram behind it still arrives.
  toProgram(std::string(kRxBlockSize + 1, 'X'));
  toProgram("next");
  ASSERT_TRUE(WaitFor([] { return GridText().find("next") != std::string::npos; }, 3000));
  EXPECT_EQ(gridCount('X'), 0u);
  EXPECT_EQ(gByteCount.load(), 16 + kRxBlockSize + 4);
  ASSERT_TRUE(WaitFor([] { return headlessMessageCount() == 1; }, 3000));   // a box of its own thread
  EXPECT_EQ(headlessMessage(0).text, "UDP receive error");
  EXPECT_EQ(headlessMessage(0).caption, "Zelto v3.16");
  EXPECT_EQ(headlessMessage(0).icon, kIconWarning);
}

TEST_F(UdpLink, PortTextsAreReadAtEveryOpenAndOnlyTheirLow16BitsReachTheWire) {
  // Leading blanks and zeros.
  setPorts(" 0" + std::to_string(rxPort), "00" + std::to_string(peer.port()));
  ASSERT_EQ(openConnection(), 1);
  EXPECT_EQ(gRX_PortNum, rxPort);
  EXPECT_EQ(gTX_PortNum, peer.port());
  const std::string opened =
      "-UDP to 127.0.0.1:" + std::to_string(peer.port()) + ", listening on " + std::to_string(rxPort) + "-";
  EXPECT_EQ(GridRow(1), opened);
  ClearDISPLAYScreen();
  toProgram("zero");
  ASSERT_TRUE(WaitFor([] { return gridStartsWith("zero"); }, 3000)) << GridRow(0);
  type("z");
  std::string d;
  ASSERT_TRUE(peer.receive(&d, 3000));
  EXPECT_EQ(d, "z");
  closeConnection();

  // No digits: port 0, so the system picks the receive port.
  setPorts("abc", std::to_string(peer.port()));
  ASSERT_EQ(openConnection(), 1);
  EXPECT_EQ(gRX_PortNum, 0);
  EXPECT_NE(boundPort(gRsock), 0);
  closeConnection();

  // Above 65535: bound and sent to with the low 16 bits, kept whole.
  ClearDISPLAYScreen();
  const int32_t rxBig = rxPort + 65536;
  const int32_t txBig = peer.port() + 65536;
  setPorts(std::to_string(rxBig), std::to_string(txBig));
  ASSERT_EQ(openConnection(), 1);
  EXPECT_EQ(gRX_PortNum, rxBig);
  EXPECT_EQ(gTX_PortNum, txBig);
  EXPECT_EQ(boundPort(gRsock), rxPort);
  EXPECT_EQ(GridRow(1), opened) << "the ports the sockets use";
  ClearDISPLAYScreen();
  toProgram("wrapped");
  ASSERT_TRUE(WaitFor([] { return gridStartsWith("wrapped"); }, 3000)) << GridRow(0);
  type("w");
  ASSERT_TRUE(peer.receive(&d, 3000));
  EXPECT_EQ(d, "w");
  closeConnection();
  EXPECT_EQ(headlessMessageCount(), 0);
}

TEST_F(UdpLink, ATakenRxPortFailsTheOpenWithTheNumbersAsTypedAndLeavesNoSocket) {
  UdpPeer blocker;
  ASSERT_TRUE(blocker.open("0.0.0.0", rxPort));
  const int socketsBefore = OpenSocketCount();

  EXPECT_EQ(openConnection(), 0);
  const int32_t rxBig = rxPort + 65536;
  setPorts(std::to_string(rxBig), std::to_string(70000));
  EXPECT_EQ(openConnection(), 0);

  ASSERT_EQ(headlessMessageCount(), 2);
  EXPECT_EQ(headlessMessage(0).text, "Cannot open UPD: IP 127.0.0.1  RX-Port " + std::to_string(rxPort) +
                                         "  TX-Port " + std::to_string(peer.port()));
  EXPECT_EQ(headlessMessage(0).caption, "Zelto v3.16");
  EXPECT_EQ(headlessMessage(0).icon, kIconError);
  EXPECT_EQ(headlessMessage(1).text,
            "Cannot open UPD: IP 127.0.0.1  RX-Port " + std::to_string(rxBig) + "  TX-Port 70000");
  EXPECT_EQ(gfConnected.load(), 0);
  EXPECT_EQ(gfUdpOpen.load(), 0);
  EXPECT_EQ(gfThreadCut.load(), 1);
  EXPECT_EQ(gMulticast, 0);
  EXPECT_EQ(gSsock, kInvalidSocket);
  EXPECT_EQ(gRsock, kInvalidSocket);
  EXPECT_EQ(OpenSocketCount(), socketsBefore);

  // Once the port is free again the same settings open.
  blocker.close();
  ASSERT_EQ(openConnection(), 1);
  EXPECT_EQ(boundPort(gRsock), rxPort);
}

TEST_F(UdpLink, AFailedSendKeepsTheBytesAndIsReportedOncePerTypedFailureNotPerPass) {
  // Port 0 cannot be sent to.
  setPorts(std::to_string(rxPort), "0");
  ASSERT_EQ(openUDP(), 1);
  type("ab");
  EXPECT_EQ(transmitCommBlock(), 0);
  EXPECT_EQ(transmitCommBlock(), 0);
  EXPECT_EQ(gComTxLen.load(), 2);
  // Once the destination can be reached, the kept bytes go out, once.
  gSaddr.port = htons(peer.port());
  EXPECT_EQ(transmitCommBlock(), 1);
  std::string d;
  ASSERT_TRUE(peer.receive(&d, 2000));
  EXPECT_EQ(d, "ab");
  EXPECT_EQ(gComTxLen.load(), 0);
  closeUDP();

  // With the worker: one box for the failed send that the key started, not
  // one per pass; the byte stays and is tried again quietly. A further key
  // meets the failure again and is reported again.
  headlessClearMessages();
  ASSERT_EQ(openConnection(), 1);
  type("q");
  ASSERT_TRUE(WaitFor([] { return headlessCountMessages("UDP transmit error") >= 1; }, 3000));
  std::this_thread::sleep_for(std::chrono::milliseconds(600));
  EXPECT_EQ(headlessMessageCount(), 1);
  EXPECT_EQ(headlessMessage(0).caption, "Zelto v3.16");
  EXPECT_EQ(headlessMessage(0).icon, kIconWarning);
  type("r");
  ASSERT_TRUE(WaitFor([] { return headlessCountMessages("UDP transmit error") >= 2; }, 3000));
  std::this_thread::sleep_for(std::chrono::milliseconds(600));
  EXPECT_EQ(headlessMessageCount(), 2);
  EXPECT_EQ(gComTxLen.load(), 2);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(gComTxBuf), 2), "qr");
  closeConnection();
  EXPECT_EQ(gComTxLen.load(), 0);
  EXPECT_FALSE(peer.receive(&d, 50));
}

TEST_F(UdpLink, AddressesOutsideTheGroupRangeNeverJoin) {
  // 223 and 240 lie just outside 224 to 239; a text that is no address
  // becomes 255.255.255.255. Nothing is sent, so no group is ever touched.
  struct Case {
    const char* text;
    uint32_t addr;
  };
  const Case cases[] = {{"223.255.255.254", inet_addr("223.255.255.254")},
                        {"240.0.0.1", inet_addr("240.0.0.1")},
                        {"10.224.0.1", inet_addr("10.224.0.1")},
                        {"not an address", 0xFFFFFFFFu}};
  for (const Case& c : cases) {
    setText(gszIPString, sizeof gszIPString, c.text);
    ASSERT_EQ(openUDP(), 1) << c.text;
    EXPECT_EQ(gMulticast, 0) << c.text;
    EXPECT_EQ(gSaddr.addr, c.addr) << c.text;
    EXPECT_EQ(gSaddr.family, AF_INET);
    closeUDP();
  }
  EXPECT_EQ(headlessMessageCount(), 0);
}

}  // namespace

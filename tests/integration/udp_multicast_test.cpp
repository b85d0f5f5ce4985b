// The UDP link with a multicast group or a broadcast address, on private
// networks the test makes:
// network namespaces stand for hosts, a veth pair for the wire between them.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
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

constexpr const char* kGroup = "239.201.0.1";
constexpr uint16_t kPort = 9000;

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

bool gridStartsWith(const std::string& s) { return GridText().compare(0, s.size(), s) == 0; }

// Whether a host's membership list (its /proc/net/igmp) holds the group.
bool groupListed(const std::string& ns, const char* group) {
  char hex[16];
  std::snprintf(hex, sizeof hex, "%08X", static_cast<unsigned>(inet_addr(group)));
  bool listed = false;
  RunInNetns(ns, [&] {
    std::ifstream in("/proc/thread-self/net/igmp");
    std::stringstream all;
    all << in.rdbuf();
    listed = all.str().find(hex) != std::string::npos;
  });
  return listed;
}

class UdpMulticast : public ::testing::Test {
 protected:
  void SetUp() override { ResetProgramState(); }
  void TearDown() override {
    if (gfConnected) closeConnection();
    if (gfUdpOpen) closeUDP();
  }
  // The program's sockets are made on the host a: its open runs there.
  int openOn(const std::string& ns, int (*open)()) {
    int result = -1;
    EXPECT_TRUE(RunInNetns(ns, [&] { result = open(); })) << "cannot enter " << ns;
    return result;
  }
};

#define MAKE_OR_SKIP(net, how) \
  if (!(net).how()) GTEST_SKIP() << "no private network namespaces can be made here: " << (net).error()

TEST_F(UdpMulticast, JoinsTheGroupHearsThePeerAndNeverHearsItself) {
  TestNetwork net;
  MAKE_OR_SKIP(net, makePair);
  UdpPeer peer;
  bool peerReady = false;
  RunInNetns(net.b(), [&] { peerReady = peer.open("0.0.0.0", kPort) && peer.joinGroup(kGroup, TestNetwork::kAddrB); });
  ASSERT_TRUE(peerReady);

  // Program and peer use the same port, so a datagram of the program's own
  // that came back would land on its receive socket.
  settings(kGroup, kPort, kPort);
  ASSERT_EQ(openOn(net.a(), openConnection), 1);
  ClearDISPLAYScreen();   // of the open's text
  EXPECT_EQ(gMulticast, 2);
  ASSERT_EQ(headlessMessageCount(), 1);
  EXPECT_EQ(headlessMessage(0).text, "Multicast group joined");
  EXPECT_EQ(headlessMessage(0).caption, "Zelto v3.16");
  EXPECT_EQ(headlessMessage(0).icon, kIconWarning);
  EXPECT_TRUE(groupListed(net.a(), kGroup));

  ASSERT_TRUE(peer.sendTo(kGroup, kPort, "from peer"));
  ASSERT_TRUE(WaitFor([] { return gridStartsWith("from peer"); }, 3000)) << GridRow(0);

  for (unsigned char c : std::string("mine")) sendCommByte(c);
  std::string got, d;
  while (got.size() < 4 && peer.receive(&d, 3000)) got += d;
  EXPECT_EQ(got, "mine");
  // Had the program's datagram come back, it would have been queued at once,
  // before the peer's next one.
  ASSERT_TRUE(peer.sendTo(kGroup, kPort, "|after"));
  ASSERT_TRUE(WaitFor([] { return GridText().find("|after") != std::string::npos; }, 3000)) << GridRow(0);
  EXPECT_TRUE(gridStartsWith("from peer|after")) << GridRow(0);
  EXPECT_EQ(headlessMessageCount(), 1);
}

TEST_F(UdpMulticast, EveryOpenJoinsAndClosingLeavesTheGroupWhileTheSocketStillExists) {
  TestNetwork net;
  MAKE_OR_SKIP(net, makePair);
  settings(kGroup, kPort, kPort);
  for (int round = 1; round <= 2; round++) {
    ASSERT_EQ(openOn(net.a(), openConnection), 1);
    EXPECT_EQ(headlessCountMessages("Multicast group joined"), round);
    EXPECT_TRUE(groupListed(net.a(), kGroup));
    // A second descriptor keeps the receive socket alive past the close: the
    // group is gone only if the close left it on purpose, first.
    const int keep = dup(static_cast<int>(gRsock));
    ASSERT_GE(keep, 0);
    closeConnection();
    EXPECT_EQ(gMulticast, 0);
    EXPECT_EQ(gfUdpOpen.load(), 0);
    EXPECT_FALSE(groupListed(net.a(), kGroup)) << "the group was still joined at close";
    close(keep);
  }
}

TEST_F(UdpMulticast, TheFirstOctetDecidesAndARefusedJoinLeavesAWorkingLink) {
  // A host without a network: every join is refused there, so the message
  // tells which addresses were taken for groups, and nothing leaves it.
  TestNetwork net;
  MAKE_OR_SKIP(net, makeLonelyHost);
  UdpPeer local;
  RunInNetns(net.a(), [&] { local.open("127.0.0.1", 0); });
  ASSERT_GE(local.fd(), 0);

  struct Case {
    const char* ip;
    bool group;
  };
  const Case cases[] = {{"223.255.255.255", false}, {"224.1.1.1", true}, {"239.255.255.255", true},
                        {"240.0.0.0", false}};
  for (const Case& c : cases) {
    headlessClearMessages();
    settings(c.ip, kPort, kPort);
    ASSERT_EQ(openOn(net.a(), openUDP), 1) << c.ip;
    EXPECT_EQ(gfUdpOpen.load(), 1);
    EXPECT_EQ(gMulticast, 0) << c.ip;
    if (c.group) {
      ASSERT_EQ(headlessMessageCount(), 1) << c.ip;
      EXPECT_EQ(headlessMessage(0).text, "Multicast refused, check your Ethernet");
      EXPECT_EQ(headlessMessage(0).caption, "Zelto v3.16");
      EXPECT_EQ(headlessMessage(0).icon, kIconWarning);
    } else {
      EXPECT_EQ(headlessMessageCount(), 0) << c.ip;
    }
    // Without the group, datagrams to the RX port still arrive.
    ASSERT_TRUE(local.sendTo("127.0.0.1", kPort, c.ip));
    uint8_t block[kRxBlockSize];
    int32_t n = 0;
    WaitFor([&] { return (n = receiveUdpBlock(block, kRxBlockSize)) != 0; }, 2000);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(block), n > 0 ? n : 0), c.ip);
    closeUDP();
  }
}

TEST_F(UdpMulticast, ABroadcastAddressReachesThePeer) {
  TestNetwork net;
  MAKE_OR_SKIP(net, makePair);
  UdpPeer peer;
  bool peerReady = false;
  RunInNetns(net.b(), [&] { peerReady = peer.open("0.0.0.0", kPort); });
  ASSERT_TRUE(peerReady);
  settings("10.201.0.255", kPort + 1, kPort);   // the broadcast address of the pair's network
  ASSERT_EQ(openOn(net.a(), openConnection), 1);
  for (unsigned char c : std::string("all")) sendCommByte(c);
  std::string got, d;
  while (got.size() < 3 && peer.receive(&d, 3000)) got += d;
  EXPECT_EQ(got, "all");
  EXPECT_EQ(headlessMessageCount(), 0) << (headlessMessageCount() ? headlessMessage(0).text : "");
}

}  // namespace

// XMODEM and YMODEM against lrzsz (sx, sb, rx, rb) on a pseudo-terminal,
// both ways, through a relay that can spoil bytes: what arrives is the file,
// byte for byte, or the transfer stops with its reason and leaves no file
// under the real name.
#include <gtest/gtest.h>

#include <signal.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "app/commands.h"
#include "display/keyboard.h"
#include "link/connection.h"
#include "platform/posix/headless.h"
#include "settings/globals.h"
#include "settings/options.h"
#include "tests/support/modem_peer.h"
#include "tests/support/state.h"
#include "transfer/record.h"
#include "transfer/xmodem.h"
#include "transfer/xmodem_internal.h"

namespace fs = std::filesystem;

namespace {

std::string Slurp(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

// Random bytes whose last one is no padding byte (XMODEM leaves those out).
std::string Bytes(size_t n, unsigned seed) {
  std::mt19937 r(seed);
  std::string s(n, 0);
  for (char& c : s) c = static_cast<char>(r());
  if (n) s.back() = 'E';
  return s;
}

class Modem : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetProgramState();
    char tmpl[] = "/tmp/zelto-modem-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
    fs::create_directories(dir / "in");
    fs::create_directories(dir / "peer");
    std::snprintf(gszReceiveFolder, sizeof gszReceiveFolder, "%s", (dir / "in").c_str());
    peer = std::make_unique<ModemPeer>();
    ASSERT_EQ(openConnection(), 1);
  }
  void TearDown() override {
    if (gfConnected) closeConnection();
    peer.reset();
    gszReceiveFolder[0] = 0;
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
  std::string File(const std::string& name, const std::string& bytes) {
    const fs::path p = dir / name;
    std::ofstream(p, std::ios::binary) << bytes;
    return p.string();
  }
  static bool Shows(const std::string& t) { return GridText().find(t) != std::string::npos; }
  // lrzsz drops what comes while it sets its line up, and on a loaded
  // machine that can cost a block its 10 s answer time more than once.
  static bool Over() { return WaitFor([] { return ProtocolRunning() == 0; }, 60000); }
  // Sends files with Zelto to the peer program started after it.
  void SendTo(int ymodem, std::vector<std::string> files, std::vector<std::string> argv) {
    char paths[4][kPathMax];
    for (size_t i = 0; i < files.size(); i++) std::snprintf(paths[i], kPathMax, "%s", files[i].c_str());
    ASSERT_EQ(ProtocolSend(ymodem, paths, static_cast<int>(files.size())), 1);
    peer->start(argv, (dir / "peer").string());
  }
  void ReceiveFrom(int ymodem, std::vector<std::string> argv) {
    peer->start(argv, dir.string());
    ASSERT_EQ(ProtocolReceive(ymodem, ymodem ? ((dir / "in").string() + "/").c_str() : (dir / "in/x.bin").c_str()), 1);
  }
  // The screen's rows and the peer's own account, for a failure's message.
  std::string Log() {
    std::string rows;
    for (int r = 0; r < 128; r++) {
      if (!GridRow(r).empty()) rows += GridRow(r) + "\n";
    }
    for (const auto& e : fs::directory_iterator(dir / "in")) rows += "in: " + e.path().filename().string() + "\n";
    return "\n" + rows + Slurp(dir / "peer/peer.log") + Slurp(dir / "peer.log");
  }
  fs::path dir;
  std::unique_ptr<ModemPeer> peer;
};

TEST_F(Modem, XmodemChecksumCrcAnd1kArriveByteExactBothWays) {
  // To rx: the checksum (rx asks with NAK), CRC-16, 1K blocks; one block,
  // one byte more, and a larger file.
  struct Case { const char* crcFlag; int oneK; size_t size; };
  const Case to[] = {{nullptr, 1, 129}, {"-c", 0, 128}, {"-c", 1, 5000}};
  for (const Case& c : to) {
    gfXmodem1k = c.oneK;
    const std::string data = Bytes(c.size, static_cast<unsigned>(c.size));
    std::vector<std::string> argv = {"rx", "-q"};
    if (c.crcFlag) argv.push_back(c.crcFlag);
    argv.push_back("got.bin");
    SendTo(0, {File("x.bin", data)}, argv);
    ASSERT_TRUE(Over()) << Log();
    EXPECT_EQ(peer->wait(15000), 0) << Log();
    // XMODEM gives no size: rx keeps the last block's padding.
    const std::string got = Slurp(dir / "peer/got.bin");
    EXPECT_TRUE(got.compare(0, data.size(), data) == 0 && got.size() % 128 == 0 &&
                got.find_first_not_of('\x1a', data.size()) == std::string::npos)
        << c.size << Log();
    fs::remove(dir / "peer/got.bin");
  }
  EXPECT_TRUE(Shows("-XMODEM sent x.bin, 5 000 bytes in ")) << Log();
  // From sx: CRC, 1K, and the checksum once three 'C' went unanswered (the
  // relay keeps them from sx, which then waits for a NAK).
  const std::string data = Bytes(3000, 7);
  File("s.bin", data);
  for (const char* oneK : {"", "-k", ""}) {
    if (!*oneK && fs::exists(dir / "in/x (1).bin")) peer->drop('C');
    ReceiveFrom(0, {"sx", "-q", *oneK ? oneK : "-b", "s.bin"});
    ASSERT_TRUE(Over()) << Log();
    EXPECT_EQ(peer->wait(15000), 0) << Log();
  }
  EXPECT_TRUE(Slurp(dir / "in/x.bin") == data);
  EXPECT_TRUE(Slurp(dir / "in/x (1).bin") == data) << "never over a file";
  EXPECT_TRUE(Slurp(dir / "in/x (2).bin") == data) << Log();
  EXPECT_TRUE(Shows("-XMODEM received x (2).bin, 3 000 bytes in ")) << GridText();
}

TEST_F(Modem, YmodemBatchesBothWaysWithEmptyOneBlockAndOneMoreRecordingNothing) {
  const std::string one = Bytes(1024, 1), more = Bytes(1025, 2);
  const std::string files[] = {File("empty.bin", ""), File("one.bin", one), File("more.bin", more)};
  gfRecQuiet = 0;
  std::snprintf(gszRecPathName, sizeof gszRecPathName, "%s", (dir / "rec.txt").c_str());
  ASSERT_EQ(StartRecReceive(), 1);
  SendTo(1, {files[0], files[1], files[2]}, {"rb", "-vv"});
  // A key typed meanwhile is not sent: it would spoil the protocol.
  ProcessDISPLAYCharacter(nullptr, 'k');
  ProcessDISPLAYCharacter(nullptr, 'k');
  ASSERT_TRUE(Over()) << Log();
  EXPECT_EQ(peer->wait(15000), 0);
  EXPECT_TRUE(Slurp(dir / "peer/one.bin") == one);
  EXPECT_TRUE(Slurp(dir / "peer/more.bin") == more);
  EXPECT_TRUE(fs::exists(dir / "peer/empty.bin"));
  EXPECT_TRUE(Shows("-Keys are ignored while YMODEM runs, F8 aborts it-")) << GridText();
  EXPECT_TRUE(Shows("-YMODEM sent more.bin, 1 025 bytes in ")) << GridText();

  // From sb, into a folder where one.bin is taken already.
  File("in/one.bin", "mine");
  ReceiveFrom(1, {"sb", "-q", "-k", "one.bin", "more.bin", "empty.bin"});
  ASSERT_TRUE(Over()) << Log();
  EXPECT_EQ(peer->wait(15000), 0);
  EXPECT_EQ(Slurp(dir / "in/one.bin"), "mine");
  EXPECT_TRUE(Slurp(dir / "in/one (1).bin") == one);
  EXPECT_TRUE(Slurp(dir / "in/more.bin") == more);
  EXPECT_TRUE(fs::exists(dir / "in/empty.bin"));
  EXPECT_TRUE(Shows("-YMODEM received one (1).bin, 1 024 bytes in ")) << GridText();
  CloseRecFile();
  EXPECT_EQ(Slurp(dir / "rec.txt"), "") << "the record holds nothing of a protocol's bytes";
}

TEST_F(Modem, SpoiledBlocksAreSentAgainBothWays) {
  const std::string data = Bytes(20000, 3);
  peer->spoil(false, 5000);
  SendTo(1, {File("d.bin", data)}, {"rb", "-q"});
  ASSERT_TRUE(Over()) << Log();
  EXPECT_TRUE(Slurp(dir / "peer/d.bin") == data);
  EXPECT_TRUE(Shows("-YMODEM sent d.bin, 20 000 bytes in ")) << GridText();
  // The progress row changed in place into the end text: none is left.
  EXPECT_FALSE(Shows("YMODEM send d.bin ")) << Log();
  peer->wait(5000);
  peer->spoil(true, 7000);
  ReceiveFrom(1, {"sb", "-q", "-k", "d.bin"});
  ASSERT_TRUE(Over()) << Log();
  EXPECT_TRUE(Slurp(dir / "in/d.bin") == data);
  EXPECT_TRUE(Shows("-YMODEM received d.bin, 20 000 bytes in ")) << GridText();
}

TEST_F(Modem, CancelsAndF8BothWaysLeaveNoFileUnderItsName) {
  File("big.bin", Bytes(4 << 20, 4));
  const std::string big = (dir / "big.bin").string();
  auto inFolder = [&] { return std::distance(fs::directory_iterator(dir / "in"), fs::directory_iterator()); };
  // A receiver that cancels (CAN CAN on its side of the line).
  SendTo(1, {big}, {"rb", "-q"});
  ASSERT_TRUE(WaitFor([&] { return peer->toPeer() > 100000; }, 20000));
  peer->inject("\x18\x18");
  ASSERT_TRUE(Over()) << Log();
  EXPECT_TRUE(Shows("-Cancelled by the device-")) << Log();
  peer->signal(SIGKILL);
  peer->wait(5000);
  // A sender that stops mid-file: while the receiver waits for it, and
  // after F8, nothing lies under the file's name.
  ReceiveFrom(1, {"sb", "-q", "-k", "big.bin"});
  ASSERT_TRUE(WaitFor([&] { return peer->toTerminal() > 100000; }, 20000));
  peer->signal(SIGKILL);
  peer->wait(5000);
  EXPECT_EQ(ProtocolRunning(), 1);
  EXPECT_FALSE(fs::exists(dir / "in/big.bin"));
  DoDISPLAYCommand(nullptr, kCmdAbortSend);
  EXPECT_EQ(ProtocolRunning(), 0);
  EXPECT_EQ(inFolder(), 0);
  // F8 either way to a running peer: CAN five times ends it too.
  ReceiveFrom(1, {"sb", "-q", "-k", "big.bin"});
  ASSERT_TRUE(WaitFor([&] { return peer->toTerminal() > 100000; }, 20000));
  DoDISPLAYCommand(nullptr, kCmdAbortSend);
  EXPECT_NE(peer->wait(20000), 0);
  EXPECT_EQ(inFolder(), 0);
  SendTo(1, {big}, {"rb", "-q"});
  ASSERT_TRUE(WaitFor([&] { return peer->toPeer() > 100000; }, 20000));
  DoDISPLAYCommand(nullptr, kCmdAbortSend);
  EXPECT_NE(peer->wait(20000), 0);
  const std::string grid = Log();
  size_t aborted = 0;
  for (size_t at = grid.find("\nAborted\n"); at != std::string::npos; at = grid.find("\nAborted\n", at + 1)) aborted++;
  EXPECT_EQ(aborted, 3u) << grid;
  EXPECT_EQ(headlessCountMessages("Cannot Abort because not sending!"), 0);
}

// The test as a YMODEM sender of names a device may give.
TEST_F(Modem, HostileNamesStayInsideTheFolderOrAreRefused) {
  peer->detach();
  auto block0 = [&](const std::string& name) {
    std::string b = name + '\0' + '0';   // the name, then a size of 0
    b.resize(1024, '\0');
    const uint16_t crc = xmodem::Crc16(reinterpret_cast<const uint8_t*>(b.data()), 1024);
    return std::string("\x02\x00\xff", 3) + b + static_cast<char>(crc >> 8) + static_cast<char>(crc & 0xff);
  };
  ASSERT_EQ(ProtocolReceive(1, ((dir / "in").string() + "/").c_str()), 1);
  for (const char* name : {"../../x", "/etc/x", "C:\\x"}) {
    ASSERT_EQ(peer->receive(1, 5000), "C");
    peer->send(block0(name));
    ASSERT_EQ(peer->receive(2, 5000), "\x06" "C") << name;
    peer->send("\x04");
    ASSERT_EQ(peer->receive(1, 5000), "\x06");
  }
  ASSERT_EQ(peer->receive(1, 5000), "C");
  peer->send(block0(""));
  ASSERT_EQ(peer->receive(1, 5000), "\x06");
  ASSERT_TRUE(Over()) << Log();
  EXPECT_TRUE(fs::exists(dir / "in/x") && fs::exists(dir / "in/x (1)") && fs::exists(dir / "in/x (2)"));
  EXPECT_FALSE(fs::exists(dir / "x"));
  for (const std::string& name : {std::string("CON"), std::string("nul.txt"), std::string(300, 'n')}) {
    ASSERT_EQ(ProtocolReceive(1, ((dir / "in").string() + "/").c_str()), 1);
    ASSERT_EQ(peer->receive(1, 5000), "C");
    peer->send(block0(name));
    EXPECT_EQ(peer->receive(5, 5000), std::string(5, '\x18')) << name;
    ASSERT_TRUE(Over()) << Log();
  }
  EXPECT_TRUE(Shows("-YMODEM refused the file name CON-")) << GridText();
  EXPECT_EQ(std::distance(fs::directory_iterator(dir / "in"), fs::directory_iterator()), 3);
}

}  // namespace

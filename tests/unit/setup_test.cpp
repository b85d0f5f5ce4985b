// The Setup dialog's rules as the user meets them: what it shows, what Ok
// stores, when the link is closed and opened again, and what is reported.
//
// Every link that Ok opens here fails to open (COM ports name no device, the
// RX ports are held by the test), so each reopen shows itself as one
// "Cannot open ..." message and no worker thread is ever started.
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "link/connection.h"
#include "platform/posix/headless.h"
#include "platform/posix/paths.h"
#include "settings/globals.h"
#include "link/udp.h"
#include "settings/serial_options.h"
#include "settings/setup.h"
#include "tests/support/state.h"

namespace {

// Under the box's first line, the reason the device gave.
#define WHY "\n/nonexistent/zelto-test-port: No such file or directory"

template <size_t N>
void SetText(char (&field)[N], const char* text) {
  std::memset(field, 0, N);
  std::strncpy(field, text, N - 1);
}

class SetupDialog : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetProgramState();
    ghDISPLAYWnd = &mainWindow_;
    for (int n = 1; n <= 9; n++) posixSetComDevice(n, "/nonexistent/zelto-test-port");
    for (int port : {9000, 9001, 8000}) HoldUdpPort(port);
  }
  void TearDown() override {
    if (gfConnected) closeConnection();
    for (int n = 1; n <= 9; n++) posixSetComDevice(n, nullptr);
    for (int fd : held_) close(fd);
    ghDISPLAYWnd = nullptr;
  }
  void HoldUdpPort(int port) {
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_ANY);
    // Taken already by someone else is as good: the link's bind fails too.
    if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
      close(fd);
      return;
    }
    held_.push_back(fd);
  }

  static SetupControls Open() {
    SetupControls c;
    SetupControlsFromSettings(&c);
    return c;
  }
  static void Ok(SetupControls& c) { SetupReopenLink(SetupStoreControls(&c)); }

  // A link that is up as far as the dialog can tell.
  static void ConnectedSerial() {
    gfConnected = 1;
    gfComOpen = 1;
  }
  static std::vector<std::string> Messages() {
    std::vector<std::string> v;
    v.reserve(static_cast<size_t>(headlessMessageCount()));
    for (int i = 0; i < headlessMessageCount(); i++) v.push_back(headlessMessage(i).text);
    return v;
  }

  int mainWindow_ = 0;
  std::vector<int> held_;
};

TEST_F(SetupDialog, OpensShowingTheSettingsAndChangesNone) {
  SetupControls c = Open();
  EXPECT_STREQ(c.delimText, "0D");
  EXPECT_STREQ(gszDelimString, "0D");
  EXPECT_EQ(c.delaySel, 4);   // "10"
  EXPECT_EQ(c.delayValue, 10);
  EXPECT_EQ(c.portSel, 0);    // "COM1"
  EXPECT_EQ(c.baudSel, 4);    // "115.2k"
  EXPECT_EQ(c.baudValue, 115200);
  EXPECT_STREQ(c.ipText, "192.168.0.240");
  EXPECT_STREQ(c.rxPortText, "9000");
  EXPECT_STREQ(c.txPortText, "8000");
  EXPECT_EQ(c.udp | c.cts | c.skipComment | c.localEcho | c.hexEnter | c.hexPrint, 0);

  gDelimiter = 0x1FF;   // only the low byte is the delimiter
  gPackDelay = 100;
  gbPort = 6;
  gdwBaudRate = 9600;
  gfUdpMode = 1;
  gfCtsHandsh = 1;
  gfSkipBigComment = 1;
  gfLocalEcho = 1;
  gfHexEnter = 1;
  c = Open();
  EXPECT_STREQ(c.delimText, "FF");
  EXPECT_EQ(c.delaySel, 7);
  EXPECT_EQ(c.portSel, 5);
  EXPECT_EQ(c.baudSel, 0);
  EXPECT_EQ(c.udp, 1);
  EXPECT_EQ(c.cts, 1);
  EXPECT_EQ(c.skipComment, 1);
  EXPECT_EQ(c.localEcho, 1);
  EXPECT_EQ(c.hexEnter, 1);
  EXPECT_EQ(c.hexPrint, 0);

  // Values a preset can hold that no entry has: nothing selected. The zeros
  // after the six rates of the baud table are no entries either.
  for (int port : {0, 7, 200}) {
    gbPort = static_cast<uint8_t>(port);
    EXPECT_EQ(Open().portSel, -1) << port;
  }
  for (uint32_t rate : {0u, 12345u, static_cast<uint32_t>(-128 * 2400)}) {
    gdwBaudRate = rate;
    EXPECT_EQ(Open().baudSel, -1) << rate;
  }
  gPackDelay = 7;
  EXPECT_EQ(Open().delaySel, -1);

  // Opening and cancelling leaves the settings as they were.
  EXPECT_EQ(gbPort, 200);
  EXPECT_EQ(gPackDelay.load(), 7);
  EXPECT_EQ(gDelimiter.load(), 0x1FF);
  EXPECT_EQ(headlessMessageCount(), 0);
}

TEST_F(SetupDialog, DelimiterTextsThatAreValidBecomeTheByte) {
  const struct {
    const char* typed;
    int32_t value;
    const char* shown;
  } cases[] = {{"a", 0x0A, "0A"}, {"A0", 0xA0, "A0"}, {"0d5", 0x0D, "0D"}, {"ff", 0xFF, "FF"}, {"7", 0x07, "07"}};
  ConnectedSerial();
  for (const auto& t : cases) {
    gDelimiter = 0x42;
    SetupControls c = Open();
    SetText(c.delimText, t.typed);
    Ok(c);
    EXPECT_EQ(gDelimiter.load(), t.value) << t.typed;
    EXPECT_STREQ(gszDelimString, t.shown) << t.typed;
    EXPECT_STREQ(c.delimText, t.shown) << t.typed;
    EXPECT_STREQ(Open().delimText, t.shown);
  }
  EXPECT_EQ(headlessMessageCount(), 0);
}

TEST_F(SetupDialog, InvalidDelimiterWarnsAndKeepsTheOldOneWhileTheRestApplies) {
  ConnectedSerial();
  for (const char* typed : {"", " 1", "g1", "1g", ":", "/", "G", "`0"}) {
    headlessClearMessages();
    gDelimiter = 0x0D;
    gPackDelay = 10;
    SetupControls c = Open();
    SetText(c.delimText, typed);
    c.delaySel = 7;
    c.delayValue = 100;
    c.localEcho = 1;
    Ok(c);
    EXPECT_EQ(gDelimiter.load(), 0x0D) << '"' << typed << '"';
    EXPECT_EQ(gPackDelay.load(), 100) << typed;
    EXPECT_EQ(gfLocalEcho, 1);
    ASSERT_EQ(headlessMessageCount(), 1) << typed;
    const RecordedMessage m = headlessMessage(0);
    EXPECT_EQ(m.text, "Delimiter no valid Hex Number\n   --- left unchanged ---");
    EXPECT_EQ(m.caption, "Zelto v3.16");
    EXPECT_EQ(m.icon, 0x30u);
    EXPECT_TRUE(m.owned);
    // The next opening shows the delimiter that is in force.
    EXPECT_STREQ(Open().delimText, "0D");
  }
}

TEST_F(SetupDialog, SerialPortRateOrHandshakeChangeReopensInSerialMode) {
  struct Change {
    const char* name;
    void (*apply)(SetupControls&);
    const char* message;
  };
  const Change changes[] = {
      {"port", [](SetupControls& c) { c.portSel = 2; }, "Cannot open COM3 @ 115200 baud" WHY},
      {"rate", [](SetupControls& c) {
         c.baudSel = 0;
         c.baudValue = 9600;
       }, "Cannot open COM1 @ 9600 baud" WHY},
      {"cts", [](SetupControls& c) { c.cts = 1; }, "Cannot open COM1 @ 115200 baud" WHY},
  };
  for (const Change& ch : changes) {
    ResetProgramState();
    ghDISPLAYWnd = &mainWindow_;
    ConnectedSerial();
    SetupControls c = Open();
    ch.apply(c);
    Ok(c);
    EXPECT_EQ(Messages(), std::vector<std::string>{ch.message}) << ch.name;
    EXPECT_EQ(headlessMessage(0).icon, 0x10u);
    EXPECT_EQ(gfComOpen.load(), 0) << ch.name << ": the old port was closed";
    EXPECT_EQ(gfConnected.load(), 0);
    // The failed reopen still made the new values the Old copies; with no
    // link open, the next Ok without a change tries again all the same.
    EXPECT_EQ(gbOldPort, gbPort);
    EXPECT_EQ(gdwOldBaudRate, gdwBaudRate);
    EXPECT_EQ(gfOldCtsHandsh, gfCtsHandsh);
    SetupControls again = Open();
    Ok(again);
    EXPECT_EQ(Messages(), (std::vector<std::string>{ch.message, ch.message})) << ch.name;
  }
  EXPECT_EQ(gfCtsHandsh, 1);
}

TEST_F(SetupDialog, OtherChangesInSerialModeLeaveTheLinkOpen) {
  ConnectedSerial();
  SetupControls c = Open();
  c.delaySel = 0;
  c.delayValue = 0;
  SetText(c.delimText, "3b");
  c.skipComment = 1;
  c.localEcho = 1;
  c.hexEnter = 1;
  c.hexPrint = 1;
  SetText(c.ipText, "10.0.0.1");
  SetText(c.rxPortText, "7001");
  SetText(c.txPortText, "7002");
  Ok(c);
  EXPECT_EQ(headlessMessageCount(), 0);
  EXPECT_EQ(gfConnected.load(), 1);
  EXPECT_EQ(gfComOpen.load(), 1);
  EXPECT_EQ(gPackDelay.load(), 0);
  EXPECT_EQ(gDelimiter.load(), 0x3B);
  EXPECT_EQ(gfSkipBigComment.load() + gfLocalEcho + gfHexEnter + gfHexPrint.load(), 4);
  // The UDP settings are kept for the next UDP open; the open serial link
  // does not use them.
  EXPECT_STREQ(gszIPString, "10.0.0.1");
  EXPECT_STREQ(gszOldIPString, "192.168.0.240");
  EXPECT_STREQ(gszRX_PortString, "7001");
  EXPECT_STREQ(gszTX_PortString, "7002");
  EXPECT_EQ(gRX_PortNum, 9000);
  EXPECT_EQ(gTX_PortNum, 8000);
}

TEST_F(SetupDialog, UdpAddressOrPortNumberChangeReopensInUdpMode) {
  struct Change {
    const char* ip;
    const char* rx;
    const char* tx;
    const char* message;   // null: no reopen
  };
  const Change changes[] = {
      {"192.168.0.240", "9000", "8000", nullptr},
      {"192.168.0.240", "09000", "8000", nullptr},   // the same port number
      {"192.168.0.240", " +9000", "8000", nullptr},
      {"10.1.2.3", "9000", "8000", "Cannot open UPD: IP 10.1.2.3  RX-Port 9000  TX-Port 8000"},
      {"192.168.0.240", "8000", "8000", "Cannot open UPD: IP 192.168.0.240  RX-Port 8000  TX-Port 8000"},
      {"192.168.0.240", "9000", "8001", "Cannot open UPD: IP 192.168.0.240  RX-Port 9000  TX-Port 8001"},
      {"192.168.0.240", "9000", "port", "Cannot open UPD: IP 192.168.0.240  RX-Port 9000  TX-Port 0"},
  };
  for (const Change& ch : changes) {
    ResetProgramState();
    ghDISPLAYWnd = &mainWindow_;
    gfUdpMode = 1;
    gfConnected = 1;
    SetupControls c = Open();
    SetText(c.ipText, ch.ip);
    SetText(c.rxPortText, ch.rx);
    SetText(c.txPortText, ch.tx);
    Ok(c);
    EXPECT_STREQ(gszRX_PortString, ch.rx);   // stored as typed
    if (!ch.message) {
      EXPECT_EQ(headlessMessageCount(), 0) << ch.rx;
      EXPECT_EQ(gfConnected.load(), 1);
      EXPECT_EQ(gRX_PortNum, 9000);
      continue;
    }
    EXPECT_EQ(Messages(), std::vector<std::string>{ch.message});
    EXPECT_EQ(gfConnected.load(), 0);
    EXPECT_STREQ(gszOldIPString, ch.ip);
    // Nothing changed since, but no link is open: Ok tries again.
    SetupControls again = Open();
    Ok(again);
    EXPECT_EQ(Messages(), (std::vector<std::string>{ch.message, ch.message}));
  }
}

TEST_F(SetupDialog, SerialChangesInUdpModeLeaveTheLinkOpen) {
  gfUdpMode = 1;
  gfConnected = 1;
  SetupControls c = Open();
  c.portSel = 3;
  c.baudSel = 5;
  c.baudValue = 230400;
  c.cts = 1;
  Ok(c);
  EXPECT_EQ(headlessMessageCount(), 0);
  EXPECT_EQ(gfConnected.load(), 1);
  EXPECT_EQ(gbPort, 4);
  EXPECT_EQ(gdwBaudRate, 230400u);
  EXPECT_EQ(gfCtsHandsh, 1);
  EXPECT_EQ(gbOldPort, 1);
  EXPECT_EQ(gdwOldBaudRate, 115200u);
  EXPECT_EQ(gfOldCtsHandsh, 0);

  // Back to serial: the kind changes, and the port stored above is opened.
  c = Open();
  c.udp = 0;
  Ok(c);
  EXPECT_EQ(Messages(), std::vector<std::string>{"Cannot open COM4 @ 230400 baud" WHY});
  EXPECT_EQ(gfUdpMode.load(), 0);
  EXPECT_EQ(gbOldPort, 4);
}

TEST_F(SetupDialog, SwitchingToUdpClosesTheSerialLinkAndOpensWithTheDialogsValues) {
  ConnectedSerial();
  SetupControls c = Open();
  c.udp = 1;
  SetText(c.ipText, "10.0.0.7");
  SetText(c.rxPortText, "9001");
  SetText(c.txPortText, "8001");
  Ok(c);
  EXPECT_EQ(gfComOpen.load(), 0);
  EXPECT_EQ(gfUdpMode.load(), 1);
  EXPECT_EQ(Messages(), std::vector<std::string>{"Cannot open UPD: IP 10.0.0.7  RX-Port 9001  TX-Port 8001"});
  EXPECT_EQ(headlessMessage(0).icon, 0x10u);
  EXPECT_STREQ(gszOldIPString, "10.0.0.7");
  EXPECT_EQ(gRX_PortNum, 9001);
  EXPECT_EQ(gTX_PortNum, 8001);

  // A change of kind alone reopens, connected or not.
  headlessClearMessages();
  c = Open();
  c.udp = 0;
  Ok(c);
  EXPECT_EQ(Messages(), std::vector<std::string>{"Cannot open COM1 @ 115200 baud" WHY});
}

TEST_F(SetupDialog, ListsWithNoSelectionKeepTheirSettings) {
  gbPort = 9;
  gbOldPort = 9;
  gdwBaudRate = 12345;
  gdwOldBaudRate = 12345;
  gPackDelay = 7;
  ConnectedSerial();
  SetupControls c = Open();
  Ok(c);
  EXPECT_EQ(gbPort, 9);
  EXPECT_EQ(gdwBaudRate, 12345u);
  EXPECT_EQ(gPackDelay.load(), 7);
  EXPECT_EQ(headlessMessageCount(), 0);
  EXPECT_EQ(gfConnected.load(), 1);

  // Choosing an entry then takes it.
  c = Open();
  c.portSel = 1;
  Ok(c);
  EXPECT_EQ(gbPort, 2);
  EXPECT_EQ(Messages(), std::vector<std::string>{"Cannot open COM2 @ 12345 baud" WHY});
}

// The [serial] options' port and rate show no entry and stay; an entry
// chosen takes over from them. The CTS box is flow's rtscts.
TEST_F(SetupDialog, SerialOptionsShowNoEntryUntilOneIsChosen) {
  std::strcpy(gszSerialDevice, "/nonexistent/zelto-test-port");
  gSerialBaud = 74880;
  gSerialFlow = kFlowXonXoff;
  SetupControls c = Open();
  EXPECT_EQ(c.portSel, -1);
  EXPECT_EQ(c.baudSel, -1);
  Ok(c);
  EXPECT_EQ(gSerialFlow.load(), kFlowXonXoff) << "the box was not ticked";
  c = Open();
  c.cts = 1;
  Ok(c);
  EXPECT_EQ(gSerialFlow.load(), kFlowRtsCts);
  c = Open();
  c.portSel = 1;
  c.cts = 0;
  Ok(c);
  EXPECT_STREQ(gszSerialDevice, "");
  EXPECT_EQ(gSerialFlow.load(), kFlowNone);
  c = Open();
  EXPECT_EQ(c.baudSel, -1);
  c.baudSel = 0;
  c.baudValue = 9600;
  Ok(c);
  EXPECT_EQ(gSerialBaud.load(), 0);
  EXPECT_EQ(Messages(), (std::vector<std::string>{"Cannot open /nonexistent/zelto-test-port @ 74880 baud" WHY,
                                                  "Cannot open /nonexistent/zelto-test-port @ 74880 baud" WHY,
                                                  "Cannot open COM2 @ 74880 baud" WHY, "Cannot open COM2 @ 9600 baud" WHY}));
}

TEST_F(SetupDialog, OkWithHexEnterDropsAHalfTypedByte) {
  for (int wasOn : {0, 1}) {
    gfHexEnter = wasOn;
    gNibbleCount = 1;
    gTxByte = 0x0A;
    SetupControls c = Open();
    c.hexEnter = 1;
    Ok(c);
    EXPECT_EQ(gNibbleCount, 0) << wasOn;
    EXPECT_EQ(gTxByte, 0) << wasOn;
  }
}

TEST_F(SetupDialog, ControlTextsAreStoredTerminatedWithinTheirSettings) {
  SetupControls c = Open();
  std::memset(c.ipText, '1', sizeof c.ipText);
  std::memset(c.rxPortText, '9', sizeof c.rxPortText);
  std::memset(c.delimText, 'f', sizeof c.delimText);
  Ok(c);
  EXPECT_EQ(std::string(gszIPString), std::string(31, '1'));
  EXPECT_EQ(std::string(gszRX_PortString), std::string(15, '9'));
  EXPECT_EQ(gDelimiter.load(), 0xFF);
  // A port number too big for 32 bits stops at the largest one.
  EXPECT_EQ(PortTextToNumber(gszRX_PortString), 2147483647);
  EXPECT_EQ(PortTextToNumber("-99999999999"), -2147483647 - 1);
  EXPECT_EQ(PortTextToNumber("\t 42x"), 42);
  EXPECT_EQ(PortTextToNumber("-"), 0);
}

}  // namespace

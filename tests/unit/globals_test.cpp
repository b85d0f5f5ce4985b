// The settings a user meets with no preset file, and the shared flags.
#include <gtest/gtest.h>

#include <cstring>

#include "settings/globals.h"
#include "tests/support/state.h"

TEST(SharedState, DefaultsWithoutPresetFile) {
  ResetProgramState();
  EXPECT_STREQ(gszAppName, "Zelto v3.16");
  EXPECT_EQ(gbPort, 1);
  EXPECT_EQ(gdwBaudRate, 115200u);
  EXPECT_EQ(gfCtsHandsh, 0);
  EXPECT_EQ(gPackDelay.load(), 10);
  EXPECT_EQ(gDelimiter.load(), 0x0D);
  EXPECT_STREQ(gszIPString, "192.168.0.240");
  EXPECT_STREQ(gszOldIPString, gszIPString);
  EXPECT_STREQ(gszRX_PortString, "9000");
  EXPECT_STREQ(gszTX_PortString, "8000");
  EXPECT_EQ(gRX_PortNum, 9000);
  EXPECT_EQ(gTX_PortNum, 8000);
  EXPECT_EQ(gfUdpMode.load() | gfHexPrint.load() | gfHexEnter | gfLocalEcho | gfSkipBigComment.load(), 0);
  EXPECT_EQ(gfThreadCut.load(), 1);
  EXPECT_EQ(gfConnected.load(), 0);
}

TEST(SharedState, TablesAndStringWidthsThePresetFileRelyOn) {
  const int32_t baud[] = {9600, 19200, 38400, 57600, 115200, 230400};
  for (int i = 0; i < 6; i++) EXPECT_EQ(BaudTable[i], baud[i]);
  for (int i = 6; i < 12; i++) EXPECT_EQ(BaudTable[i], 0);
  const int32_t delay[] = {0, 1, 2, 5, 10, 20, 50, 100};
  EXPECT_EQ(std::memcmp(DelayTable, delay, sizeof delay), 0);
  EXPECT_EQ(sizeof gszIPString, 32u);
  EXPECT_EQ(sizeof gszRX_PortString, 16u);
  EXPECT_EQ(sizeof gszTX_PortString, 16u);
  EXPECT_EQ(sizeof gszSendPathName, 260u);
  EXPECT_EQ(sizeof gszRecPathName, 260u);
  EXPECT_EQ(sizeof GlfDISPLAYFont.lfFaceName, 32u);
}

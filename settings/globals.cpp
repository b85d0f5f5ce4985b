// The shared state's definitions and initial values.
#include "settings/globals.h"

#include <cstring>

#include "app/version.h"
#include "settings/options.h"

const char gszAppName[] = ZELTO_APP_NAME;
const char gszShortName[] = "Zelto";
const char gszToolName[] = "ZELTO.EXE";
const char gszPresetName[] = "ZELTO.SET";
const char gszDefaultRecName[] = "ZELTO.REC";

const int32_t BaudTable[12] = {9600, 19200, 38400, 57600, 115200, 230400, 0, 0, 0, 0, 0, 0};
const int32_t DelayTable[8] = {0, 1, 2, 5, 10, 20, 50, 100};

uint8_t gbPort = 1;
uint8_t gbOldPort = 1;
uint32_t gdwBaudRate = 115200;
uint32_t gdwOldBaudRate = 115200;
int32_t gfCtsHandsh = 0;
int32_t gfOldCtsHandsh = 0;
Flag32 gfUdpMode{0};
char gszIPString[32] = "192.168.0.240";
char gszOldIPString[32] = "192.168.0.240";
char gszRX_PortString[16] = "9000";
int32_t gRX_PortNum = 9000;
char gszTX_PortString[16] = "8000";
int32_t gTX_PortNum = 8000;
Flag32 gDelimiter{0x0D};
char gszDelimString[8] = "0d";
Flag32 gPackDelay{10};
Flag32 gfSkipBigComment{0};
int32_t gfLocalEcho = 0;
Flag32 gfHexPrint{0};
int32_t gfHexEnter = 0;
DisplayFontDesc GlfDISPLAYFont = {};
uint32_t GrgbFGColor = 0;
int32_t GxChar = 8;    // start-up replaces both from the scroll-bar metrics
int32_t GyChar = 16;

char gszSendPathName[kPathMax] = "";
char gszRecPathName[kPathMax] = "";
char gszPresetPathName[kPathMax] = "";

Flag32 gfConnected{0};
Flag32 gfComOpen{0};
Flag32 gfUdpOpen{0};
Flag32 gfThreadCut{1};
Flag32 gfTxBusy{0};
Flag32 gfSendFileOpen{0};
Flag32 gSendMode{0};
Flag32 gfRecFileOpen{0};
Flag32 gfRecRecv{0};
Flag32 gfRecQuiet{0};
Flag32 gfDropStream{0};
uint8_t gNibbleCount = 0;
uint8_t gTxByte = 0;
uint8_t gMulticast = 0;

std::atomic<WindowHandle> ghDISPLAYWnd{nullptr};

void ResetSharedState() {
  ResetOptions();
  gbPort = 1;
  gbOldPort = 1;
  gdwBaudRate = 115200;
  gdwOldBaudRate = 115200;
  gfCtsHandsh = 0;
  gfOldCtsHandsh = 0;
  gfUdpMode = 0;
  std::memset(gszIPString, 0, sizeof gszIPString);
  std::strcpy(gszIPString, "192.168.0.240");
  std::memcpy(gszOldIPString, gszIPString, sizeof gszIPString);
  std::memset(gszRX_PortString, 0, sizeof gszRX_PortString);
  std::strcpy(gszRX_PortString, "9000");
  gRX_PortNum = 9000;
  std::memset(gszTX_PortString, 0, sizeof gszTX_PortString);
  std::strcpy(gszTX_PortString, "8000");
  gTX_PortNum = 8000;
  gDelimiter = 0x0D;
  std::memset(gszDelimString, 0, sizeof gszDelimString);
  std::strcpy(gszDelimString, "0d");
  gPackDelay = 10;
  gfSkipBigComment = 0;
  gfLocalEcho = 0;
  gfHexPrint = 0;
  gfHexEnter = 0;
  GlfDISPLAYFont = DisplayFontDesc{};
  GrgbFGColor = 0;
  GxChar = 8;
  GyChar = 16;
  gszSendPathName[0] = 0;
  gszRecPathName[0] = 0;
  gszPresetPathName[0] = 0;
  gfConnected = 0;
  gfComOpen = 0;
  gfUdpOpen = 0;
  gfThreadCut = 1;
  gfTxBusy = 0;
  gfSendFileOpen = 0;
  gSendMode = 0;
  gfRecFileOpen = 0;
  gfRecRecv = 0;
  gfRecQuiet = 0;
  gfDropStream = 0;
  gNibbleCount = 0;
  gTxByte = 0;
  gMulticast = 0;
  ghDISPLAYWnd = nullptr;
}

int HexDigitValue(int ch) {
  if (ch >= '0' && ch <= '9') return ch - '0';
  if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
  if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
  return -1;
}

// The terminal's shared state: fixed names and tables, the settings and the
// status flags, each one named variable of static lifetime used by its name.
//
// Every flag or number that the worker thread reads or writes while the
// user-interface thread may change it is a lock-free std::atomic of the same
// width, so neither thread sees a torn or stale value. Strings keep their
// fixed widths: the preset file copies them whole.
#pragma once
#include <atomic>
#include <cstdint>

#include "platform/types.h"

using Flag32 = std::atomic<int32_t>;
static_assert(Flag32::is_always_lock_free, "shared flags must be lock-free");

// ---- Fixed names (never written) ----
extern const char gszAppName[];          // "Zelto v3.16": title, class, message caption
extern const char gszShortName[];        // "Zelto": menu resource name ("ZELTO")
extern const char gszToolName[];         // "ZELTO.EXE"
extern const char gszPresetName[];       // "ZELTO.SET"
extern const char gszDefaultRecName[];   // "ZELTO.REC"

// ---- Fixed tables ----
extern const int32_t BaudTable[12];      // 9600 .. 230400, then six zeros
extern const int32_t DelayTable[8];      // ms per byte: 0 1 2 5 10 20 50 100

// The display font description, laid out as the platform's LOGFONT.
struct DisplayFontDesc {
  int32_t lfHeight;
  int32_t lfWidth;
  int32_t lfEscapement;
  int32_t lfOrientation;
  int32_t lfWeight;
  uint8_t lfItalic;
  uint8_t lfUnderline;
  uint8_t lfStrikeOut;
  uint8_t lfCharSet;
  uint8_t lfOutPrecision;
  uint8_t lfClipPrecision;
  uint8_t lfQuality;
  uint8_t lfPitchAndFamily;
  char lfFaceName[32];
};
static_assert(sizeof(DisplayFontDesc) == 60, "LOGFONTA layout");

// ---- Settings ----
extern uint8_t gbPort;                  // serial port number, "COM" + number
extern uint8_t gbOldPort;               // port the open serial link was opened with
extern uint32_t gdwBaudRate;            // one of the first six BaudTable values
extern uint32_t gdwOldBaudRate;
extern int32_t gfCtsHandsh;             // CTS output handshake
extern int32_t gfOldCtsHandsh;
extern Flag32 gfUdpMode;                // 0 serial, 1 UDP
extern char gszIPString[32];            // UDP peer or group, dotted decimal
extern char gszOldIPString[32];
extern char gszRX_PortString[16];
extern int32_t gRX_PortNum;
extern char gszTX_PortString[16];
extern int32_t gTX_PortNum;
extern Flag32 gDelimiter;               // line delimiter: only the low byte counts
extern char gszDelimString[8];
extern Flag32 gPackDelay;               // file-send delay, ms after each byte
extern Flag32 gfSkipBigComment;         // leave /*...*/ out of a file send
extern int32_t gfLocalEcho;             // typed bytes also go to the screen
extern Flag32 gfHexPrint;               // received bytes shown as hex
extern int32_t gfHexEnter;              // keyboard hex entry
extern DisplayFontDesc GlfDISPLAYFont;  // height and face name are saved
extern uint32_t GrgbFGColor;            // text colour 0x00BBGGRR, not saved
extern int32_t GxChar;                  // character cell in pixels; guarded by
extern int32_t GyChar;                  //   the screen lock once the worker runs

// Full paths. The preset path is wider than the record's 80 bytes so that a
// long program folder still yields a complete path (it is not stored).
constexpr int kPathMax = 260;
extern char gszSendPathName[kPathMax];
extern char gszRecPathName[kPathMax];
extern char gszPresetPathName[kPathMax];

// ---- Status flags ----
extern Flag32 gfConnected;     // a link is open and the worker is meant to run
extern Flag32 gfComOpen;       // the serial port is open
extern Flag32 gfUdpOpen;       // the UDP sockets are open
extern Flag32 gfThreadCut;     // 1 when no worker runs (initially 1)
extern Flag32 gfTxBusy;        // the worker is writing the transmit buffer out
extern Flag32 gfSendFileOpen;  // a file is being sent
extern Flag32 gSendMode;       // 0 raw, 1 line by line, 2 line by line without comments
extern Flag32 gfRecFileOpen;   // a record file is open
extern Flag32 gfRecRecv;       // received blocks go to the record file (not paused)
extern Flag32 gfRecQuiet;      // quiet recording: dots instead of data
extern Flag32 gfDropStream;    // received bytes are not shown
extern uint8_t gNibbleCount;   // hex digits typed for the pending byte
extern uint8_t gTxByte;        // the byte being assembled in hex entry
extern uint8_t gMulticast;     // 0 no group, 1 group address, 2 group joined

// The main window; null until window creation has returned. The worker reads
// it for message-box owners and repaints.
extern std::atomic<WindowHandle> ghDISPLAYWnd;

// Puts every setting and flag back to its initial value (program load).
// Used by tests; the program itself starts from the static initial values.
void ResetSharedState();

// Value of one hexadecimal digit (either case), or -1 for any other
// character: the Setup fields, hex entry and the upload's \xHH bytes.
int HexDigitValue(int ch);

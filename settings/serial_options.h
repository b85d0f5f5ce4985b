// The serial port beyond the preset: the [serial] options of ZELTO.INI (any
// port, any rate, any framing, XON/XOFF) and the line they make together with
// the preset's port, rate and CTS handshake, which stay as they are.
#pragma once
#include <cstddef>
#include <cstdint>

#include "platform/types.h"
#include "settings/globals.h"

// A port's name or path: at most 255 characters.
constexpr int kSerialNameMax = 256;
extern char gszSerialDevice[kSerialNameMax];   // device = (empty: the preset's COM port)
extern Flag32 gSerialBaud;                     // baud = 0 (0: the preset's rate)
extern Flag32 gSerialDataBits;                 // data_bits = 8 (5 to 8)
enum : int32_t { kParityNone, kParityEven, kParityOdd, kParityMark, kParitySpace };
extern Flag32 gSerialParity;                   // parity = none | even | odd | mark | space
enum : int32_t { kStopOne, kStopOneHalf, kStopTwo };
extern Flag32 gSerialStopBits;                 // stop_bits = 1 | 1.5 | 2
enum : int32_t { kFlowNone, kFlowRtsCts, kFlowXonXoff };
extern Flag32 gSerialFlow;                     // flow = none | rtscts | xonxoff
// Set by the native program when its command line named a device for a COM
// port: the command line then chooses the device for this run, and device
// waits (kept in the file) until the user changes it in the Options dialog.
extern Flag32 gfPortsFromCommandLine;

constexpr uint32_t kSerialRateMin = 50;
constexpr uint32_t kSerialRateMax = 4000000;

// What a serial open asks of the port.
struct SerialLine {
  char name[kSerialNameMax];   // "COM1", "COM12", "/dev/ttyUSB0"
  uint32_t rate;
  int32_t dataBits;            // 5 to 8
  int32_t parity;              // kParity...
  int32_t stopBits;            // kStop...
  int32_t flow;                // kFlow...
};
bool SerialSameLine(const SerialLine& a, const SerialLine& b);

// The line the settings ask for now: device or else the preset's "COMn",
// baud or else the preset's rate, the framing, and the preset's CTS box
// (rtscts) before flow. Returns 0 when a port may not be asked for it: the
// preset's own rate only from its list (a damaged preset holds another), any
// other from kSerialRateMin to kSerialRateMax; 1.5 stop bits only with 5
// data bits, 2 only with 6 to 8 (as the ports of both systems take them).
int SerialLineFromSettings(SerialLine* line);
// Whether the device option chooses the port now (rather than the preset).
int SerialDeviceInUse();
// The platform's mode text: "baud=74880 parity=E data=7 stop=1.5".
void SerialModeText(const SerialLine& line, char* buf, size_t size);
// Rate, framing and flow as the status bar shows them: "921.6k 8E1 XON".
void SerialLineText(const SerialLine& line, char* buf, size_t size);
// The framing alone: "8N1", "7E2", "5N1.5".
void SerialFramingText(const SerialLine& line, char* buf, size_t size);

// The Setup dialog's CTS check box: on is flow rtscts; off ends rtscts and
// leaves xonxoff as it was.
void SerialSetCtsHandshake(int on);
// The Setup dialog's port and rate lists. The port shows no entry while the
// device option chooses the port; the rate shows the rate in use. A choice
// there that differs from what was shown takes over from device and baud.
int32_t SerialSetupPortShown();
uint32_t SerialSetupRateShown();
void SerialSetupPortChosen(int port);
void SerialSetupRateChosen(uint32_t rate);

// After LoadOptions has read the file: the preset's CTS box and flow made one
// (the file's rtscts or xonxoff win, none leaves the box as it is), and stop
// bits that the data bits cannot have set back to 1. A status text naming
// the key is appended to note (size bytes) for the latter.
void SerialOptionsLoaded(char* note, size_t size);

// The Options dialog's Ok, before anything is stored: stop bits that do not
// go with the data bits, and a change of the port's settings while a file is
// sent or recorded or a paste runs (Setup's refusal), are refused with a box
// owned by owner. Returns the row to stay on, or -1.
int SerialOptionsRefused(WindowHandle owner, const char* const* texts);
// The Options dialog's Ok, after every row is stored: the CTS box follows
// flow, a changed device ends the command line's choice, and a serial link
// whose settings changed is opened again, as Setup does.
void SerialOptionsStored(const char* deviceBefore);

// The rules of the [serial] rows of the options table: the device (a port of
// this system, and the list of those found now), the rate (0, or from
// kSerialRateMin to kSerialRateMax), and the framing rows, whose kinds say
// what they take and whose bad values in the file are told on the screen.
struct OptionRule;
extern const OptionRule kSerialDeviceRule;
extern const OptionRule kSerialBaudRule;
extern const OptionRule kSerialFramingRule;

// POSIX-only settings of where things are, for tests and native tools.
#pragma once
#include <cstddef>
#include <cstdint>

// Makes path stand for the running program (null or "" restores the real one),
// so that the program's folder, where the preset file lies, can be chosen.
void posixSetProgramPath(const char* path);

// Makes dir the folder of the program's own files (the preset and the record
// file): every name searched for is found there, whether or not a file of that
// name exists yet. The native program sets it at start; null or "" goes back
// to searching beside the running program.
void posixSetDataFolder(const char* dir);

// Chooses the device behind "COMn" (1 to 9). By default COMn is the n-th
// serial device of this machine (see posixComDevicePath); a USB adapter or a
// pseudo-terminal can stand in its place. A null or empty path restores the
// default.
void posixSetComDevice(int n, const char* path);
// The device that "COMn" opens: the one set above, or else the n-th of the
// machine's USB serial adapters (/dev/ttyUSB*, then /dev/ttyACM*, each in
// number order) followed by its built-in ports (/dev/ttyS0, /dev/ttyS1...).
// Writes the path into buf (len bytes); returns 0 when n names no port.
int posixComDevicePath(int n, char* buf, size_t len);
// Whether a device was chosen for "COMn" with posixSetComDevice (the native
// program: named on its command line).
int posixComDeviceNamed(int n);
// Pretends the modem input lines read mask (kModemCts...), for cables a
// pseudo-terminal cannot imitate; -1 reads the device again.
void posixSetModemLines(int mask);

// The serial devices of this machine in the order in which they become the
// COM ports not named with posixSetComDevice: USB serial adapters
// (/dev/ttyUSB*), USB modems and boards (/dev/ttyACM*), then the serial
// ports with a UART behind them (/dev/ttyS*), each kind in number order.
// Returns how many were written into list (at most max).
int posixFindSerialDevices(char (*list)[32], int max);
// Why a device cannot be used by this user, into why: it does not exist; it
// is no serial device (a file, a folder, a FIFO); no permission (with what
// to do about it); another program holds it (its name and process number). Returns 0, why empty, when nothing stands in the way.
int posixSerialDeviceProblem(const char* path, char* why, size_t len);
// For a device this user may not open: the group that may, and how to join
// it on Debian, into advice. Returns 0 when the device's permissions are not
// what stands in the way.
int posixSerialAccessAdvice(const char* path, char* advice, size_t len);
// Makes the local time of day read ms (milliseconds since midnight), for
// tests that check time stamps; -1 reads the clock again.
void posixSetLocalTimeOfDay(int32_t ms);
// The modem-line and break requests made since the last call, oldest first
// (at most 16): kControlDtr, kControlRts or kControlBreak, plus 1 for "on".
// Returns how many were put into out.
enum : int { kControlDtr = 0x10, kControlRts = 0x20, kControlBreak = 0x40 };
int posixTakeSerialControls(int* out, int max);
// What the last line settings asked of termios (the rate, c_cflag, c_iflag),
// noted before they are made: a pseudo-terminal keeps only some of them.
void posixAskedLineSettings(uint32_t* rate, uint32_t* cflag, uint32_t* iflag);
// Pretends a driver that cannot make a rate: asked for asked, the port reads
// back kept, as drivers that round to what their clock divides. 0, 0 ends it.
void posixPretendDriverRate(uint32_t asked, uint32_t kept);
// What the system says of a serial device, into out: its driver and, for a
// USB device, its vendor and product ("cp210x, USB 10c4:ea60 Silicon Labs
// CP2102 USB to UART Bridge Controller"). Returns 0 when it says nothing.
int posixSerialDeviceInfo(const char* path, char* out, size_t len);
// Makes dir stand for /sys (null or "" restores it), for tests.
void posixSetSysfsRoot(const char* dir);

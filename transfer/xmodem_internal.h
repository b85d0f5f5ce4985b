// What the XMODEM/YMODEM session (xmodem.cpp) shares with its sender
// (xmodem_send.cpp), its receiver (xmodem_recv.cpp) and the rules for the
// names of received files (xmodem_names.cpp). Everything here runs under
// the session's lock.
#pragma once
#include <cstddef>
#include <cstdint>

#include "platform/types.h"
#include "settings/globals.h"

namespace xmodem {

constexpr uint8_t kSoh = 0x01;   // a block of 128 bytes
constexpr uint8_t kStx = 0x02;   // a block of 1024 bytes
constexpr uint8_t kEot = 0x04;
constexpr uint8_t kAck = 0x06;
constexpr uint8_t kNak = 0x15;
constexpr uint8_t kCan = 0x18;
constexpr uint8_t kSub = 0x1A;   // the padding of a last block
constexpr uint8_t kCrcStart = 'C';
constexpr int kBlockMax = 1024;
constexpr int kPacketMax = 3 + kBlockMax + 2;
constexpr int kBatchMax = 16;

// The protocol's own timeouts: an answer to a block, the next block, and a
// receiver's start (each 10 s); the start character is repeated every 3 s;
// a block's bytes come without a gap of a second; a block that failed is
// answered once the line was quiet for a tenth of a second.
constexpr int64_t kAnswerUs = 10000000;
constexpr int64_t kStartRepeatUs = 3000000;
constexpr int64_t kByteGapUs = 1000000;
constexpr int64_t kQuietUs = 100000;
// A sender's first block follows the receiver's first start once the line
// was quiet this long; the end of a YMODEM batch waits this long for its
// ACK (an ACK later than that shows on the screen).
constexpr int64_t kSettleUs = 100000;
constexpr int64_t kEndAnswerUs = 250000;
constexpr int kRetries = 10;        // per block, and for the start
constexpr int kChecksumAfter = 3;   // XMODEM: 'C' three times unanswered, then NAK

uint16_t Crc16(const uint8_t* p, int n);
uint8_t Sum8(const uint8_t* p, int n);

// ---- The session's services (xmodem.cpp) ----
// Queues bytes for the link; false when the transmit buffer has no room
// for all of them now (nothing queued).
bool Put(const uint8_t* p, int32_t n);
bool PutByte(uint8_t b);
// The progress row: "YMODEM send blink.bin 48 KB of 120 KB, 2 retries"
// (total < 0: unknown); at most a few times a second unless force.
void Progress(const char* verb, const char* name, int64_t done, int64_t total, int retries, bool force);
// A file done: its end text ("-YMODEM sent blink.bin, 122 880 bytes in
// 5.6 s-") ends the row; the next row starts below.
void FileDone(const char* verb, const char* name, int64_t bytes, int64_t startUs);
// Stops the session: CAN five times when cancel (the device is told), then
// the reason ends the row.
void Stop(const char* reason, bool cancel);
// The session is over, every file done.
void Over();
const char* Kind();   // "XMODEM" or "YMODEM"

// ---- The sender (xmodem_send.cpp) ----
bool SendBegin(bool ymodem, bool oneK, const char (*paths)[kPathMax], int count, char* failed, size_t size);
void SendStep();
void SendBytes(const uint8_t* p, int32_t n, int64_t now);
void SendTick(int64_t now);
void SendDrop();   // closes its file

// ---- The receiver (xmodem_recv.cpp) ----
// XMODEM: path is the file to write; YMODEM: the folder.
void RecvBegin(bool ymodem, const char* path, int64_t now);
void RecvBytes(const uint8_t* p, int32_t n, int64_t now);
void RecvTick(int64_t now);
void RecvDrop();   // closes and deletes its unfinished file

// ---- Names (xmodem_names.cpp) ----
// A name the device gave reduced to a plain name inside the folder: its
// last component (after '/', '\\' or a drive's ':'), without trailing dots
// and blanks. Returns false when nothing plain is left: empty, "." or
// "..", a device name (CON, PRN, AUX, NUL, COM1-9, LPT1-9, with any
// extension), control characters or <>"|?*, or longer than 200 bytes.
bool PlainName(const char* raw, char* out, size_t size);
// The name shown for a refused one: control characters as '?', cut short.
void ShownName(const char* raw, char* out, size_t size);
// Creates a new temporary file in folder for name; its path into tmp.
// kInvalidHandle when none could be created.
PlatHandle CreateTemp(const char* folder, const char* name, char* tmp, size_t size);
// Gives the finished temporary file its name in folder, never over a file:
// a name taken becomes "name (1).ext", "name (2).ext"... The name given
// into final. Returns false when it could not be named.
bool PlaceFile(const char* tmp, const char* folder, const char* name, char* final, size_t size);
// The last component of a path.
const char* BaseName(const char* path);

}  // namespace xmodem

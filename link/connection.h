// The connection: one open link (serial or UDP), the worker thread that polls
// it, and the 4096-byte transmit buffer through which every byte goes out.
#pragma once
#include <atomic>
#include <cstdint>

#include "platform/types.h"
#include "settings/globals.h"

constexpr int kTxBufSize = 4096;
constexpr int kRxBlockSize = 1536;

extern uint8_t gComTxBuf[kTxBufSize];
extern Flag32 gComTxLen;                  // bytes waiting, 0..4096
extern PlatHandle ghThread;
extern std::atomic<uint32_t> gdwThreadID; // non-zero while the worker runs
extern char gszMessage[320];              // the open-failure text
extern Flag32 gByteCount;                 // received bytes, for quiet dots
// Bytes received and sent since the link opened, for the status bar.
extern std::atomic<uint64_t> gRxTotal;
extern std::atomic<uint64_t> gTxTotal;

extern const char gszAbortStr[];   // "Aborted\r"
extern const char gszCtsStr[];     // "COM Tx Timeout->"
extern const char gszDotStr[];     // "."

int openConnection();
void closeConnection();
int initThread();
void cutThread();
unsigned ComThread(void* unused);
int transmitCommBlock();
// key: a byte the user sent (a paste's, handed on by the worker), which a
// file send's drop of its own queued bytes leaves in place.
int sendCommByte(int byte, bool key = false);

// Empties the transmit buffer, exclusive with appends; bytes a flush already
// took over still go out. Used by the link opens and the close. Never waits
// for the device.
void EmptyCommTxBuffer();
// The bytes the transmit buffer can take now (those of a flush under way
// count against it).
int32_t TxFreeBytes();
// A transfer's bytes: all n appended, in order, or none when they do not
// fit (returns 0; no message: the transfer waits for room). A buffer filled
// exactly is no overflow. key: as for sendCommByte.
int AppendTransferBytes(const uint8_t* p, int32_t n, bool key = false);
// Drops the file-send bytes still queued and keeps the typed ones, in their
// order: what the file-send reader does when it starts a unit, so that a
// key typed during a send always reaches the device.
void DropQueuedFileBytes();

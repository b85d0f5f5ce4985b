// The connection: opening and closing the link, the worker's polling pass,
// and the transmit buffer shared by typing, file sends and the flush.
//
// Exclusion: one lock guards gComTxBuf and gComTxLen for every append, for
// the flush and for emptying. A serial flush moves what is queued into the
// worker's own out-buffer under the lock and writes it without the lock, so
// an append never waits for the device: a key typed while a write is
// blocked on a slow line is queued behind the bytes in flight (which still
// count against the buffer's 4096) and goes out with the next flush, in the
// order typed. A datagram send does not wait for the far end and runs under
// the lock, so a failed one keeps its bytes in place. No message box is
// ever shown while the lock is held.
#include "link/connection.h"

#include <cstdio>
#include <cstring>

#include "display/screen.h"
#include "display/timestamp.h"
#include "display/vt_screen.h"
#include "link/serial.h"
#include "link/udp.h"
#include "platform/msgbox.h"
#include "platform/serial.h"
#include "platform/thread.h"
#include "platform/window.h"
#include "settings/options.h"
#include "transfer/record.h"
#include "transfer/transfer.h"

uint8_t gComTxBuf[kTxBufSize];
Flag32 gComTxLen{0};
PlatHandle ghThread = kInvalidHandle;
std::atomic<uint32_t> gdwThreadID{0};
char gszMessage[320] = "";
Flag32 gByteCount{0};
std::atomic<uint64_t> gRxTotal{0};
std::atomic<uint64_t> gTxTotal{0};

const char gszAbortStr[] = "Aborted\r";
const char gszCtsStr[] = "COM Tx Timeout->";
const char gszDotStr[] = ".";

namespace {

CoreLock& txLock() {
  static CoreLock lock;
  return lock;
}

thread_local bool tOnWorker = false;

// Which queued bytes came from a file send (appended on the worker) and
// which were typed: the file-send engine drops its own bytes, never a key.
bool gComTxFile[kTxBufSize];
// The serial flush's out-buffer, the worker's own; gInFlight (under the
// lock) is its length while a write is under way.
uint8_t gTxOut[kTxBufSize];
int32_t gInFlight = 0;

// The worker's idle waits. While the link was busy a moment ago it waits
// 1 ms, so a device's answer to a typed line comes through at once; after
// about a tenth of a second of silence the wait grows to 10 ms, so that an
// idle connection costs next to nothing. A queued byte ends either wait at
// once. Received bytes end it too where the platform can wait on the link
// (a serial line on POSIX, a socket everywhere); a Win32 serial port is read
// at the end of the wait, when at 230400 baud some 230 bytes have come into
// the driver's queue, far from filling it.
constexpr int kShortIdleWaitMs = 1;
constexpr int kLongIdleWaitMs = 10;
constexpr int kQuietPassesBeforeLongWait = 100;
// Where the platform's wait ends as soon as the link has data (a POSIX
// serial line or socket), a short wait buys no promptness, only wake-ups:
// between a device's lines, and idle, the worker waits this long.
constexpr int kDataWakeIdleWaitMs = 100;
// A serial stream trickles in: at 230400 baud a few bytes each millisecond.
// After a read that emptied the line's queue, with nothing else to do, the
// worker lets the queue fill again this long (well inside a display frame,
// and far from filling the driver's queue) instead of waking for every few
// bytes; each wake-up and read costs calls into the system, and under Wine
// into the wineserver too. A queued byte ends the pause. A read of a few
// bytes (an echo, a short answer, bytes typed at the far end) is not a
// stream, and a large one is a flood, faster than any serial line: both are
// followed at once, so that neither waits. At 230400 baud 5 ms bring some
// 115 bytes.
constexpr int kGatherWaitMs = 5;
constexpr int32_t kGatherMinBytes = 8;
constexpr int32_t kGatherMaxBytes = 512;

void showOverflow() { platMessageBox(ghDISPLAYWnd.load(), "COM Tx Overflow", gszAppName, kIconWarning); }

enum class Flush { Done, Kept, SerialFailed, UdpFailed };
Flush gLastFlush = Flush::Done;

// A UDP send that keeps failing (an address the system refuses, no route)
// is reported once per failure that new input met, never once per pass:
// the first failure after a send went out, and then again only once the
// user has typed since the last box. The bytes stay queued and are tried
// again, quietly, when more are queued or after a pause; a reopen of the
// link drops them.
constexpr int64_t kUdpRetryUs = 250000;
uint32_t gAppendSeq = 0;                   // appends so far, under the transmit lock
std::atomic<bool> gTypedSinceReport{false};
bool gUdpFailing = false;                  // the worker's own, like the rest below
uint32_t gFailedAtSeq = 0;
int64_t gUdpRetryAt = 0;

// A failed flush is tried again only once something new was queued or the
// pause is over: retrying the same bytes on every pass would spin.
bool flushWanted() {
  if (!gUdpFailing) return true;
  uint32_t seq = 0;
  {
    ScopedLock hold(txLock());
    seq = gAppendSeq;
  }
  return seq != gFailedAtSeq || platMonotonicUs() >= gUdpRetryAt;
}

// The flush step: gfTxBusy is raised around the write. What a failure shows
// (a message box, the serial abort) comes after the flag dropped.
bool flushStep() {
  if (!flushWanted()) return false;
  uint32_t seq = 0;
  {
    ScopedLock hold(txLock());
    if (gComTxLen == 0) return false;
    gfTxBusy = 1;
    seq = gAppendSeq;
  }
  gLastFlush = Flush::Done;
  transmitCommBlock();
  {
    ScopedLock hold(txLock());
    gfTxBusy = 0;
  }
  platWakeWaiters();
  // A failed serial write ends whatever was being sent: the buffer is
  // dropped with the transfer, and the user is told on the screen.
  if (gLastFlush == Flush::SerialFailed && !SerialMarkLostIfGone()) TransferEndAll(TransferEnd::WriteFailed);
  if (gLastFlush == Flush::UdpFailed) {
    const bool report = !gUdpFailing || gTypedSinceReport.exchange(false);
    gUdpFailing = true;
    gFailedAtSeq = seq;
    gUdpRetryAt = platMonotonicUs() + kUdpRetryUs;
    if (report) {
      gTypedSinceReport = false;
      platMessageBox(ghDISPLAYWnd.load(), "UDP transmit error", gszAppName, kIconWarning);
    }
  } else if (gLastFlush == Flush::Done) {
    gUdpFailing = false;
  }
  return true;
}

void routeBlock(const uint8_t* block, int32_t n) {
  // A protocol's bytes are its own: neither shown nor recorded.
  if (TransferTakeReceived(block, n)) {
    gRxTotal.fetch_add(static_cast<uint64_t>(n), std::memory_order_relaxed);
    return;
  }
  // One time of arrival for the block: a line is stamped with the time its
  // first byte was taken from the link.
  char stamp[kStampLen + 1];
  const bool onScreen = gfTimeStamps != 0;
  const bool inRecord = gfTimeStampsInRecord != 0;
  if (onScreen || inRecord) FormatTimeStamp(platLocalTimeOfDayMs(), stamp);
  gRxTotal.fetch_add(static_cast<uint64_t>(n), std::memory_order_relaxed);
  if (gfRecRecv == 1) RecordReceivedBlock(block, n, inRecord ? stamp : nullptr);
  gByteCount += n;
  if (gfDropStream == 1) return;
  if (gfRecQuiet == 0) {
    WriteDISPLAYReceived(block, n, onScreen ? stamp : nullptr);
    return;
  }
  if (gByteCount > 2000) {
    WriteDISPLAYStatus(gszDotStr);
    winUpdateWindow(ghDISPLAYWnd.load());
    gByteCount = 0;
  }
}

}  // namespace

int openConnection() {
  // One worker at a time: a connection still running is ended first, so its
  // link is never reopened under it.
  if (gdwThreadID != 0) closeConnection();
  const int ok = gfUdpMode == 1 ? openUDP() : openCOM();
  gRxTotal = 0;
  gTxTotal = 0;
  VtNewConnection();
  if (ok) {
    gfConnected = 1;
    initThread();
    return ok;
  }
  if (gfUdpMode == 1) {
    std::snprintf(gszMessage, sizeof gszMessage, "Cannot open UPD: IP %s  RX-Port %d  TX-Port %d", gszIPString,
                  static_cast<int>(gRX_PortNum), static_cast<int>(gTX_PortNum));
  } else {
    std::snprintf(gszMessage, sizeof gszMessage, "Cannot open %s @ %u baud", SerialAskedName(),
                  static_cast<unsigned>(SerialAskedRate()));
  }
  // The box says why under its first line ("/dev/ttyUSB0: No such file or
  // directory"), and so does the screen, which keeps it after the box.
  char why[360] = "";
  if (gfUdpMode != 1) {
    if (platSerialOpenFailure()[0]) {
      std::snprintf(why, sizeof why, "%s", platSerialOpenFailure());
    } else {
      std::snprintf(why, sizeof why, "%s: the line settings were refused", SerialAskedName());
    }
    char status[sizeof why + 8];
    std::snprintf(status, sizeof status, "\r-%s-\r", why);
    WriteDISPLAYStatus(status);
  }
  // Where the system can say what to do about it (the group to join for a
  // device's permissions), the box says that under the reason.
  const char* advice = gfUdpMode == 1 ? "" : platSerialOpenAdvice();
  char text[sizeof gszMessage + sizeof why + 400];
  std::snprintf(text, sizeof text, "%s%s%s%s%s", gszMessage, why[0] ? "\n" : "", why, advice[0] ? "\n\n" : "",
                advice);
  platMessageBox(ghDISPLAYWnd.load(), text, gszAppName, kIconError);
  gfConnected = 0;
  return 0;
}

int initThread() {
  if (gdwThreadID != 0) return 1;   // a worker runs already: never a second one
  gfThreadCut = 0;
  gfConnected = 1;
  uint32_t id = 0;
  const PlatHandle h = platThreadCreate(ComThread, nullptr, &id);
  if (h == kInvalidHandle) {
    if (gfUdpMode == 1) {
      closeUDP();
    } else {
      closeCOM();
    }
    gfThreadCut = 1;
    platMessageBox(ghDISPLAYWnd.load(), "Resume: COM/UDP thread not started", gszAppName, kIconError);
    return 0;
  }
  ghThread = h;
  gdwThreadID = id;
  return 1;
}

void cutThread() {
  // The wait keeps servicing sent messages on Win32, so a worker that shows a
  // message box or repaints in its last pass still finishes.
  while (gdwThreadID != 0) platWaitForWake(1);
  if (ghThread != kInvalidHandle) platThreadClose(ghThread);
  ghThread = kInvalidHandle;
  gdwThreadID = 0;
  gfThreadCut = 1;
}

void closeConnection() {
  if (gfComOpen) purgeCOM();
  gfConnected = 0;
  platSignalWorker();
  cutThread();
  // From here on only this thread touches the link and the files.
  TransferEndAll(TransferEnd::LinkClosed);
  if (gfRecFileOpen) CloseRecFileQuietly();
  EmptyCommTxBuffer();
  if (gfComOpen) closeCOM();
  if (gfUdpOpen) closeUDP();
}

unsigned ComThread(void*) {
  static uint8_t block[kRxBlockSize];
  tOnWorker = true;
  gUdpFailing = false;
  int quietPasses = 0;
  while (gfConnected == 1 && gfThreadCut == 0) {
    const bool udp = gfUdpMode == 1;
    if (!udp && SerialLinkLost()) {
      // The device is gone: nothing is sent or polled until it is back
      // under the same port, reopened with the settings it had.
      if (RetryLostCOM()) {
        WriteDISPLAYStatus(SerialBackText());
        quietPasses = 0;
      } else {
        TransferEndAll(TransferEnd::LinkLost);
        EmptyCommTxBuffer();
        platWaitLinkIdle(kInvalidHandle, 0, kLongIdleWaitMs);
      }
      continue;
    }
    const TransferPass pass = TransferWorkerPass();
    bool worked = pass.worked;
    if (pass.sending && gComTxLen != 0 && flushStep()) worked = true;
    const int32_t n = udp ? receiveUdpBlock(block, kRxBlockSize)
                          : static_cast<int32_t>(receiveCommBlock(ghDISPLAYWnd.load(), block, kRxBlockSize));
    if (!udp && SerialLinkLost()) {
      WriteDISPLAYStatus(SerialLostText());
      continue;
    }
    if (n <= 0) {
      // Nothing arrived, nothing went out: wait for the link or for a queued
      // byte instead of spinning.
      if (n == 0 && !worked) {
        if (quietPasses < kQuietPassesBeforeLongWait) quietPasses++;
        int wait = quietPasses < kQuietPassesBeforeLongWait ? kShortIdleWaitMs : kLongIdleWaitMs;
        if (platLinkWaitEndsOnData(udp ? 1 : 0)) wait = kDataWakeIdleWaitMs;
        if (pass.waitMs >= 0 && pass.waitMs < wait) wait = pass.waitMs > 0 ? pass.waitMs : 1;
        // A transfer that follows the link closely (an upload's reply, a
        // protocol's answer) has its timeouts and next steps within a
        // millisecond.
        if (pass.shortWaits) wait = kShortIdleWaitMs;
        platWaitLinkIdle(udp ? gRsock : ghCom, udp ? 1 : 0, wait);
      } else if (worked) {
        quietPasses = 0;
      }
      continue;
    }
    quietPasses = 0;
    routeBlock(block, n);
    // A reply to an uploaded line or a protocol's block is no stream: the
    // next step follows at once.
    if (!udp && !worked && n >= kGatherMinBytes && n <= kGatherMaxBytes && !pass.noGather) {
      platWaitLinkIdle(kInvalidHandle, 0, kGatherWaitMs);
    }
  }
  gdwThreadID = 0;
  platWakeWaiters();
  return 0;
}

namespace {

void endFlight() {
  ScopedLock hold(txLock());
  gInFlight = 0;
}

}  // namespace

int transmitCommBlock() {
  if (gfUdpOpen == 1) {
    // A datagram goes out at once, without waiting for the far end: it is
    // sent from the buffer under the lock, and a failed one leaves the
    // bytes where they are, kept for a later try; the worker's flush step
    // tells the user.
    ScopedLock hold(txLock());
    if (!sendUdpBlock(gComTxBuf, gComTxLen)) {
      gLastFlush = Flush::UdpFailed;
      return 0;
    }
    gTxTotal.fetch_add(static_cast<uint64_t>(gComTxLen), std::memory_order_relaxed);
    gComTxLen = 0;
    return 1;
  }
  int32_t len = 0;
  {
    ScopedLock hold(txLock());
    len = gComTxLen;
    std::memcpy(gTxOut, gComTxBuf, static_cast<size_t>(len));
    gComTxLen = 0;
    gInFlight = len;
  }
  if (ghCom == kInvalidHandle) {
    // No port to write to (its device is gone): the bytes are dropped, as
    // they would be by the reopen that brings it back.
    endFlight();
    gLastFlush = Flush::Kept;
    return -2;
  }
  // A serial write waits for the line: it runs without the lock, so that
  // typing goes on meanwhile.
  const int32_t put = writeCommBlock(gTxOut, static_cast<uint32_t>(len));
  endFlight();   // sent, or discarded whole with the failed transfer
  if (put > 0) gTxTotal.fetch_add(static_cast<uint64_t>(put), std::memory_order_relaxed);
  if (put == len) return 1;
  gLastFlush = Flush::SerialFailed;
  return 0;
}

int sendCommByte(int byte, bool key) {
  txLock().lock();
  if (gComTxLen + gInFlight >= kTxBufSize) {
    txLock().unlock();
    showOverflow();
    return 0;
  }
  gComTxBuf[gComTxLen] = static_cast<uint8_t>(byte);
  gComTxFile[gComTxLen] = tOnWorker && !key;
  const bool full = ++gComTxLen + gInFlight >= kTxBufSize;
  gAppendSeq++;
  txLock().unlock();
  if (!tOnWorker) {
    gTypedSinceReport = true;
    platSignalWorker();
  }
  if (full) {
    showOverflow();
    return 0;
  }
  return 1;
}

int32_t TxFreeBytes() {
  ScopedLock hold(txLock());
  return kTxBufSize - gComTxLen - gInFlight;
}

int AppendTransferBytes(const uint8_t* p, int32_t n, bool key) {
  if (n <= 0) return 1;
  {
    ScopedLock hold(txLock());
    if (gComTxLen + gInFlight + n > kTxBufSize) return 0;
    for (int32_t i = 0; i < n; i++) {
      gComTxBuf[gComTxLen + i] = p[i];
      gComTxFile[gComTxLen + i] = tOnWorker && !key;
    }
    gComTxLen += n;
    gAppendSeq++;
  }
  if (!tOnWorker) platSignalWorker();
  return 1;
}

void EmptyCommTxBuffer() {
  ScopedLock hold(txLock());
  gComTxLen = 0;
}

void DropQueuedFileBytes() {
  ScopedLock hold(txLock());
  int32_t kept = 0;
  for (int32_t i = 0; i < gComTxLen; i++) {
    if (gComTxFile[i]) continue;
    gComTxBuf[kept] = gComTxBuf[i];
    gComTxFile[kept++] = false;
  }
  gComTxLen = kept;
}

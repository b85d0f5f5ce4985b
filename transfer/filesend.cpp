// The file-send engine: starting and ending a transfer, the pending work and
// key presses of the line modes, and the drainer that hands the queue byte by
// byte to the transmit buffer with the per-byte delay. The reader that takes
// the file unit by unit into the line queue is in filesend_read.cpp.
//
// Exclusion. One send lock guards the file handle, the read buffer, the line
// queue with its staging area, the held-back byte and the counters. The
// reader holds it across its file reads, so the raw-mode reader on the worker
// and the line-mode reader on the user-interface thread never read at once
// and no file is closed under a read; a key press replaces the queue inside
// one hold, so the drainer sees the old rest or the whole new unit. The lock
// is never held while calling into the connection (an append to a full
// transmit buffer shows a message box) nor while a message or status
// text is shown: those run after it is released. Nothing waits for the other
// thread while holding it, so neither thread can block the other for longer
// than one unit's file reads.
//
// Long lines. The read buffer takes up to 4096 bytes of a unit, and the
// queue 256. A unit (a line up to and including its delimiter, or the text
// before a "/*") is staged whole and queued in fills of up to 256 bytes; the
// drainer takes the next fill when the queue runs out. A run of 4096 bytes
// without a delimiter leaves the unit open: the drainer reads on from the
// file when the staged bytes are gone. One key press thus still sends the
// whole line, in order and with the same per-byte pacing, however long it
// is, and the unit still ends at the delimiter.
#include "transfer/filesend.h"

#include <atomic>
#include <cstdio>
#include <cstring>

#include "display/screen.h"
#include "link/connection.h"
#include "link/serial.h"
#include "platform/file.h"
#include "platform/msgbox.h"
#include "platform/window.h"
#include "settings/options.h"
#include "transfer/dialog_record.h"
#include "transfer/filesend_internal.h"
#include "transfer/transfer.h"

PlatHandle ghSendFile = kInvalidHandle;
uint8_t gsTXBuf[kReadBufSize];
int32_t gTXCol = 0;
uint8_t gsTXLineBuf[kLineQueueSize];
Flag32 gLineMax{0};
Flag32 gLinePtr{0};
Flag32 gfBack{0};
Flag32 gBackByte{0};
int32_t gSendSize = 0;
int32_t gComment = 0;
OpenFileRecord gofSendName{};
char gszSendName[kPathMax];
uint32_t gSendFileSeq = 0;

using namespace sendfile;

namespace {

// In the order of the send_filter option's choices (TEXT, FORTH, ALL).
const char kSendFilter[] =
    "Text Files (*.TXT)\0*.txt\0"
    "FORTH Files (*.fs;*.fth;*.4th;*.f;*.frt;*.forth)\0*.fs;*.fth;*.4th;*.f;*.frt;*.forth\0"
    "All Files (*.*)\0*.*\0";
const char kSendingStr[] = "\rSending\r";
const char kFinishedStr[] = "Transfer Finished, File Closed!";

CoreLock& sendLock() {
  static CoreLock lock;
  return lock;
}

// The thread that starts and stops transfers and runs the commands. The
// worker never calls those, so a reader call in a line mode on an unmarked
// thread while a worker runs is the worker's raw step overtaken by a mode
// change.
thread_local bool tCommandThread = false;

}  // namespace

namespace sendfile {

// The queue was filled by the raw-mode reader: its unsent rest is file data
// that a switch to a line mode must not lose.
bool gQueueRaw = false;
// Changes with every replacement of the queue, so a refill can tell that a
// key press replaced the unit meanwhile.
uint32_t gUnitSeq = 0;

// Work left over from a hold that used up its block read.
Pending gPending = Pending::None;
Pending gAfterComment = Pending::None;   // what follows the comment
int gPendingMode = 1;                    // the line mode of the pending unit
bool gCommentStar = false;               // the comment's last byte was a '*'
int gQueuedKeys = 0;                     // key presses waiting for the pending work
int gQueuedMode = 1;
std::atomic<bool> gHasPending{false};   // read by the worker without the lock

void runAfter(const After& a) {
  if (a.dot) WriteDISPLAYStatus(gszDotStr);
  if (a.finished) WriteDISPLAYStatus3("\r", kFinishedStr, "\r");
  if (a.readError) {
    DropQueuedFileBytes();
    platMessageBox(ghDISPLAYWnd.load(), "File Read Error!", nullptr, kIconWarning);
  }
}

void clearPending() {
  gPending = gAfterComment = Pending::None;
  gQueuedKeys = 0;
  gHasPending = false;
}

void closeFile() {
  if (ghSendFile != kInvalidHandle) platFileClose(ghSendFile);
  ghSendFile = kInvalidHandle;
  gfSendFileOpen = 0;
  resetAhead();
  clearPending();
}

void resetFilter() {
  gComment = 0;
  gLineKept = 0;
  gUnitFiltered = false;
  gHaveCarry = false;
}

void closeUnit() {
  gUnitOpen = false;
  resetFilter();
}

// Adds raw-mode bytes behind those already queued in this pass.
void appendQueue(const uint8_t* p, int32_t n) {
  std::memcpy(gsTXLineBuf + gLineMax.load(), p, static_cast<size_t>(n));
  gLineMax += n;
  gQueueRaw = true;
}

void queueBytes(const uint8_t* p, int32_t n, bool raw) {
  if (n > 0) std::memcpy(gsTXLineBuf, p, static_cast<size_t>(n));
  gLineMax = n;
  gLinePtr = 0;
  gQueueRaw = raw;
  gUnitSeq++;
}

void dropQueue() {
  gLinePtr = gLineMax.load();
  gQueueRaw = false;
  gUnitSeq++;
}

void queueFromStage() {
  int32_t n = gStageLen - gStagePos;
  if (n > kLineQueueSize) n = kLineQueueSize;
  queueBytes(gsStage + gStagePos, n, false);
  gStagePos += n;
}

// Makes the first n staged bytes the unit and queues its first fill; the
// previous unit's rest is replaced.
void stageAndQueue(int32_t n) {
  gStagePos = 0;
  gStageLen = n;
  queueFromStage();
}

// An early end: the file is closed and nothing more of this transfer is sent.
void endEarly() {
  closeFile();
  gTXCol = 0;
  gfBack = 0;
  gStagePos = gStageLen = 0;
  closeUnit();
  dropQueue();
}

// The end of the file: the file is closed; what is queued and staged still
// goes out.
void endAtFileEnd(After& after) {
  closeFile();
  closeUnit();
  after.finished = true;
}

// A key press's line read from its beginning.
void startLine(int mode) {
  gTXCol = 0;
  gComment = 0;
  resetFilter();
  gPending = Pending::Line;
  gPendingMode = mode;
}

// Carries the pending work on until it is done or the hold's block read is
// used up.
void runPending(After& after) {
  while (gPending != Pending::None) {
    if (ghSendFile == kInvalidHandle) {
      endEarly();
      return;
    }
    switch (gPending) {
      case Pending::Comment: {
        const int r = commentStep(after);
        if (r < 0) return;
        if (r == 0) {
          clearPending();
          return;
        }
        const Pending then = gAfterComment;
        gPending = gAfterComment = Pending::None;
        if (then == Pending::Line) startLine(gPendingMode);
        break;
      }
      case Pending::DropRest: {
        // A key press leaves the rest of an unfinished long unit unsent, as
        // it does with the queued rest of any unit: its unread bytes up to
        // the unit's end are read and dropped.
        gTXCol = 0;
        const Stop st = readUnit();
        gTXCol = 0;
        if (st == Stop::Yield) return;
        if (st == Stop::BufferFull) break;
        closeUnit();
        switch (st) {
          case Stop::Delimiter: startLine(gPendingMode); break;
          case Stop::BlockComment: beginComment(Pending::Line); break;
          case Stop::FileEnd:
            endAtFileEnd(after);
            clearPending();
            return;
          case Stop::ReadError:
            endEarly();
            after.readError = true;
            return;
          default:
            endEarly();
            return;
        }
        break;
      }
      case Pending::Line: {
        const Stop st = readUnit();
        if (st == Stop::Yield) return;
        gPending = Pending::None;
        if (!handleStop(st, gPendingMode == 2, after)) gPending = Pending::Line;
        break;
      }
      case Pending::None: break;
    }
  }
}

// The next unit in a line mode (commands 322 and 323).
void lineKeyPress(int mode, After& after) {
  gTXCol = 0;
  gComment = 0;
  if (ghSendFile == kInvalidHandle || gfConnected == 0) {
    endEarly();
    return;
  }
  gPendingMode = mode;
  if (gQueueRaw) {
    // Raw mode read it and the worker has not sent it yet: it leads the line.
    while (gLinePtr < gLineMax) gsTXBuf[gTXCol++] = gsTXLineBuf[gLinePtr++];
    gQueueRaw = false;
  } else if (gUnitOpen) {
    dropQueue();
    gStagePos = gStageLen = 0;
    gPending = Pending::DropRest;
    runPending(after);
    return;
  }
  resetFilter();
  if (gfBack) {
    const uint8_t held = static_cast<uint8_t>(gBackByte.load());
    gsTXBuf[gTXCol++] = held;
    gfBack = 0;
    if (held == delimiter()) {
      handleStop(Stop::Delimiter, mode == 2, after);
      runPending(after);
      return;
    }
  }
  gPending = Pending::Line;
  runPending(after);
}

// The pending work, then the key presses that waited for it; at the end of
// a line-mode unit the read-ahead goes back to the file.
void engineStep(After& after) {
  for (;;) {
    runPending(after);
    if (gPending != Pending::None) break;
    if (gQueuedKeys == 0 || ghSendFile == kInvalidHandle) {
      gQueuedKeys = 0;
      break;
    }
    gQueuedKeys--;
    lineKeyPress(gQueuedMode, after);
  }
  if (gPending == Pending::None && !gUnitOpen && gSendMode != 0) giveBack();
  gHasPending = gPending != Pending::None || gQueuedKeys != 0;
}


// The next fill of the current unit once the queue has run out.
void nextFill(After& after) {
  if (gStagePos < gStageLen) {
    queueFromStage();
    return;
  }
  if (!gUnitOpen || gSendMode == 0) return;   // raw mode reads on by itself
  if (ghSendFile == kInvalidHandle) {
    endEarly();
    return;
  }
  if (gfConnected == 0) return;   // the closer ends the send
  beginContinuation();
  gPending = Pending::Line;
  gPendingMode = gSendMode;
  gReadsLeft = 1;
  engineStep(after);
}

void fillSendRecord() {
  FillOpenFileRecord(&gofSendName, ghDISPLAYWnd.load(), kSendFilter, gszSendPathName, gszSendName, "txt");
}

}  // namespace sendfile

void SendFileInit() {
  tCommandThread = true;
  fillSendRecord();
}

int SendFileOpenDlg() {
  tCommandThread = true;
  if (gofSendName.lStructSize == 0) fillSendRecord();
  gofSendName.hwndOwner = ghDISPLAYWnd.load();
  gofSendName.lpstrFile = gszSendPathName;
  gofSendName.lpstrFileTitle = gszSendName;
  gofSendName.Flags = kOfnFileMustExist | kOfnReadOnly;
  // The dialog opens on the filter chosen last (kept in ZELTO.INI), in the
  // folder of the file chosen last (the path it starts with).
  gofSendName.nFilterIndex = static_cast<uint32_t>(gSendFilter.load()) + 1;
  if (!platOpenFileDialog(&gofSendName)) return 0;
  const uint32_t filter = gofSendName.nFilterIndex;
  if (filter >= 1 && filter <= kSendFilterAll + 1) gSendFilter = static_cast<int32_t>(filter) - 1;
  char text[kPathMax + 20];
  std::snprintf(text, sizeof text, "\r-Send file: %s-\r", gszSendPathName);
  WriteDISPLAYStatus(text);
  return 1;
}

void StartSendFile() {
  tCommandThread = true;
  if (gfSendFileOpen) return;
  if (!CheckModemState()) return;
  if (gfConnected == 0) {
    platMessageBox(ghDISPLAYWnd.load(), "No Connection", gszAppName, kIconWarning);
    return;
  }
  const PlatHandle h = platFileOpenRead(gszSendPathName);
  if (h == kInvalidHandle) {
    platMessageBox(ghDISPLAYWnd.load(), "Cannot open Source File!", nullptr, kIconWarning);
    return;
  }
  {
    ScopedLock hold(sendLock());
    if (ghSendFile != kInvalidHandle) platFileClose(ghSendFile);
    ghSendFile = h;
    resetAhead();
    clearPending();
    gHasPending = false;
    gTXCol = 0;
    gfBack = 0;
    gSendSize = 1;
    closeUnit();
    // What still drains of a transfer that reached its end is that
    // transfer's; it is never taken into this one's first line.
    gQueueRaw = false;
    gSendFileSeq++;
    gfSendFileOpen = 1;
  }
  WriteDISPLAYStatus(kSendingStr);
  winUpdateWindow(ghDISPLAYWnd.load());
  platSignalWorker();
}

int StopSendFile() {
  tCommandThread = true;
  if (gfConnected == 0) {
    platMessageBox(ghDISPLAYWnd.load(), "No Connection", gszAppName, kIconWarning);
    return 0;
  }
  bool wasSending = false;
  {
    ScopedLock hold(sendLock());
    wasSending = ghSendFile != kInvalidHandle || gfSendFileOpen != 0;
    if (wasSending) endEarly();
  }
  if (!wasSending) {
    platMessageBox(ghDISPLAYWnd.load(), "Cannot Abort because not sending!", nullptr, kIconWarning);
    return 0;
  }
  WriteDISPLAYStatus(gszAbortStr);
  return 1;
}

void SendCommBlock() {
  const bool commandThread = tCommandThread || gdwThreadID == 0;
  const int mode = gSendMode;
  if (!commandThread && mode != 0) return;
  After after;
  if (mode == 0) {
    {
      ScopedLock hold(sendLock());
      if (!rawStepWanted()) return;
    }
    DropQueuedFileBytes();
    {
      ScopedLock hold(sendLock());
      if (!rawStepWanted()) return;
      gReadsLeft = 1;
      rawStep(after);
    }
  } else {
    // After raw mode the transmit buffer may hold the last file byte, handed
    // over and waiting out its delay before the worker's flush: it stays.
    bool afterRaw = false;
    {
      ScopedLock hold(sendLock());
      afterRaw = gQueueRaw;
    }
    if (!afterRaw) DropQueuedFileBytes();
    bool more = false;
    {
      ScopedLock hold(sendLock());
      gReadsLeft = 1;
      if (gPending != Pending::None || gQueuedKeys != 0) {
        // The worker is still reading for an earlier key press: this one
        // follows it.
        gQueuedKeys++;
        gQueuedMode = mode;
      } else {
        lineKeyPress(mode, after);
      }
      engineStep(after);
      more = gHasPending;
    }
    // Without a worker nobody carries the work on: it is done here, a block
    // per hold of the lock.
    while (more && gdwThreadID == 0) {
      ScopedLock hold(sendLock());
      gReadsLeft = 1;
      engineStep(after);
      more = gHasPending;
    }
    // An idle worker waits a moment for the link; the new line need not.
    platSignalWorker();
  }
  runAfter(after);
}

CoreLock& SendFileLock() { return sendLock(); }

int SendFilePending() { return gHasPending ? 1 : 0; }

void SendFileContinue() {
  After after;
  {
    ScopedLock hold(sendLock());
    gReadsLeft = 1;
    engineStep(after);
  }
  runAfter(after);
}

int SkipCommentBlock() {
  After after;
  {
    ScopedLock hold(sendLock());
    if (ghSendFile == kInvalidHandle) return 0;
    gCommentStar = false;
  }
  int r = -1;
  while (r < 0) {
    ScopedLock hold(sendLock());
    if (ghSendFile == kInvalidHandle) {
      r = 0;
      break;
    }
    gReadsLeft = 1;
    r = commentStep(after);
  }
  runAfter(after);
  return r;
}

// The per-byte delay is the least gap between two bytes going out. The time
// the worker's pass took since the previous byte's wait ended counts towards
// it, so the gap is the setting rather than the setting plus the pass. A gap
// that already was longer is never made up for later: bytes never go out
// closer together than the setting.
void PaceSend(int delayMs) {
  thread_local int64_t tLastEnd = -1;   // the worker's own: one per connection
  const int64_t delayUs = static_cast<int64_t>(delayMs) * 1000;
  const int64_t now = platMonotonicUs();
  int64_t wait = delayUs;
  if (tLastEnd >= 0) {
    const int64_t since = now - tLastEnd;
    if (since >= delayUs) {
      wait = 0;
    } else if (since > 0) {
      wait = delayUs - since;
    }
  }
  platSleepUs(wait);
  tLastEnd = platMonotonicUs();
}

void SendCommLine() { SendCommLineWithin(TransferRoom()); }

void SendCommLineWithin(int32_t room) {
  // A full buffer (keys typed meanwhile, a slow line) holds the queue: its
  // bytes wait for room, none is refused.
  if (room <= 0) return;
  uint8_t bytes[kLineQueueSize];
  int32_t n = 0;
  bool refill = false;
  uint32_t seq = 0;
  const int delay = gPackDelay;
  {
    ScopedLock hold(sendLock());
    if (gLinePtr >= gLineMax) return;
    // Raw bytes with no delay go on all at once; else one byte a pass.
    int32_t end = delay == 0 && gQueueRaw ? gLineMax.load() : gLinePtr + 1;
    if (end - gLinePtr > room) end = gLinePtr + room;
    while (gLinePtr < end) bytes[n++] = gsTXLineBuf[gLinePtr++];
    refill = gLinePtr >= gLineMax && (gStagePos < gStageLen || gUnitOpen);
    seq = gUnitSeq;
  }
  AppendTransferBytes(bytes, n);
  if (refill) {
    // Between two bytes of the same unit, inside the pacing interval.
    After after;
    {
      ScopedLock hold(sendLock());
      if (seq == gUnitSeq && gLinePtr >= gLineMax) nextFill(after);
    }
    runAfter(after);
  }
  if (delay > 0) PaceSend(delay);
}

int AbortSendFileQuietly() {
  ScopedLock hold(sendLock());
  const bool wasOpen = ghSendFile != kInvalidHandle || gfSendFileOpen != 0;
  endEarly();
  return wasOpen ? 1 : 0;
}

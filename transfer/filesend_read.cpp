// The file reader of the file-send engine: the read-ahead over the send
// file, the comment filter of the line mode without comments, the skip of
// a block comment, and the read of one unit into the read buffer.
//
// Blocks. The file is read in blocks into a read-ahead buffer, never a byte
// per read call, and no hold of the send lock makes more than one block
// read. Work that runs on for longer than a block (the rest of a long unit
// dropped by a key press, a line the comment filter leaves empty, a block
// comment) is left pending and carried on by the worker, a block per pass;
// a key press that comes meanwhile is carried out after it, as it would
// have been had the reading held the window. A line-mode unit that ends
// gives back what was read beyond it, so the file is read no further than
// what was sent, as a byte-wise reader would leave it. With no per-byte
// delay, raw mode queues up to a queue's worth of bytes per pass and the
// drainer hands them on together, so the link is kept busy.
#include "transfer/filesend.h"

#include <atomic>
#include <cstring>

#include "link/connection.h"
#include "platform/file.h"
#include "transfer/filesend.h"
#include "transfer/filesend_internal.h"

namespace sendfile {

// The current unit's bytes that are ready to go but not yet in the queue.
uint8_t gsStage[kReadBufSize];
int32_t gStagePos = 0;
int32_t gStageLen = 0;
// The unit's end has not been read yet (a run longer than the read buffer).
bool gUnitOpen = false;
// Part of the open unit has already passed the comment filter.
bool gUnitFiltered = false;
// Bytes kept by the comment filter so far in the current line.
int32_t gLineKept = 0;
// The open unit's last byte read, held for the comment filter: whether it
// starts a "( " or "//" pair depends on the byte behind it.
bool gHaveCarry = false;
uint8_t gCarryByte = 0;

// The read-ahead: blocks of the file not yet taken by the reader. Raw mode
// reads smaller blocks: they last long enough on any line, and a file cut
// short while it goes out is still seen within a few hundred bytes.
constexpr uint32_t kLineBlock = 4096;
constexpr uint32_t kRawBlock = 512;
uint8_t gAhead[kLineBlock];
uint32_t gAheadPos = 0;
uint32_t gAheadLen = 0;
bool gAheadEnd = false;     // a read found the end of the file
bool gAheadError = false;   // a read failed
int gReadsLeft = 0;         // block reads the current hold may still make

uint8_t delimiter() { return static_cast<uint8_t>(gDelimiter.load() & 0xFF); }

void resetAhead() {
  gAheadPos = gAheadLen = 0;
  gAheadEnd = gAheadError = false;
}

// Makes sure the next two bytes (a '/' and the byte behind it) are in the
// read-ahead, or that the end of the file or a read error is known: one
// block read, when the hold may still make one; else the caller yields.
Ahead ensureAhead() {
  const uint32_t avail = gAheadLen - gAheadPos;
  if (avail >= 2 || gAheadEnd || gAheadError) return Ahead::Ready;
  if (gReadsLeft <= 0) return Ahead::Yield;
  gReadsLeft--;
  if (avail != 0) gAhead[0] = gAhead[gAheadPos];
  gAheadPos = 0;
  gAheadLen = avail;
  const uint32_t block = gSendMode == 0 ? kRawBlock : kLineBlock;
  uint32_t got = 0;
  if (!platFileRead(ghSendFile, gAhead + avail, block - avail, &got)) {
    gAheadError = true;
  } else if (got == 0) {
    gAheadEnd = true;
  } else {
    gAheadLen += got;
  }
  return Ahead::Ready;
}

// 1: a byte was taken; 0: end of file; -1: read error. Only after
// ensureAhead said Ready, for at most the two bytes it promised.
int readOne(uint8_t* b) {
  if (gAheadPos < gAheadLen) {
    *b = gAhead[gAheadPos++];
    return 1;
  }
  return gAheadError ? -1 : 0;
}

// Hands what was read beyond the current unit back to the file: the next
// unit is read from the file as it is then.
void giveBack() {
  const uint32_t avail = gAheadLen - gAheadPos;
  if (avail == 0 || gAheadError || ghSendFile == kInvalidHandle) return;
  if (platFileSkip(ghSendFile, -static_cast<int64_t>(avail))) resetAhead();
}

// The comment filter over n read bytes of the current line, into the stage.
// When the line goes on beyond them, the last byte is held back as the carry.
int32_t filterIntoStage(int32_t n, bool lineGoesOn) {
  int32_t m = n;
  if (lineGoesOn && n > 0) {
    gCarryByte = gsTXBuf[n - 1];
    gHaveCarry = true;
    m = n - 1;
  }
  const uint8_t d = delimiter();
  int32_t out = 0;
  for (int32_t i = 0; i < m; i++) {
    const uint8_t b = gsTXBuf[i];
    if (i + 1 < n) {
      const uint8_t next = gsTXBuf[i + 1];
      if ((b == '(' && next == ' ') || (b == '/' && next == '/')) gComment = gLineKept + 1;
    }
    if (b == d && gComment > 1) gComment = 0;
    if (gComment == 0) {
      gsStage[out++] = b;
      gLineKept++;
    }
  }
  return out;
}

int32_t copyIntoStage(int32_t n) {
  std::memcpy(gsStage, gsTXBuf, static_cast<size_t>(n));
  return n;
}

// Starts the next read of an open unit with the byte the filter held back.
void beginContinuation() {
  gTXCol = 0;
  if (gHaveCarry) {
    gsTXBuf[gTXCol++] = gCarryByte;
    gHaveCarry = false;
  }
}

void beginComment(Pending then) {
  gPending = Pending::Comment;
  gAfterComment = then;
  gCommentStar = false;
}

// Reads on through a block comment as far as the hold allows. 1: the
// closing "*/" was read; 0: the transfer ended inside it; -1: not yet.
int commentStep(After& after) {
  for (;;) {
    if (ensureAhead() == Ahead::Yield) return -1;
    uint8_t b = 0;
    const int r = readOne(&b);
    if (r < 0) {
      endEarly();
      after.readError = true;
      return 0;
    }
    if (r == 0) {
      endAtFileEnd(after);
      return 0;
    }
    // A '*' followed by another '*' leaves the second as the possible start.
    if (gCommentStar && b == '/') return 1;
    gCommentStar = b == '*';
  }
}

// Reads on into the read buffer until the unit ends. The byte behind a '/'
// is read with it, so it is the one compared with the delimiter and it never
// begins a "/*" itself.
Stop readUnit() {
  const uint8_t d = delimiter();
  for (;;) {
    if (gfConnected == 0) return Stop::LinkDown;
    if (gTXCol > kReadBufSize - 2) return Stop::BufferFull;
    if (ensureAhead() == Ahead::Yield) return Stop::Yield;
    uint8_t b = 0;
    int r = readOne(&b);
    if (r < 0) return Stop::ReadError;
    if (r == 0) return Stop::FileEnd;
    gsTXBuf[gTXCol++] = b;
    if (b == '/') {
      r = readOne(&b);
      if (r < 0) return Stop::ReadError;
      if (r == 0) return Stop::FileEnd;
      gsTXBuf[gTXCol++] = b;
      if (gfSkipBigComment && b == '*') {
        gTXCol -= 2;
        return Stop::BlockComment;
      }
    }
    if (b == d) return Stop::Delimiter;
  }
}


// Acts on how a line-mode read stopped. Returns false when nothing could be
// queued yet and the unit goes on: the caller reads on.
bool handleStop(Stop s, bool filtered, After& after) {
  switch (s) {
    case Stop::ReadError:
      endEarly();
      after.readError = true;
      return true;
    case Stop::LinkDown:
      // The link is being closed: the closer ends the send and shows
      // "Aborted"; what was read of this unit goes nowhere.
      gTXCol = 0;
      return true;
    case Stop::Delimiter:
      stageAndQueue(filtered ? filterIntoStage(gTXCol, false) : copyIntoStage(gTXCol));
      closeUnit();
      return true;
    case Stop::FileEnd:
      stageAndQueue(filtered ? filterIntoStage(gTXCol, false) : copyIntoStage(gTXCol));
      endAtFileEnd(after);
      return true;
    case Stop::BlockComment:
      // The text before the "/*" is a unit of its own, sent as it is; only
      // the tail of a run too long for the read buffer, whose head already
      // went through the filter, stays filtered.
      if (gTXCol > 0 || gUnitFiltered) {
        const bool filterTail = filtered && gUnitFiltered;
        stageAndQueue(filterTail ? filterIntoStage(gTXCol, false) : copyIntoStage(gTXCol));
      }
      closeUnit();
      beginComment(Pending::None);
      return true;
    case Stop::Yield:
      return false;
    case Stop::BufferFull: {
      const int32_t n = filtered ? filterIntoStage(gTXCol, true) : copyIntoStage(gTXCol);
      gUnitOpen = true;
      if (filtered) gUnitFiltered = true;
      if (n > 0) {
        stageAndQueue(n);
        gTXCol = 0;
        return true;
      }
      beginContinuation();
      return false;
    }
  }
  return true;
}


// The raw step may read: raw mode, nothing pending, and nothing of a line
// unit left to send.
bool rawStepWanted() {
  return gSendMode == 0 && gPending == Pending::None && gQueuedKeys == 0 && gLinePtr >= gLineMax &&
         gStagePos >= gStageLen;
}

// One raw unit (a byte, or a '/' with the byte behind it held back) added
// to the queue. false when no further unit may follow in this pass.
bool rawUnit(After& after) {
  gTXCol = 0;
  gComment = 0;
  if (gUnitOpen) {
    // Switched from a line mode in the middle of a long unit: the rest of
    // the file streams raw, beginning with the byte the filter held back.
    const bool carry = gHaveCarry;
    const uint8_t c = gCarryByte;
    closeUnit();
    if (carry) {
      appendQueue(&c, 1);
      return true;
    }
  }
  if (gfBack) {
    const uint8_t held = static_cast<uint8_t>(gBackByte.load());
    appendQueue(&held, 1);
    gfBack = 0;
    return true;
  }
  if (ghSendFile == kInvalidHandle) {
    endEarly();
    return false;
  }
  // The link is being closed: the closer ends the send and says so.
  if (gfConnected == 0) return false;
  if (ensureAhead() == Ahead::Yield) return false;
  uint8_t b = 0;
  int r = readOne(&b);
  if (r < 0) {
    endEarly();
    after.readError = true;
    return false;
  }
  if (r == 0) {
    // The end is taken in a pass of its own, as with one byte a pass: the
    // bytes before it go out (or fail to) before the transfer ends.
    if (gLineMax == 0) endAtFileEnd(after);
    return false;
  }
  gsTXBuf[gTXCol++] = b;
  if (b == '/') {
    uint8_t behind = 0;
    r = readOne(&behind);
    if (r < 0) {
      endEarly();
      after.readError = true;
      return false;
    }
    if (r == 0) {
      appendQueue(gsTXBuf, 1);
      endAtFileEnd(after);
      return false;
    }
    gsTXBuf[gTXCol++] = behind;
    if (gfSkipBigComment && behind == '*') {
      beginComment(Pending::None);
      return false;
    }
    appendQueue(gsTXBuf, 1);
    gBackByte = behind;
    gfBack = 1;
    return true;
  }
  appendQueue(gsTXBuf, 1);
  gfBack = 0;
  gSendSize++;
  if (gSendSize % 2000 == 1000) after.dot = true;
  return true;
}

// The raw step of one pass: one unit, or with no per-byte delay as many as
// the queue holds (ending at a progress dot, so each dot is written).
void rawStep(After& after) {
  gLineMax = 0;
  gLinePtr = 0;
  gQueueRaw = false;
  gUnitSeq++;
  const bool batch = gPackDelay == 0;
  while (rawUnit(after) && batch && gLineMax < kLineQueueSize - 1 && !after.dot) {
  }
  runPending(after);
  gHasPending = gPending != Pending::None || gQueuedKeys != 0;
}

}  // namespace sendfile

// The upload paced by replies: the include stack, the line-by-line pacing on
// the worker, the stop at an error and the going on after it.
//
// The send file of the file send (ghSendFile, gfSendFileOpen) is the file
// being uploaded, so F8, Setup's refusal, F6/F7 and the link's close treat
// an upload as the send it is. While an included file is uploaded it takes
// ghSendFile's place and the including files wait on the stack (their
// handles are this module's); at its end the including file comes back.
// The file of the top level is read under the send lock, so it is never
// read after F8 closed it, and a line is handed to the transmit buffer under
// the same hold: once F8 has closed the file, no line follows.
//
// Lock order: the upload lock, then the send lock. The upload lock is never
// held while a status text is written.
#include "transfer/upload.h"

#include <atomic>
#include <cstdio>
#include <cstring>

#include "display/screen.h"
#include "link/connection.h"
#include "platform/file.h"
#include "platform/thread.h"
#include "settings/globals.h"
#include "settings/options.h"
#include "transfer/filesend.h"
#include "transfer/reply.h"
#include "transfer/upload_lines.h"

namespace {

constexpr int kMaxDepth = 8;
constexpr int kRequiredMax = 64;
// Lines that a pass may skip (empty after filtering, directives) before it
// leaves the rest to the next pass.
constexpr int kLinesPerPass = 64;

enum class Up : int { Idle, Send, Wait, Stopped };

CoreLock& uploadLock() {
  static CoreLock lock;
  return lock;
}

std::atomic<int> gUpState{static_cast<int>(Up::Idle)};
UploadLevel gLevels[kMaxDepth];
int gDepth = 0;                 // levels in use; gLevels[gDepth - 1] is the top
bool gSkipComments = false;
uint32_t gSeq = 0;              // the transfer this upload belongs to
uint8_t gLine[kUploadLineMax];
int32_t gLineLen = 0;           // bytes of a line read in part (Yield)
// A line read whole that waits for room in the transmit buffer: it goes
// from gLine[gHeldAt] to gLine[gLineLen].
bool gHeld = false;
int32_t gHeldAt = 0;
ReplyMatcher gMatcher;
int64_t gDeadlineUs = 0;
int64_t gStartUs = 0;
int32_t gLinesSent = 0;
char gRequired[kRequiredMax][kPathMax];   // files uploaded since the start
int gRequiredCount = 0;

Up state() { return static_cast<Up>(gUpState.load()); }
void setState(Up s) { gUpState = static_cast<int>(s); }

// What a step leaves to show once the locks are released.
struct Note {
  char text[kReplyLineMax + 2 * kPathMax];
  bool show = false;
  bool finished = false;
};

// Under the send lock: the transfer this upload runs in is still on.
bool stillOurs() { return gfSendFileOpen != 0 && gSendFileSeq == gSeq; }

// The levels below the top belong to this module; the top is the send file.
void closeLower() {
  gHeld = false;
  for (int i = 0; i + 1 < gDepth; i++) {
    if (gLevels[i].h != kInvalidHandle) platFileClose(gLevels[i].h);
    gLevels[i].h = kInvalidHandle;
  }
  gDepth = 0;
  setState(Up::Idle);
}

void stopAt(const UploadLevel& l, int32_t line, const char* why, Note* note) {
  std::snprintf(note->text, sizeof note->text, "\r-Stopped at line %d of %s: %s-\r", static_cast<int>(line),
                UploadBaseName(l.path), why);
  note->show = true;
  gHeld = false;
  setState(Up::Stopped);
}

// Under both locks: puts the top file back to its failing line and stops.
void stopAtLine(const char* why, Note* note) {
  UploadLevel& l = gLevels[gDepth - 1];
  const int32_t line = l.line;
  UploadLevelRewind(&l);
  l.line = line - 1;
  gLineLen = 0;
  stopAt(l, line, why, note);
}

bool alreadyUploaded(const char* path) {
  for (int i = 0; i < gRequiredCount; i++) {
    if (std::strcmp(gRequired[i], path) == 0) return true;
  }
  return false;
}

void noteUploaded(const char* path) {
  if (gRequiredCount < kRequiredMax && !alreadyUploaded(path)) {
    std::snprintf(gRequired[gRequiredCount++], kPathMax, "%s", path);
  }
}

// Under both locks: a directive line. Returns false when it stopped the upload.
bool enterInclude(int kind, const char* name, Note* note) {
  char path[kPathMax];
  char why[kPathMax + 40];
  UploadLevel& parent = gLevels[gDepth - 1];
  if (!UploadResolvePath(parent.path, name, path, kPathMax)) {
    std::snprintf(why, sizeof why, "cannot open %s", name);
    stopAtLine(why, note);
    return false;
  }
  if (kind == 2 && alreadyUploaded(path)) return true;
  for (int i = 0; i < gDepth; i++) {
    if (std::strcmp(gLevels[i].path, path) == 0) {
      std::snprintf(why, sizeof why, "%s includes itself", UploadBaseName(path));
      stopAtLine(why, note);
      return false;
    }
  }
  if (gDepth == kMaxDepth) {
    stopAtLine("includes nested deeper than 8", note);
    return false;
  }
  const PlatHandle h = platFileOpenRead(path);
  if (h == kInvalidHandle) {
    std::snprintf(why, sizeof why, "cannot open %s", name);
    stopAtLine(why, note);
    return false;
  }
  noteUploaded(path);
  UploadLevel& l = gLevels[gDepth++];
  std::memset(&l, 0, sizeof l);
  l.h = h;
  std::snprintf(l.path, sizeof l.path, "%s", path);
  UploadLevelMark(&l);
  ghSendFile = h;
  return true;
}

// Under both locks: the end of the top file. Returns true when the upload
// is complete.
bool leaveLevel() {
  if (gDepth == 1) return true;
  platFileClose(gLevels[gDepth - 1].h);
  gDepth--;
  ghSendFile = gLevels[gDepth - 1].h;
  return false;
}

void finish(Note* note) {
  const int64_t tenths = (platMonotonicUs() - gStartUs + 50000) / 100000;
  std::snprintf(note->text, sizeof note->text, "\r-Uploaded %d lines in %d.%d s-\r", static_cast<int>(gLinesSent),
                static_cast<int>(tenths / 10), static_cast<int>(tenths % 10));
  note->show = true;
  note->finished = true;
}

// Under both locks: hands the held line to the transmit buffer once there is
// room for it whole (bytes typed meanwhile go out first); a buffer that
// does not drain within the reply timeout stops the upload at that line.
void sendHeld(Note* note) {
  const int64_t now = platMonotonicUs();
  const int32_t count = gLineLen - gHeldAt;
  if (count > kTxBufSize - gComTxLen) {
    if (now >= gDeadlineUs) stopAtLine("no reply", note);
    return;
  }
  for (int32_t k = gHeldAt; k < gLineLen; k++) sendCommByte(gLine[k]);
  ReplyBegin(&gMatcher, gLine + gHeldAt, count, now);
  gDeadlineUs = now + static_cast<int64_t>(gUploadTimeoutMs.load()) * 1000;
  gLineLen = 0;
  gHeld = false;
  setState(Up::Wait);
}

// Under both locks: reads on to the next line that goes out and sends it.
void sendNext(Note* note) {
  if (gHeld) {
    sendHeld(note);
    return;
  }
  for (int i = 0; i < kLinesPerPass; i++) {
    UploadLevel& l = gLevels[gDepth - 1];
    const LineRead r = UploadReadLine(&l, gLine, &gLineLen);
    if (r == LineRead::Yield) return;
    if (r == LineRead::Error) {
      stopAt(l, l.line + 1, "read error", note);
      return;
    }
    if (r == LineRead::TooLong) {
      l.line++;
      stopAtLine("line longer than 4095 bytes", note);
      return;
    }
    if (r == LineRead::End) {
      gLineLen = 0;
      if (leaveLevel()) {
        finish(note);
        return;
      }
      continue;
    }
    int32_t n = gLineLen;
    const uint8_t d = static_cast<uint8_t>(gDelimiter.load() & 0xFF);
    if (gSkipComments) n = UploadFilterLine(gLine, n, d);
    char name[kPathMax];
    const int kind = UploadDirective(gLine, n, name, kPathMax);
    if (kind != 0) {
      if (!enterInclude(kind, name, note)) return;
      gLineLen = 0;
      continue;
    }
    if (UploadLineIsEmpty(gLine, n)) {
      gLineLen = 0;
      continue;
    }
    // A line end left at the front by the previous line's (CR LF lines with
    // the delimiter CR) would be a line of its own to the device.
    int32_t a = 0;
    while (a < n && (gLine[a] == '\r' || gLine[a] == '\n')) a++;
    gLineLen = n;
    gHeldAt = a;
    gHeld = true;
    gDeadlineUs = platMonotonicUs() + static_cast<int64_t>(gUploadTimeoutMs.load()) * 1000;
    sendHeld(note);
    return;
  }
}

void show(const Note& note) {
  if (!note.show) return;
  WriteDISPLAYStatus(note.text);
  if (note.finished) WriteDISPLAYStatus3("\r", "Transfer Finished, File Closed!", "\r");
}

}  // namespace

int UploadActive() { return state() != Up::Idle ? 1 : 0; }

int UploadRunning() { return state() == Up::Wait || state() == Up::Send ? 1 : 0; }

void UploadReceived(const uint8_t* p, int32_t n) {
  if (state() != Up::Wait) return;
  ScopedLock hold(uploadLock());
  ReplyFeed(&gMatcher, p, n, platMonotonicUs());
}

void UploadStep() {
  Note note;
  {
    ScopedLock hold(uploadLock());
    ScopedLock send(SendFileLock());
    if (state() == Up::Idle) return;
    if (!stillOurs()) {
      // F8, the end of the file under F6/F7, or the link's close ended it.
      closeLower();
      return;
    }
    if (state() == Up::Wait) {
      const int64_t now = platMonotonicUs();
      const ReplyState r = ReplyCheck(&gMatcher, now);
      if (r == ReplyState::Error) {
        stopAtLine(gMatcher.errorLine, &note);
      } else if (r == ReplyState::Prompt) {
        gLinesSent++;
        setState(Up::Send);
      } else if (now >= gDeadlineUs) {
        stopAtLine("no reply", &note);
      }
    }
    if (state() == Up::Send) sendNext(&note);
    if (note.finished) {
      gDepth = 0;
      setState(Up::Idle);
    }
  }
  // The end of the file closes it as a send's end does.
  if (note.finished) AbortSendFileQuietly();
  show(note);
}

void UploadStart(int skipComments) {
  {
    ScopedLock hold(uploadLock());
    ScopedLock send(SendFileLock());
    if (state() == Up::Send || state() == Up::Wait) return;
    if (state() == Up::Stopped) {
      if (stillOurs()) {
        // On from the line where the file stands: the one that stopped it,
        // or the one after the lines F6/F7 sent meanwhile.
        UploadLevelMark(&gLevels[gDepth - 1]);
        gSkipComments = skipComments != 0;
        gSendMode = skipComments ? 2 : 1;
        gLineLen = 0;
        setState(Up::Send);
        platSignalWorker();
        return;
      }
      closeLower();
    }
  }
  if (gfSendFileOpen) return;   // a send of another kind runs
  if (gszSendPathName[0] == '\0' && !SendFileOpenDlg()) return;
  gSendMode = skipComments ? 2 : 1;
  StartSendFile();
  ScopedLock hold(uploadLock());
  ScopedLock send(SendFileLock());
  if (gfSendFileOpen == 0 || ghSendFile == kInvalidHandle) return;
  ReplyPatterns prompts;
  ReplyPatterns errors;
  ParseReplyList(gszUploadPrompt, &prompts);
  ParseReplyList(gszUploadErrors, &errors);
  ReplyReset(&gMatcher, prompts, errors);
  UploadLevel& l = gLevels[0];
  std::memset(&l, 0, sizeof l);
  l.h = ghSendFile;
  if (!UploadResolvePath(gszSendPathName, UploadBaseName(gszSendPathName), l.path, kPathMax)) {
    std::snprintf(l.path, sizeof l.path, "%s", gszSendPathName);
  }
  UploadLevelMark(&l);
  gDepth = 1;
  gRequiredCount = 0;
  noteUploaded(l.path);
  gSkipComments = skipComments != 0;
  gSeq = gSendFileSeq;
  gLineLen = 0;
  gHeld = false;
  gLinesSent = 0;
  gStartUs = platMonotonicUs();
  setState(Up::Send);
  platSignalWorker();
}

void UploadKeyLine() {
  ScopedLock hold(uploadLock());
  if (state() == Up::Stopped && gDepth > 0) gLevels[gDepth - 1].line++;
}

void UploadCloseQuietly() {
  ScopedLock hold(uploadLock());
  if (state() != Up::Idle) closeLower();
}

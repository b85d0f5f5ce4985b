// The upload paced by replies: the include stack, the line-by-line pacing on
// the worker, the stop and the going on after it.
//
// The send file of the file send (ghSendFile, gfSendFileOpen) is the file
// being uploaded, so F8, Setup's refusal and the link's close treat an
// upload as the send it is. While an included file is uploaded it takes
// ghSendFile's place and the including files wait on the stack (their
// handles are this module's); at its end the including file comes back.
// The file of the top level is read under the send lock, so it is never
// read after F8 closed it, and a line is handed to the transmit buffer under
// the same hold: once F8 has closed the file, no line follows.
//
// A stop closes every file of the stack (the send itself stays open until
// F8): an editor may then write them, and going on opens them again by name
// and reads each up to where it stood, with no lock held, before the new
// handles take the old ones' places.
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
#include "transfer/paste.h"
#include "transfer/reply.h"
#include "transfer/transfer.h"
#include "transfer/upload_lines.h"

static_assert(kUploadListMax <= kReplyListMax, "every list the options take fits the matcher's tables");

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
bool gOneLine = false;          // F6/F7 of a stopped upload: one line, then stopped again
uint32_t gSeq = 0;              // the transfer this upload belongs to
uint8_t gLine[kUploadLineMax + 2];   // a line and Enter's bytes behind it
int32_t gLineLen = 0;           // bytes of a line read in part (Yield)
// A line read whole that waits for room in the transmit buffer.
bool gHeld = false;
int64_t gRoomDeadlineUs = 0;
ReplyMatcher gMatcher;
bool gInDefinition = false;     // the last reply's prompt was a continue prompt
int32_t gResume = 0;            // stopped: the top file's line to go on from
bool gResumeLineWas = false;    // that line was in the file when it stopped
int64_t gStartUs = 0;
int32_t gLinesSent = 0;
std::atomic<bool> gKeysNoted{false};
char gRequired[kRequiredMax][kPathMax];   // files uploaded since the start
int gRequiredCount = 0;
// The stack opened again for going on, by the user-interface thread alone
// (with no lock held) before it takes the place of gLevels.
UploadLevel gFresh[kMaxDepth];

Up state() { return static_cast<Up>(gUpState.load()); }
void setState(Up s) { gUpState = static_cast<int>(s); }

// What a step leaves to show once the locks are released.
struct Note {
  char text[2 * kReplyLineMax + 3 * kPathMax];
  bool show = false;
  bool finished = false;
};

int64_t timeoutUs() { return static_cast<int64_t>(gUploadTimeoutMs.load()) * 1000; }

// Under the send lock: the transfer this upload runs in is still on.
bool stillOurs() { return gfSendFileOpen != 0 && gSendFileSeq == gSeq; }

UploadLevel& top() { return gLevels[gDepth - 1]; }

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

// Under both locks: every file of the stack closed, the send file's handle
// with them (the send stays open); the upload stands at gResume.
void park() {
  for (int i = 0; i < gDepth; i++) {
    if (gLevels[i].h == kInvalidHandle) continue;
    platFileClose(gLevels[i].h);
    if (ghSendFile == gLevels[i].h) ghSendFile = kInvalidHandle;
    gLevels[i].h = kInvalidHandle;
  }
  gHeld = false;
  gOneLine = false;
  gLineLen = 0;
  setState(Up::Stopped);
}

// Under both locks: the upload stops after the text in note; it goes on
// from the line after the top file's last "done" line.
void stopWith(Note* note) {
  gResume = top().done + 1;
  gResumeLineWas = gResume <= top().line;
  const size_t used = std::strlen(note->text);
  std::snprintf(note->text + used, sizeof note->text - used, "-%s resumes at line %d, F8 ends-\r",
                gSkipComments ? "Shift+F7" : "Shift+F6", static_cast<int>(gResume));
  note->show = true;
  park();
}

void stopAt(int32_t line, const char* why, Note* note) {
  std::snprintf(note->text, sizeof note->text, "\r-Stopped at line %d of %s: %s-\r", static_cast<int>(line),
                UploadBaseName(top().path), why);
  stopWith(note);
}

// The top file is not the one opened: nothing more of it is sent.
void stopChanged(Note* note) {
  std::snprintf(note->text, sizeof note->text, "\r-Stopped: %s changed while uploading-\r",
                UploadBaseName(top().path));
  stopWith(note);
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
  const int32_t line = top().line;
  if (!UploadResolvePath(top().path, name, path, kPathMax)) {
    std::snprintf(why, sizeof why, "cannot open %s", name);
    stopAt(line, why, note);
    return false;
  }
  if (kind == 2 && alreadyUploaded(path)) return true;
  for (int i = 0; i < gDepth; i++) {
    if (std::strcmp(gLevels[i].path, path) == 0) {
      std::snprintf(why, sizeof why, "%s includes itself", UploadBaseName(path));
      stopAt(line, why, note);
      return false;
    }
  }
  if (gDepth == kMaxDepth) {
    stopAt(line, "includes nested deeper than 8", note);
    return false;
  }
  const PlatHandle h = platFileOpenRead(path);
  if (h == kInvalidHandle) {
    std::snprintf(why, sizeof why, "cannot open %s", name);
    stopAt(line, why, note);
    return false;
  }
  noteUploaded(path);
  UploadLevelOpen(&gLevels[gDepth++], h, path);
  ghSendFile = h;
  return true;
}

// Under both locks: the end of the top file. Returns true when the upload
// is complete.
bool leaveLevel() {
  if (gDepth == 1) return true;
  platFileClose(top().h);
  gDepth--;
  // The included file left the device outside a definition: its line is done.
  if (!gInDefinition) top().done = top().line;
  ghSendFile = top().h;
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
// room for it whole (a line that fills the buffer exactly fits: it is no
// overflow); a buffer that does not drain within the reply timeout stops
// the upload at that line. A paste made before the upload began goes out
// first.
void sendHeld(Note* note) {
  const int64_t now = platMonotonicUs();
  if (PasteActive()) {
    gRoomDeadlineUs = now + timeoutUs();
    return;
  }
  if (gLineLen > TransferRoom() || !AppendTransferBytes(gLine, gLineLen)) {
    if (now >= gRoomDeadlineUs) stopAt(top().line, "no reply", note);
    return;
  }
  gHeld = false;
  if (gOneLine) {
    // The key's line is the user's: the upload goes on after it.
    top().done = top().line;
    gResume = top().line + 1;
    gResumeLineWas = false;
    park();
    return;
  }
  ReplyBegin(&gMatcher, gLine, gLineLen, now);
  gLineLen = 0;
  setState(Up::Wait);
}

// Under both locks: reads on to the next line that goes out and sends it.
void sendNext(Note* note) {
  if (gHeld) {
    sendHeld(note);
    return;
  }
  for (int i = 0; i < kLinesPerPass; i++) {
    UploadLevel& l = top();
    const LineRead r = UploadReadLine(&l, gLine, &gLineLen);
    if (r == LineRead::Yield) return;
    // What was read is the file as it was opened, or it goes no further: a
    // file cut or written over meanwhile never sends a piece of a line.
    PlatFileStamp now;
    if (!platFileStamp(l.path, &now) || now != l.stamp) {
      stopChanged(note);
      return;
    }
    if (r == LineRead::Error) {
      stopAt(l.line + 1, "read error", note);
      return;
    }
    if (r == LineRead::TooLong) {
      stopAt(l.line + 1, "line longer than 4094 bytes", note);
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
    gLineLen = 0;
    if (gSkipComments) n = UploadFilterLine(gLine, n, &l.inParen);
    char name[kPathMax];
    const int kind = UploadDirective(gLine, n, name, kPathMax);
    if (kind != 0) {
      if (!enterInclude(kind, name, note)) return;
      continue;
    }
    if (UploadLineIsEmpty(gLine, n)) continue;
    gLineLen = n + EnterBytes(gLine + n);
    gHeld = true;
    gRoomDeadlineUs = platMonotonicUs() + timeoutUs();
    sendHeld(note);
    return;
  }
}

void show(const Note& note) {
  if (!note.show) return;
  WriteDISPLAYStatus(note.text);
  if (note.finished) WriteDISPLAYStatus3("\r", "Transfer Finished, File Closed!", "\r");
}

// Opens the stopped stack again into gFresh, each file read up to where it
// stood (the top one to the line before gResume), with no lock held. On a
// failure writes why into text, closes what it opened and returns false.
// A file cut shorter than where it stood sends nothing.
bool reopen(int depth, const char (*paths)[kPathMax], const int32_t* lines, int32_t resume, bool resumeLineWas,
            bool skip, char* text, size_t size) {
  int opened = 0;
  bool ok = true;
  for (int i = 0; i < depth && ok; i++) {
    const char* name = UploadBaseName(paths[i]);
    const bool isTop = i + 1 == depth;
    const int32_t target = isTop ? resume - 1 : lines[i];
    const PlatHandle h = platFileOpenRead(paths[i]);
    if (h == kInvalidHandle) {
      std::snprintf(text, size, "\r-Cannot open %s, F8 ends-\r", name);
      ok = false;
      break;
    }
    UploadLevelOpen(&gFresh[i], h, paths[i]);
    opened++;
    const int r = UploadSkipLines(&gFresh[i], target, skip);
    if (r < 0) {
      std::snprintf(text, size, "\r-Cannot read %s, F8 ends-\r", name);
      ok = false;
    } else if (r == 0 || (isTop && resumeLineWas && !UploadLevelHasMore(&gFresh[i]))) {
      std::snprintf(text, size, "\r-%s has fewer than %d lines now, F8 ends-\r", name,
                    static_cast<int>(isTop ? resume : target));
      ok = false;
    }
  }
  if (!ok) {
    for (int i = 0; i < opened; i++) platFileClose(gFresh[i].h);
  }
  return ok;
}

// Goes on with a stopped upload: the whole rest (oneLine false) or one line.
// Returns false when no upload of this transfer is stopped.
bool goOn(bool skip, bool oneLine) {
  int depth = 0;
  int32_t resume = 0;
  bool resumeLineWas = false;
  static char paths[kMaxDepth][kPathMax];   // the user-interface thread's alone
  int32_t lines[kMaxDepth];
  {
    ScopedLock hold(uploadLock());
    ScopedLock send(SendFileLock());
    if (state() == Up::Send || state() == Up::Wait) return true;
    if (state() != Up::Stopped) return false;
    if (!stillOurs()) {
      closeLower();
      return false;
    }
    depth = gDepth;
    resume = gResume;
    resumeLineWas = gResumeLineWas;
    for (int i = 0; i < depth; i++) {
      std::memcpy(paths[i], gLevels[i].path, kPathMax);
      lines[i] = gLevels[i].line;
    }
  }
  char text[3 * kPathMax];
  if (!reopen(depth, paths, lines, resume, resumeLineWas, skip, text, sizeof text)) {
    WriteDISPLAYStatus(text);
    return true;
  }
  {
    ScopedLock hold(uploadLock());
    ScopedLock send(SendFileLock());
    if (state() != Up::Stopped || !stillOurs() || gDepth != depth) {
      // F8 or the link's end came meanwhile.
      for (int i = 0; i < depth; i++) platFileClose(gFresh[i].h);
      return true;
    }
    for (int i = 0; i < depth; i++) {
      const int32_t done = gLevels[i].done;
      std::memcpy(&gLevels[i], &gFresh[i], sizeof gLevels[i]);
      gLevels[i].done = done;
    }
    ghSendFile = top().h;
    gSkipComments = skip;
    gSendMode = skip ? 2 : 1;
    gOneLine = oneLine;
    gInDefinition = false;
    gLineLen = 0;
    gHeld = false;
    if (!oneLine) gKeysNoted = false;
    setState(Up::Send);
  }
  platSignalWorker();
  return true;
}

}  // namespace

int UploadActive() { return state() != Up::Idle ? 1 : 0; }

int UploadRunning() { return state() == Up::Wait || state() == Up::Send ? 1 : 0; }

int UploadRefusesKeys() {
  if (!UploadRunning()) return 0;
  if (!gKeysNoted.exchange(true)) WriteDISPLAYStatus("\r-Keys wait: an upload is running, F8 ends it-\r");
  return 1;
}

namespace {

// The upload as a transfer: its step paces the lines, the replies feed its
// matcher. F8 ends it as the send it is (the file send's abort); the link's
// close closes its included files.
class Upload final : public Transfer {
 public:
  bool active() const override { return UploadActive() != 0; }
  bool step(int32_t) override {
    UploadStep();
    return false;
  }
  bool received(const uint8_t* p, int32_t n) override {
    UploadReceived(p, n);
    return false;
  }
  bool abort(TransferEnd why) override {
    if (why != TransferEnd::LinkClosed && why != TransferEnd::Exit) return false;
    const bool was = UploadActive() != 0;
    UploadCloseQuietly();
    return was;
  }
  bool refusesKeys() const override { return UploadRunning() != 0; }
  void noteRefusedKey() override { UploadRefusesKeys(); }
  bool shortWaits() const override { return UploadRunning() != 0; }
  bool noGather() const override { return UploadActive() != 0; }
};

}  // namespace

Transfer& UploadTransfer() {
  static Upload upload;
  return upload;
}

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
      // F8, the end of the file, or the link's close ended it.
      closeLower();
      return;
    }
    if (state() == Up::Wait) {
      const int64_t now = platMonotonicUs();
      const ReplyState r = ReplyCheck(&gMatcher, now);
      if (r == ReplyState::Error) {
        stopAt(top().line, gMatcher.errorLine, &note);
      } else if (r == ReplyState::Prompt) {
        gLinesSent++;
        gInDefinition = gMatcher.continued;
        if (!gInDefinition) top().done = top().line;
        setState(Up::Send);
      } else if (now - gMatcher.lastByteUs >= timeoutUs()) {
        // The timeout runs from the last byte received: a long line echoed
        // slowly is still being answered.
        stopAt(top().line, "no reply", &note);
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
  if (goOn(skipComments != 0, false)) return;
  if (gfSendFileOpen) return;   // a send of another kind runs
  if (gszSendPathName[0] == '\0' && !SendFileOpenDlg()) return;
  gSendMode = skipComments ? 2 : 1;
  StartSendFile();
  ScopedLock hold(uploadLock());
  ScopedLock send(SendFileLock());
  if (gfSendFileOpen == 0 || ghSendFile == kInvalidHandle) return;
  static ReplyPatterns prompts, continues, errors;   // the user-interface thread's alone
  ParseReplyList(gszUploadPrompt, &prompts);
  ParseReplyList(gszUploadContinue, &continues);
  ParseReplyList(gszUploadErrors, &errors);
  ReplyReset(&gMatcher, prompts, errors, &continues);
  char path[kPathMax];
  if (!UploadResolvePath(gszSendPathName, UploadBaseName(gszSendPathName), path, kPathMax)) {
    std::snprintf(path, sizeof path, "%s", gszSendPathName);
  }
  UploadLevelOpen(&gLevels[0], ghSendFile, path);
  gDepth = 1;
  gRequiredCount = 0;
  noteUploaded(path);
  gSkipComments = skipComments != 0;
  gOneLine = false;
  gInDefinition = false;
  gSeq = gSendFileSeq;
  gLineLen = 0;
  gHeld = false;
  gLinesSent = 0;
  gKeysNoted = false;
  gStartUs = platMonotonicUs();
  setState(Up::Send);
  platSignalWorker();
}

int UploadKeyLine(int skipComments) { return goOn(skipComments != 0, true) ? 1 : 0; }

void UploadCloseQuietly() {
  ScopedLock hold(uploadLock());
  if (state() != Up::Idle) closeLower();
}

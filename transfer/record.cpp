// Receive recording: creating, pausing, resuming and closing the record file,
// and the worker's write of each received block into it.
//
// One writer at a time: the record lock is held for each block write on the
// worker and for the marker write, the creation and every close on the
// user-interface thread. The worker tests gfRecRecv again under the lock, so
// a pause or close that cleared it waits out a write already under way and
// then no write reaches the file: the marker lands behind the last recorded
// block and nothing is written to a closed file. Messages are shown after
// the lock is released; nothing waits for the other thread while holding it.
#include "transfer/record.h"

#include <cstring>

#include "display/screen.h"
#include "display/timestamp.h"
#include "link/connection.h"
#include "platform/file.h"
#include "platform/msgbox.h"
#include "settings/options.h"
#include "transfer/dialog_record.h"

PlatHandle ghRecFile = kInvalidHandle;
OpenFileRecord gofRecName{};
char gszRecName[kPathMax];

namespace {

const char kRecFilter[] = "Receive Record Files (*.REC)\0*.Rec\0";
const char kPauseMarker[] = "-PaUsE-";
constexpr uint32_t kPauseMarkerLen = 7;

CoreLock& recLock() {
  static CoreLock lock;
  return lock;
}

void closeLocked() {
  if (ghRecFile != kInvalidHandle) platFileClose(ghRecFile);
  ghRecFile = kInvalidHandle;
  gfRecRecv = 0;
  gfRecFileOpen = 0;
}

// Where the recorded stream stands between lines, for the time stamps; a
// new record file begins with a line.
LineStarts gRecordedLines;

bool writeAll(const void* data, uint32_t len) {
  uint32_t put = 0;
  return ghRecFile != kInvalidHandle && platFileWrite(ghRecFile, data, len, &put) && put == len;
}

// The block with the stamp before each line that begins in it, gathered
// into few writes.
bool writeStamped(const uint8_t* block, int32_t n, const char* stamp) {
  uint8_t out[2048];
  uint32_t used = 0;
  const bool lfEnds = gfNewLineOnLf.load() != 0;
  while (n > 0) {
    bool stampFirst = false;
    const int32_t run = NextLineRun(gRecordedLines, block, n, lfEnds, &stampFirst);
    const uint32_t need = static_cast<uint32_t>(run) + (stampFirst ? kStampLen : 0);
    if (used + need > sizeof out) {
      if (!writeAll(out, used)) return false;
      used = 0;
    }
    if (stampFirst) {
      std::memcpy(out + used, stamp, kStampLen);
      used += kStampLen;
    }
    if (used + static_cast<uint32_t>(run) > sizeof out) {
      if ((used != 0 && !writeAll(out, used)) || !writeAll(block, static_cast<uint32_t>(run))) return false;
      used = 0;
    } else {
      std::memcpy(out + used, block, static_cast<size_t>(run));
      used += static_cast<uint32_t>(run);
    }
    block += run;
    n -= run;
  }
  return used == 0 || writeAll(out, used);
}

void noConnection() { platMessageBox(ghDISPLAYWnd.load(), "No Connection", gszAppName, kIconWarning); }

void fillRecRecord() {
  FillOpenFileRecord(&gofRecName, ghDISPLAYWnd.load(), kRecFilter, gszRecPathName, gszRecName, "Rec");
}

}  // namespace

void RecFileInit() { fillRecRecord(); }

int RecFileOpenDlg() {
  // Filled here when window creation did not (the link failed to open).
  if (gofRecName.lStructSize == 0) fillRecRecord();
  gofRecName.hwndOwner = ghDISPLAYWnd.load();
  gofRecName.lpstrFile = gszRecPathName;
  gofRecName.lpstrFileTitle = gszRecName;
  gofRecName.Flags = kOfnPathMustExist;
  return platOpenFileDialog(&gofRecName);
}

int StartRecReceive() {
  if (gfRecRecv == 1) return 1;
  if (gfConnected == 0) {
    noConnection();
    return 0;
  }
  bool created = true;
  {
    ScopedLock hold(recLock());
    if (gfRecFileOpen == 0 || ghRecFile == kInvalidHandle) {
      if (ghRecFile != kInvalidHandle) platFileClose(ghRecFile);
      ghRecFile = platFileCreate(gszRecPathName);
      gRecordedLines = LineStarts{};
      created = ghRecFile != kInvalidHandle;
      gfRecFileOpen = created ? 1 : 0;
    }
    if (created) gfRecRecv = 1;
  }
  if (!created) {
    platMessageBox(ghDISPLAYWnd.load(), "Cannot open Rec File!", gszAppName, kIconWarning);
    return 0;
  }
  if (gfRecQuiet) {
    WriteDISPLAYStatus2("-Recording-", "Quietly-");
  } else {
    WriteDISPLAYStatus("-Recording-");
  }
  gByteCount = 1800;
  return 1;
}

int PauseRecReceive() {
  enum { kPaused, kNoLink, kNoFile, kWriteFailed } outcome = kPaused;
  gfRecRecv = 0;
  {
    ScopedLock hold(recLock());   // waits out a block write already under way
    gfRecRecv = 0;
    if (gfConnected == 0) {
      closeLocked();
      outcome = kNoLink;
    } else if (gfRecFileOpen == 0 || ghRecFile == kInvalidHandle) {
      outcome = kNoFile;
    } else {
      uint32_t put = 0;
      if (!platFileWrite(ghRecFile, kPauseMarker, kPauseMarkerLen, &put) || put != kPauseMarkerLen) {
        closeLocked();
        outcome = kWriteFailed;
      }
    }
  }
  switch (outcome) {
    case kNoLink:
      noConnection();
      return 0;
    case kNoFile:
      return 0;
    case kWriteFailed:
      platMessageBox(ghDISPLAYWnd.load(), "Rec File Write Error!", gszAppName, kIconWarning);
      return 0;
    case kPaused:
      break;
  }
  WriteDISPLAYStatus(kPauseMarker);
  return 1;
}

void CloseRecFile() {
  gfRecRecv = 0;
  {
    ScopedLock hold(recLock());
    closeLocked();
  }
  WriteDISPLAYStatus2("Transfer Finished, File Closed!", "\r");
  gfRecFileOpen = 0;
  gfRecRecv = 0;
  gfRecQuiet = 0;
}

void RecordReceivedBlock(const uint8_t* block, int32_t n, const char* stamp) {
  if (n <= 0) return;
  bool failed = false;
  {
    ScopedLock hold(recLock());
    if (gfRecRecv != 1) return;   // paused or closed since the worker's test
    const bool ok = stamp ? writeStamped(block, n, stamp) : writeAll(block, static_cast<uint32_t>(n));
    if (!ok) {
      closeLocked();
      failed = true;
    }
  }
  if (failed) platMessageBox(ghDISPLAYWnd.load(), "Record File Write Error!", nullptr, kIconWarning);
}

void CloseRecFileQuietly() {
  {
    ScopedLock hold(recLock());
    closeLocked();
  }
  gfRecQuiet = 0;
}

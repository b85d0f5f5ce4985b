// Save Output As: the rows of history and grid as text, written beside the file chosen and renamed over it.
#include "display/save_output.h"

#include <cstdio>
#include <string>

#include "display/screen.h"
#include "display/screen_model.h"
#include "display/selection.h"
#include "platform/clipboard.h"
#include "platform/file.h"
#include "platform/filedlg.h"
#include "platform/msgbox.h"
#include "settings/globals.h"
#include "transfer/dialog_record.h"

namespace {

const ScreenModel& M = gScreenModel;

// Rows read under one hold of the screen lock.
constexpr int kBatchRows = 4000;

RowCells gRow;   // under the screen lock

void refuse(WindowHandle owner, const char* path, const char* why) {
  std::string text = std::string("Output not saved to ") + path + ":\n" + why;
  platMessageBox(owner, text.c_str(), gszAppName, kIconWarning);
}

bool writeAll(PlatHandle h, const std::string& text) {
  size_t at = 0;
  while (at < text.size()) {
    const uint32_t n = text.size() - at > (1u << 30) ? (1u << 30) : static_cast<uint32_t>(text.size() - at);
    uint32_t put = 0;
    if (!platFileWrite(h, text.data() + at, n, &put) || put == 0) return false;
    at += put;
  }
  return true;
}

// The save dialog's record and the path it keeps between saves.
char gszOutputPath[kPathMax] = "output.txt";
char gszOutputName[kPathMax];
const char kOutputFilter[] = "Text Files (*.txt)\0*.txt\0All Files (*.*)\0*.*\0";

}  // namespace

int64_t SaveDISPLAYOutput(WindowHandle owner, const char* path) {
  char temp[2 * kPathMax + 16];
  char why[256];
  const PlatHandle h = platFileCreateBeside(path, temp, sizeof temp, why, sizeof why);
  if (h == kInvalidHandle) {
    refuse(owner, path, why);
    return -1;
  }
  // The lines from the oldest row of the history to the last grid row that
  // shows something, numbered from the start, so that rows scrolling
  // meanwhile neither double nor drop one.
  int64_t line = 0, last = 0;
  {
    ScopedLock hold(ScreenLock());
    int32_t lastRow = M.rows() - 1;
    while (lastRow >= 0 && M.readRow(lastRow, &gRow) && gRow.used == 0) lastRow--;
    line = M.scrolled() - M.historyRows();
    last = M.scrolled() + lastRow;
  }
  const char* lineEnd = platLineEnd();
  int64_t written = 0;
  bool ok = true;
  std::string text;
  while (ok && line <= last) {
    text.clear();
    {
      ScopedLock hold(ScreenLock());
      for (int n = 0; n < kBatchRows && line <= last; n++, line++) {
        if (!M.readRow(line - M.scrolled(), &gRow)) continue;   // left the history meanwhile
        AppendRowText(&text, gRow, 0, M.cols() - 1);
        text += lineEnd;
        written++;
      }
    }
    ok = writeAll(h, text);
  }
  if (ok) ok = platFileFlush(h) != 0;
  if (!ok) platFileErrorText(why, sizeof why);
  platFileClose(h);
  if (ok) ok = platFileRenameOver(temp, path, why, sizeof why) != 0;
  if (!ok) {
    platFileRemove(temp);
    refuse(owner, path, why);
    return -1;
  }
  char note[kPathMax + 64];
  std::snprintf(note, sizeof note, "\r-Saved %lld lines to %s-\r", static_cast<long long>(written), path);
  WriteDISPLAYStatus(note);
  return written;
}

int SaveOutputDlg(WindowHandle owner) {
  OpenFileRecord r;
  FillOpenFileRecord(&r, owner, kOutputFilter, gszOutputPath, gszOutputName, "txt");
  r.lpstrTitle = "Save Output As";
  r.Flags = kOfnPathMustExist;
  if (!platSaveFileDialog(&r)) return 0;
  SaveDISPLAYOutput(owner, gszOutputPath);
  return 1;
}

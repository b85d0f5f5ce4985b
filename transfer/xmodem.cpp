// The XMODEM/YMODEM session: the commands that start it, its place among the
// transfers, and its status row.
//
// One lock guards the session, the sender and the receiver: the worker holds
// it for each step, received block and tick, the user-interface thread for a
// start and for F8. Neither waits for the other thread while holding it, and
// each hold does at most one block's file work.
//
// The status row changes in place through the screen's status texts: it
// opens with a CR (a new row) and each change first takes the old text back
// with backspaces, which blank the cells they pass. Nothing else writes to
// the screen meanwhile but this module (received bytes are the protocol's,
// typed keys are ignored); a text of its own (the one about keys) closes
// the row, and the next change opens a new one below it.
#include "transfer/xmodem.h"

#include <atomic>
#include <cstdio>
#include <cstring>

#include "display/screen.h"
#include "link/connection.h"
#include "link/serial.h"
#include "platform/file.h"
#include "platform/msgbox.h"
#include "platform/thread.h"
#include "platform/window.h"
#include "settings/options.h"
#include "transfer/dialog_record.h"
#include "transfer/filesend.h"
#include "transfer/transfer.h"
#include "transfer/upload.h"
#include "transfer/xmodem_internal.h"

namespace {

enum class Mode : int { None, Send, Receive };

CoreLock& sessionLock() {
  static CoreLock lock;
  return lock;
}

std::atomic<int> gMode{static_cast<int>(Mode::None)};
bool gYmodem = false;
bool gKeysNoted = false;
// The row: open (written since its CR) and how many characters it holds.
bool gRowOpen = false;
int gRowLen = 0;
int64_t gRowAtUs = 0;
constexpr int64_t kRowPeriodUs = 250000;
constexpr int kRowMax = 78;   // one row of the screen, never wrapped

Mode mode() { return static_cast<Mode>(gMode.load()); }

void rowText(const char* text) {
  char out[2 * kRowMax + 4];
  int n = 0;
  if (!gRowOpen) {
    out[n++] = '\r';
  } else {
    for (int i = 0; i < gRowLen; i++) out[n++] = '\b';
  }
  int len = static_cast<int>(std::strlen(text));
  if (len > kRowMax) len = kRowMax;
  std::memcpy(out + n, text, static_cast<size_t>(len));
  out[n + len] = 0;
  WriteDISPLAYStatus(out);
  gRowOpen = true;
  gRowLen = len;
}

// The row's last text; what follows goes below it.
void rowEnd(const char* text) {
  rowText(text);
  WriteDISPLAYStatus("\r");
  gRowOpen = false;
  gRowLen = 0;
}

// 122880 as "122 880".
void grouped(int64_t v, char* out, size_t size) {
  char digits[24];
  const int n = std::snprintf(digits, sizeof digits, "%lld", static_cast<long long>(v));
  size_t k = 0;
  for (int i = 0; i < n && k + 2 < size; i++) {
    if (i > 0 && (n - i) % 3 == 0) out[k++] = ' ';
    out[k++] = digits[i];
  }
  out[k] = 0;
}

// Ends the session; the caller holds the lock.
void end() {
  xmodem::SendDrop();
  xmodem::RecvDrop();
  gMode = static_cast<int>(Mode::None);
}

void cancelDevice() {
  static const uint8_t kCans[5] = {xmodem::kCan, xmodem::kCan, xmodem::kCan, xmodem::kCan, xmodem::kCan};
  AppendTransferBytes(kCans, 5);
  platSignalWorker();
}

class Protocol final : public Transfer {
 public:
  bool active() const override { return mode() != Mode::None; }
  bool step(int32_t) override {
    ScopedLock hold(sessionLock());
    if (mode() == Mode::Send) xmodem::SendStep();
    return false;
  }
  bool received(const uint8_t* p, int32_t n) override {
    if (mode() == Mode::None) return false;
    ScopedLock hold(sessionLock());
    const int64_t now = platMonotonicUs();
    if (mode() == Mode::Send) xmodem::SendBytes(p, n, now);
    if (mode() == Mode::Receive) xmodem::RecvBytes(p, n, now);
    return true;
  }
  int tick(int64_t now) override {
    if (mode() == Mode::None) return -1;
    ScopedLock hold(sessionLock());
    if (mode() == Mode::Send) xmodem::SendTick(now);
    if (mode() == Mode::Receive) xmodem::RecvTick(now);
    return -1;
  }
  bool abort(TransferEnd why) override {
    ScopedLock hold(sessionLock());
    if (mode() == Mode::None) return false;
    // F8 tells the device; a link that is gone or closing cannot be told.
    if (why == TransferEnd::User) cancelDevice();
    end();
    if (why == TransferEnd::WriteFailed) {
      // The runner writes the failed write's texts below the row.
      if (gRowOpen) WriteDISPLAYStatus("\r");
      gRowOpen = false;
      gRowLen = 0;
    } else if (why != TransferEnd::Exit) {
      rowEnd("Aborted");
    }
    return true;
  }
  bool refusesKeys() const override { return mode() != Mode::None; }
  void noteRefusedKey() override {
    ScopedLock hold(sessionLock());
    if (mode() == Mode::None || gKeysNoted) return;
    gKeysNoted = true;
    if (gRowOpen) WriteDISPLAYStatus("\r");
    gRowOpen = false;
    gRowLen = 0;
    char text[80];
    std::snprintf(text, sizeof text, "-Keys are ignored while %s runs, F8 aborts it-\r", xmodem::Kind());
    WriteDISPLAYStatus(text);
  }
  bool shortWaits() const override { return mode() != Mode::None; }
  bool noGather() const override { return mode() != Mode::None; }
};

Protocol& protocol() {
  static Protocol p;
  return p;
}

// Whether a protocol may start now; says why not.
bool mayStart() {
  if (gfConnected == 0) {
    platMessageBox(ghDISPLAYWnd.load(), "No Connection", gszAppName, kIconWarning);
    return false;
  }
  if (TransferBusy() || UploadActive()) {
    platMessageBox(ghDISPLAYWnd.load(), "First terminate\nFile Transfer !", gszAppName, kIconWarning);
    return false;
  }
  return CheckModemState() != 0;
}

// Under the lock: a new session's common state.
void begin(bool ymodem, Mode m) {
  gYmodem = ymodem;
  gKeysNoted = false;
  gRowOpen = false;
  gRowLen = 0;
  gRowAtUs = 0;
  gMode = static_cast<int>(m);
}

}  // namespace

namespace xmodem {

bool Put(const uint8_t* p, int32_t n) { return AppendTransferBytes(p, n) != 0; }

bool PutByte(uint8_t b) { return Put(&b, 1); }

const char* Kind() { return gYmodem ? "YMODEM" : "XMODEM"; }

void Progress(const char* verb, const char* name, int64_t done, int64_t total, int retries, bool force) {
  const int64_t now = platMonotonicUs();
  if (!force && gRowOpen && now - gRowAtUs < kRowPeriodUs) return;
  gRowAtUs = now;
  char text[kPathMax + 80];
  const char* sep = name[0] ? " " : "";
  if (total >= 0) {
    std::snprintf(text, sizeof text, "%s %s %s%s%lld KB of %lld KB, %d retries", Kind(), verb, name, sep,
                  static_cast<long long>(done / 1024), static_cast<long long>(total / 1024), retries);
  } else {
    std::snprintf(text, sizeof text, "%s %s %s%s%lld KB, %d retries", Kind(), verb, name, sep,
                  static_cast<long long>(done / 1024), retries);
  }
  rowText(text);
}

void FileDone(const char* verb, const char* name, int64_t bytes, int64_t startUs) {
  const int64_t tenths = (platMonotonicUs() - startUs + 50000) / 100000;
  char count[32], text[kPathMax + 80];
  grouped(bytes, count, sizeof count);
  std::snprintf(text, sizeof text, "-%s %s %s, %s bytes in %lld.%lld s-", Kind(), verb, name, count,
                static_cast<long long>(tenths / 10), static_cast<long long>(tenths % 10));
  rowEnd(text);
}

void Stop(const char* reason, bool cancel) {
  if (cancel) cancelDevice();
  end();
  rowEnd(reason);
}

void Over() { gMode = static_cast<int>(Mode::None); }

}  // namespace xmodem

int ProtocolSend(int ymodem, const char (*paths)[kPathMax], int count) {
  if (count <= 0 || !mayStart()) return 0;
  char failed[kPathMax];
  {
    ScopedLock hold(sessionLock());
    if (mode() != Mode::None) return 0;
    begin(ymodem != 0, Mode::Send);
    if (xmodem::SendBegin(ymodem != 0, gfXmodem1k != 0, paths, count, failed, sizeof failed)) {
      platSignalWorker();
      return 1;
    }
    gMode = static_cast<int>(Mode::None);
  }
  platMessageBox(ghDISPLAYWnd.load(), "Cannot open Source File!", nullptr, kIconWarning);
  return 0;
}

int ProtocolReceive(int ymodem, const char* path) {
  if (!mayStart()) return 0;
  {
    ScopedLock hold(sessionLock());
    if (mode() != Mode::None) return 0;
    begin(ymodem != 0, Mode::Receive);
    xmodem::RecvBegin(ymodem != 0, path, platMonotonicUs());
  }
  platSignalWorker();
  return 1;
}

int ProtocolRunning() { return mode() != Mode::None ? 1 : 0; }

int ReceiveFolder(char* out, uint32_t size) {
  if (gszReceiveFolder[0] == 0) {
    const uint32_t n = platDownloadFolder(out, size);
    return n > 0 && n < size ? 1 : 0;
  }
  const size_t n = std::strlen(gszReceiveFolder);
  const bool sep = platIsPathSeparator(gszReceiveFolder[n - 1]) != 0;
  if (n + 2 > size) return 0;
  std::snprintf(out, size, "%s%s", gszReceiveFolder, sep ? "" : "/");
  return 1;
}

void ProtocolSendCommand(int ymodem) {
  if (!mayStart()) return;
  if (gszSendPathName[0] == '\0' && !SendFileOpenDlg()) return;
  ProtocolSend(ymodem, &gszSendPathName, 1);
}

void ProtocolReceiveCommand(int ymodem) {
  if (!mayStart()) return;
  char folder[kPathMax];
  if (!ReceiveFolder(folder, sizeof folder)) {
    WriteDISPLAYStatus("\r-No receive folder: choose one in Options-\r");
    return;
  }
  if (ymodem) {
    ProtocolReceive(1, folder);
    return;
  }
  // XMODEM gives no name: the user chooses one, starting in the folder.
  static char path[kPathMax], title[kPathMax];   // the user-interface thread's alone
  static OpenFileRecord record;
  path[0] = 0;
  FillOpenFileRecord(&record, ghDISPLAYWnd.load(), "All Files (*.*)\0*.*\0", path, title, nullptr);
  record.lpstrInitialDir = folder;
  record.Flags = kOfnPathMustExist;
  if (!platOpenFileDialog(&record)) return;
  ProtocolReceive(0, path);
}

Transfer& ProtocolTransfer() { return protocol(); }

// The paste source: the text turned into the bytes Enter and hex entry make of it, queued, and handed to the link by the worker a step at a time.
//
// The text is turned into bytes at once on the user-interface thread, where
// the hex-entry state lives, and only the worker sends them: a megabyte goes
// out in steps of at most a transmit buffer's room, each followed by the
// worker's flush, so neither thread holds the window and no byte is lost,
// doubled or reordered. One lock guards the queue; nothing is sent, echoed
// or shown while it is held.
#include "transfer/paste.h"

#include <atomic>
#include <cstdint>
#include <vector>

#include "display/charset.h"
#include "display/keyboard.h"
#include "display/screen.h"
#include "link/connection.h"
#include "link/serial.h"
#include "platform/msgbox.h"
#include "platform/thread.h"
#include "settings/globals.h"
#include "settings/options.h"
#include "transfer/filesend.h"
#include "transfer/transfer.h"
#include "transfer/upload.h"

namespace {

// A queued step: a byte for the link, or the '?' of a refused hex entry.
constexpr uint16_t kRejected = 0x100;
// The most one step takes.
constexpr int32_t kStepMax = 2048;

CoreLock& pasteLock() {
  static CoreLock lock;
  return lock;
}

std::vector<uint16_t> gQueue;   // under the lock
size_t gNext = 0;
std::atomic<bool> gActive{false};

constexpr int kEnterKey = 13;

// One character as a key press: a byte, or hex entry's result.
void key(std::vector<uint16_t>& out, int ch) {
  if (!gfHexEnter) {
    out.push_back(static_cast<uint16_t>(ch));
    return;
  }
  const int r = DISPLAYHexEntry(ch);
  if (r >= 0) out.push_back(static_cast<uint16_t>(r));
  if (r == kHexRejected) out.push_back(kRejected);
}

void enter(std::vector<uint16_t>& out) {
  if (gfHexEnter) {
    key(out, kEnterKey);   // ends the byte being entered, as the key does
    return;
  }
  uint8_t bytes[2];
  const int n = EnterBytes(bytes);
  for (int i = 0; i < n; i++) out.push_back(bytes[i]);
}

void dropQueue() {
  std::vector<uint16_t>().swap(gQueue);   // a megabyte's memory goes too
  gNext = 0;
  gActive = false;
}

}  // namespace

int PasteText(const std::string& text) {
  if (text.empty()) return 0;
  if (gfConnected == 0) {
    platMessageBox(ghDISPLAYWnd.load(), "No Connection", gszAppName, kIconWarning);
    return 0;
  }
  if (!CheckModemState()) return 0;
  std::vector<uint16_t> steps;
  steps.reserve(text.size() + text.size() / 8);
  const size_t len = text.size();
  // Text that is not UTF-8 came from something that is not a text editor
  // (a binary file, a legacy code page): its bytes are what the user means.
  const bool characters = IsUtf8(text.data(), len) != 0;
  size_t pos = 0;
  while (pos < len) {
    const uint32_t ch = characters ? NextUtf8(text.data(), len, &pos) : static_cast<uint8_t>(text[pos++]);
    if (ch == '\r' || ch == '\n') {
      if (ch == '\r' && pos < len && text[pos] == '\n') pos++;
      enter(steps);
      continue;
    }
    const int b = characters ? OemByteOf(ch) : static_cast<int>(ch);
    key(steps, b < 0 ? '?' : b);
  }
  if (steps.empty()) return 0;
  {
    ScopedLock hold(pasteLock());
    if (gNext >= gQueue.size()) {
      gQueue.swap(steps);
      gNext = 0;
    } else {
      gQueue.insert(gQueue.end(), steps.begin(), steps.end());
    }
    gActive = true;
  }
  platSignalWorker();
  return 1;
}

int PasteActive() { return gActive ? 1 : 0; }

int PasteStep() { return PasteStepWithin(TransferRoom()); }

int PasteStepWithin(int32_t room) {
  // A paste under way when a paced upload starts goes out whole first: the
  // upload holds its first line until the paste has ended, and refuses new
  // pastes while it runs.
  if (!gActive) return 0;
  static uint16_t steps[kStepMax];
  static uint8_t echo[kStepMax];
  const int delay = gPackDelay;
  int32_t n = 0;
  {
    ScopedLock hold(pasteLock());
    // With a delay one byte a step, and only while there is room: a paste
    // waits for a buffer that does not drain, it never overflows it.
    if (room > (delay > 0 ? 1 : kStepMax)) room = delay > 0 ? 1 : kStepMax;
    while (n < room && gNext < gQueue.size()) steps[n++] = gQueue[gNext++];
    if (gNext >= gQueue.size()) dropQueue();
  }
  if (n == 0) return 0;
  static uint8_t out[kStepMax];
  const bool localEcho = gfLocalEcho != 0;
  int32_t shown = 0, sent = 0;
  for (int32_t i = 0; i < n; i++) {
    if (steps[i] == kRejected) {
      echo[shown++] = '?';   // shown even without echo, as for a typed key
      continue;
    }
    out[sent++] = static_cast<uint8_t>(steps[i]);
    if (localEcho) echo[shown++] = static_cast<uint8_t>(steps[i]);
  }
  // Within the room: all of them fit.
  AppendTransferBytes(out, sent, true);
  if (shown > 0) WriteDISPLAYBlock(echo, shown);
  if (delay > 0) PaceSend(delay);
  return 1;
}

int AbortPasteQuietly() {
  ScopedLock hold(pasteLock());
  const bool was = gActive;
  dropQueue();
  return was ? 1 : 0;
}

namespace {

// The paste as a transfer. It is no protocol: keys still go out beside it.
class Paste final : public Transfer {
 public:
  bool active() const override { return gActive; }
  bool step(int32_t room) override { return PasteStepWithin(room) != 0; }
  bool abort(TransferEnd) override { return AbortPasteQuietly() != 0; }
  bool stepsWhileHeld() const override { return true; }
};

}  // namespace

Transfer& PasteTransfer() {
  static Paste paste;
  return paste;
}

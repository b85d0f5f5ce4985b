// The headless window of the POSIX build: it keeps what was asked of it.
#include "platform/window.h"

#include <mutex>

#include "platform/posix/headless.h"

HeadlessWindow gHeadless;

namespace {
std::mutex gMarkedLock;
std::vector<MarkedRect> gMarked;
constexpr size_t kMarkedKept = 4096;
std::atomic<bool> gKeepMarked{false};
}  // namespace

void headlessKeepMarkedRects(bool keep) { gKeepMarked = keep; }

std::vector<MarkedRect> headlessMarkedRects() {
  std::lock_guard<std::mutex> hold(gMarkedLock);
  return gMarked;
}

void headlessReset() {
  gHeadless.cellInvalidations = 0;
  gHeadless.viewInvalidations = 0;
  gHeadless.scrolls = 0;
  gHeadless.repaints = 0;
  gHeadless.frameRequests = 0;
  gHeadless.vScrollPos = 0;
  gHeadless.vScrollMax = 0;
  gHeadless.hScrollPos = 0;
  gHeadless.hScrollMax = 0;
  gHeadless.caretExists = 0;
  gHeadless.caretShown = 0;
  gHeadless.caretX = 0;
  gHeadless.caretY = 0;
  std::lock_guard<std::mutex> hold(gMarkedLock);
  gMarked.clear();
}

void winRequestFrame(WindowHandle) { gHeadless.frameRequests++; }

void winInvalidateRect(WindowHandle, int left, int top, int width, int height, int) {
  gHeadless.cellInvalidations++;
  if (!gKeepMarked.load(std::memory_order_relaxed)) return;
  std::lock_guard<std::mutex> hold(gMarkedLock);
  if (gMarked.size() == kMarkedKept) gMarked.erase(gMarked.begin(), gMarked.begin() + kMarkedKept / 2);
  gMarked.push_back(MarkedRect{left, top, width, height});
}
void winInvalidateView(WindowHandle, int) { gHeadless.viewInvalidations++; }
void winScrollWindow(WindowHandle, int, int) { gHeadless.scrolls++; }

void winSetScrollPos(WindowHandle, int bar, int pos, int) {
  (bar == kBarVert ? gHeadless.vScrollPos : gHeadless.hScrollPos) = pos;
}

void winSetScrollRange(WindowHandle, int bar, int max, int) {
  (bar == kBarVert ? gHeadless.vScrollMax : gHeadless.hScrollMax) = max;
}

void winCreateCaret(WindowHandle, int width, int height) {
  gHeadless.caretExists = 1;
  gHeadless.caretWidth = width;
  gHeadless.caretHeight = height;
}
void winShowCaret(WindowHandle) { gHeadless.caretShown = gHeadless.caretExists.load(); }
void winHideCaret(WindowHandle) { gHeadless.caretShown = 0; }
void winDestroyCaret() {
  gHeadless.caretExists = 0;
  gHeadless.caretShown = 0;
}

void winSetCaretPos(int x, int y) {
  if (!gHeadless.caretExists) return;
  gHeadless.caretX = x;
  gHeadless.caretY = y;
}

void winUpdateWindow(WindowHandle) { gHeadless.repaints++; }

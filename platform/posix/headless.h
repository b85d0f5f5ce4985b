// The POSIX build has no window system: its window is headless, and its
// message boxes are remembered instead of shown. Tests read both here.
#pragma once
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

struct HeadlessWindow {
  std::atomic<long> cellInvalidations{0};   // rectangles marked
  std::atomic<long> viewInvalidations{0};   // whole-view marks
  std::atomic<long> scrolls{0};             // ScrollWindow calls
  std::atomic<long> repaints{0};            // UpdateWindow calls
  std::atomic<long> frameRequests{0};       // winRequestFrame calls (tests run the frames)
  std::atomic<int> vScrollPos{0}, vScrollMax{0};
  std::atomic<int> hScrollPos{0}, hScrollMax{0};
  std::atomic<int> caretExists{0}, caretShown{0};
  std::atomic<int> caretX{0}, caretY{0};
  std::atomic<int> caretWidth{0}, caretHeight{0};
};
extern HeadlessWindow gHeadless;
void headlessReset();

// The rectangles marked for repainting since the last reset, oldest first
// (at most the last 4096 are kept), in window pixels. Kept only while a test
// asks for them, so that measurements of the screen model stay undisturbed.
struct MarkedRect {
  int left, top, width, height;
};
void headlessKeepMarkedRects(bool keep);
std::vector<MarkedRect> headlessMarkedRects();

struct RecordedMessage {
  std::string text;
  std::string caption;   // "(default)" for a null caption
  unsigned icon = 0;
  bool owned = false;
};
// Messages shown so far, oldest first (at most the last 256 are kept).
int headlessMessageCount();
RecordedMessage headlessMessage(int i);
void headlessClearMessages();
// While held, a box stays up (its caller waits) until released, as one a
// person reads; it is counted as shown at once.
void headlessHoldBoxes(bool hold);
// Counts the shown messages whose text is exactly text.
int headlessCountMessages(const char* text);

// The clipboard (primary 0) and the primary selection (primary 1): what the
// program put there, or what a test puts there for it to paste.
void headlessSetClipboard(const std::string& text, int primary);
std::string headlessClipboard(int primary);

// GTK window operations on the main window's view, and the pacing of display
// frames. Any thread may ask for a frame (winRequestFrame): an atomic flag
// and an idle source hand the request to the GTK main loop, which runs
// DISPLAYRunFrame at the pace the core sets; a timer keeps frames coming
// while a stream keeps changing the view. Every other operation is called on
// the GTK thread by the frame, by painting and by the view's handlers.
#include "platform/window.h"

#include <atomic>
#include <cstdint>

#include "display/frame.h"
#include "platform/gtk/gtk_main.h"
#include "platform/thread.h"

namespace {

// The widgets (GTK thread only).
GtkWidget* gWindow = nullptr;
GtkWidget* gView = nullptr;
GtkWidget* gBar[2] = {nullptr, nullptr};   // by kBarHorz, kBarVert
int gBarPos[2] = {0, 0};
int gBarMax[2] = {0, 0};
GtkCaretState gCaretNow = {0, 0, 0, 0, 0};
bool gCaretExists = false;

// Frame pacing (GTK thread, but for the two flags).
std::atomic<bool> gRequestPosted{false};
std::atomic<bool> gTimerRunning{false};
guint gTimer = 0;
guint gTimerPeriod = 0;
int64_t gLastFrameUs = 0;
int gFramesInARow = 0;

int runFrame() {
  gLastFrameUs = platMonotonicUs();
  return gView ? DISPLAYRunFrame(gWindow) : 0;
}

gboolean timerTick(gpointer);

void startTimer(guint ms) {
  if (gTimer && gTimerPeriod == ms) return;
  if (gTimer) g_source_remove(gTimer);
  gTimerRunning = true;
  gTimer = g_timeout_add(ms, timerTick, nullptr);
  gTimerPeriod = ms;
}

// While frames keep finding changes they come a frame's time apart, a
// stream's frame time once the stream has kept them coming; the first frame
// with nothing to do stops the timer.
gboolean timerTick(gpointer) {
  if (runFrame()) {
    gFramesInARow++;
    const guint period = gFramesInARow >= kStreamFrames ? kStreamFrameIntervalMs : kFrameIntervalMs;
    if (period == gTimerPeriod) return G_SOURCE_CONTINUE;
    gTimer = 0;   // this source ends; a new one takes the new period
    startTimer(period);
    return G_SOURCE_REMOVE;
  }
  gTimer = 0;
  gTimerPeriod = 0;
  gFramesInARow = 0;
  gTimerRunning = false;
  // A change recorded while the timer still ran posted no request.
  if (DISPLAYFramePending()) startTimer(kFrameIntervalMs);
  return G_SOURCE_REMOVE;
}

// A request on the GTK thread: a frame at once after a quiet frame's time,
// else when that time is up.
gboolean frameRequested(gpointer) {
  gRequestPosted = false;
  if (gTimer) return G_SOURCE_REMOVE;   // the timer runs it
  const int64_t since = (platMonotonicUs() - gLastFrameUs) / 1000;
  if (since >= kFrameIntervalMs) {
    runFrame();
    startTimer(kFrameIntervalMs);
  } else {
    startTimer(static_cast<guint>(kFrameIntervalMs - since));
  }
  return G_SOURCE_REMOVE;
}

void queueArea(int x, int y, int w, int h) {
  if (gView && w > 0 && h > 0) gtk_widget_queue_draw_area(gView, x + kGtkViewMargin, y + kGtkViewMargin, w, h);
}

void queueCaret() {
  if (gCaretNow.shown) queueArea(gCaretNow.x, gCaretNow.y, gCaretNow.width, gCaretNow.height);
}

void configureBar(int bar) {
  GtkWidget* b = gBar[bar];
  if (!b || !gView) return;
  GtkAdjustment* adj = gtk_range_get_adjustment(GTK_RANGE(b));
  const int page = (bar == kBarVert ? gtk_widget_get_allocated_height(gView) : gtk_widget_get_allocated_width(gView)) -
                   2 * kGtkViewMargin;
  const double pageSize = page > 1 ? page : 1;
  // The thumb covers the visible part of the grid; the positions run 0..max.
  gtk_adjustment_configure(adj, gBarPos[bar], 0, gBarMax[bar] + pageSize, 1, pageSize, pageSize);
  // A range whose maximum is 0 hides the bar.
  gtk_widget_set_visible(b, gBarMax[bar] > 0);
}

int slot(int bar) { return bar == kBarVert ? kBarVert : kBarHorz; }

}  // namespace

void gtkSetMainWidgets(GtkWidget* window, GtkWidget* view, GtkWidget* vbar, GtkWidget* hbar) {
  gWindow = window;
  gView = view;
  gBar[kBarVert] = vbar;
  gBar[kBarHorz] = hbar;
  if (!view && gTimer) {
    g_source_remove(gTimer);
    gTimer = 0;
    gTimerPeriod = 0;
    gTimerRunning = false;
  }
}

GtkCaretState gtkCaret() { return gCaretNow; }

void winRequestFrame(WindowHandle) {
  // Called under the screen lock, from any thread: it only posts, once.
  if (gTimerRunning.load() || gRequestPosted.exchange(true)) return;
  g_idle_add_full(G_PRIORITY_DEFAULT, frameRequested, nullptr, nullptr);
}

void winInvalidateRect(WindowHandle, int left, int top, int width, int height, int) {
  queueArea(left, top, width, height);
}

void winInvalidateView(WindowHandle, int) {
  if (gView) gtk_widget_queue_draw(gView);
}

void winScrollWindow(WindowHandle, int dx, int dy) {
  // The view is drawn again whole: GTK draws a widget's every frame into a
  // buffer of its own, so moving the old pixels would save little.
  if (dx != 0 || dy != 0) winInvalidateView(nullptr, 0);
}

void winSetScrollPos(WindowHandle, int bar, int pos, int) {
  gBarPos[slot(bar)] = pos;
  configureBar(slot(bar));
}

void winSetScrollRange(WindowHandle, int bar, int max, int) {
  gBarMax[slot(bar)] = max;
  configureBar(slot(bar));
}

void winCreateCaret(WindowHandle, int width, int height) {
  queueCaret();
  gCaretExists = true;
  gCaretNow.shown = 0;
  gCaretNow.width = width;
  gCaretNow.height = height;
}

void winShowCaret(WindowHandle) {
  if (gCaretExists) gCaretNow.shown = 1;
  queueCaret();
}

void winHideCaret(WindowHandle) {
  queueCaret();
  gCaretNow.shown = 0;
}

void winDestroyCaret() {
  queueCaret();
  gCaretNow.shown = 0;
  gCaretExists = false;
}

void winSetCaretPos(int x, int y) {
  if (gCaretNow.x == x && gCaretNow.y == y) return;
  queueCaret();
  gCaretNow.x = x;
  gCaretNow.y = y;
  queueCaret();
}

void winUpdateWindow(WindowHandle) {
  // What is marked is drawn in GTK's next frame, which the frame clock runs
  // at once.
}

// GTK window operations on the main window. Any thread may call them: each
// only records what it asks for (areas to draw, scroll-bar values, the caret)
// under a lock and asks for a frame; the GTK thread carries out what was
// recorded at most about 60 times a second. So a stream of received bytes
// costs one drawing per frame, not one per byte, and no thread but GTK's
// ever touches a widget.
#include "platform/window.h"

#include <pthread.h>

#include <atomic>
#include <cstdint>

#include "platform/gtk/gtk_main.h"
#include "platform/thread.h"

namespace {

constexpr int64_t kFrameUs = 16667;   // 60 frames a second at most
// While the view scrolls frame after frame (a device streams lines), every
// frame draws the whole view again; 12 of them a second show the stream,
// lines jumping up a few at a time as a terminal's jump scroll does, for a
// fifth of the drawing of 60. Typing, which marks a few cells, keeps the
// short frame.
constexpr int64_t kScrollFrameUs = 80000;

pthread_mutex_t gMutex = PTHREAD_MUTEX_INITIALIZER;

// Guarded by gMutex.
GtkWidget* gWindow = nullptr;
GtkWidget* gView = nullptr;
GtkWidget* gBar[2] = {nullptr, nullptr};   // by kBarHorz, kBarVert
cairo_region_t* gDirty = nullptr;   // marked areas, view pixels
bool gDirtyAll = false;
struct BarState {
  int pos = 0;
  int max = 0;
  bool changed = false;
};
BarState gBars[2];
GtkCaretState gCaretNow = {0, 0, 0, 0, 0};
bool gCaretExists = false;

std::atomic<bool> gFramePending{false};
std::atomic<int64_t> gLastFrameUs{0};
std::atomic<bool> gLastFrameWhole{false};   // the last frame drew the whole view

cairo_region_t* dirty() {
  if (!gDirty) gDirty = cairo_region_create();
  return gDirty;
}

void markLocked(int x, int y, int w, int h) {
  if (w <= 0 || h <= 0) return;
  const cairo_rectangle_int_t r{x, y, w, h};
  cairo_region_union_rectangle(dirty(), &r);
}

void markCaretLocked() {
  if (gCaretNow.shown) markLocked(gCaretNow.x, gCaretNow.y, gCaretNow.width, gCaretNow.height);
}

gboolean frame(gpointer) {
  gFramePending = false;
  gtkFlushWindowChanges();
  return G_SOURCE_REMOVE;
}

// One frame, soon: at once when the last one is a frame's time ago, else
// when that time is up. Many requests before it runs make one frame.
void requestFrame() {
  if (gFramePending.exchange(true)) return;
  // A frame after one that drew the whole view waits the longer time: the
  // first cells marked by the next line decide when its frame comes.
  const int64_t period = gLastFrameWhole.load() ? kScrollFrameUs : kFrameUs;
  const int64_t wait = gLastFrameUs.load() + period - platMonotonicUs();
  const guint ms = wait > 0 ? static_cast<guint>((wait + 999) / 1000) : 0;
  g_timeout_add_full(G_PRIORITY_DEFAULT, ms, frame, nullptr, nullptr);
}

void configureBar(GtkWidget* bar, GtkWidget* view, int vertical, const BarState& s) {
  GtkAdjustment* adj = gtk_range_get_adjustment(GTK_RANGE(bar));
  const int page = vertical ? gtk_widget_get_allocated_height(view) : gtk_widget_get_allocated_width(view);
  const double pageSize = page > 1 ? page : 1;
  // The thumb covers the visible part of the grid; the positions run 0..max.
  gtk_adjustment_configure(adj, s.pos, 0, s.max + pageSize, 1, pageSize, pageSize);
  // A range whose maximum is 0 hides the bar.
  gtk_widget_set_visible(bar, s.max > 0);
}

}  // namespace

void gtkSetMainWidgets(GtkWidget* window, GtkWidget* view, GtkWidget* vbar, GtkWidget* hbar) {
  pthread_mutex_lock(&gMutex);
  gWindow = window;
  gView = view;
  gBar[kBarVert] = vbar;
  gBar[kBarHorz] = hbar;
  pthread_mutex_unlock(&gMutex);
}

void gtkFlushWindowChanges() {
  gLastFrameUs = platMonotonicUs();
  pthread_mutex_lock(&gMutex);
  GtkWidget* view = gView;
  GtkWidget* bars[2] = {gBar[0], gBar[1]};
  BarState state[2] = {gBars[0], gBars[1]};
  gBars[0].changed = gBars[1].changed = false;
  const bool all = gDirtyAll;
  gDirtyAll = false;
  cairo_region_t* region = gDirty;
  gDirty = nullptr;
  pthread_mutex_unlock(&gMutex);
  gLastFrameWhole = all;
  if (view) {
    for (int bar = 0; bar < 2; bar++) {
      if (state[bar].changed && bars[bar]) configureBar(bars[bar], view, bar == kBarVert, state[bar]);
    }
    if (all) {
      gtk_widget_queue_draw(view);
    } else if (region && !cairo_region_is_empty(region)) {
      gtk_widget_queue_draw_region(view, region);
    }
  }
  if (region) cairo_region_destroy(region);
}

GtkCaretState gtkCaret() {
  pthread_mutex_lock(&gMutex);
  const GtkCaretState c = gCaretNow;
  pthread_mutex_unlock(&gMutex);
  return c;
}

void winInvalidateRect(WindowHandle, int left, int top, int width, int height, int) {
  pthread_mutex_lock(&gMutex);
  markLocked(left, top, width, height);
  pthread_mutex_unlock(&gMutex);
  requestFrame();
}

void winInvalidateView(WindowHandle, int) {
  pthread_mutex_lock(&gMutex);
  gDirtyAll = true;
  pthread_mutex_unlock(&gMutex);
  requestFrame();
}

void winScrollWindow(WindowHandle, int dx, int dy) {
  // The view is drawn again whole: GTK draws a widget's every frame into a
  // buffer of its own, so moving the old pixels would save little.
  if (dx == 0 && dy == 0) return;
  winInvalidateView(nullptr, 0);
}

void winSetScrollPos(WindowHandle, int bar, int pos, int) {
  pthread_mutex_lock(&gMutex);
  BarState& s = gBars[bar == kBarVert ? kBarVert : kBarHorz];
  s.pos = pos;
  s.changed = true;
  pthread_mutex_unlock(&gMutex);
  requestFrame();
}

void winSetScrollRange(WindowHandle, int bar, int max, int) {
  pthread_mutex_lock(&gMutex);
  BarState& s = gBars[bar == kBarVert ? kBarVert : kBarHorz];
  s.max = max;
  s.changed = true;
  pthread_mutex_unlock(&gMutex);
  requestFrame();
}

void winCreateCaret(WindowHandle, int width, int height) {
  pthread_mutex_lock(&gMutex);
  markCaretLocked();
  gCaretExists = true;
  gCaretNow.shown = 0;
  gCaretNow.width = width;
  gCaretNow.height = height;
  pthread_mutex_unlock(&gMutex);
  requestFrame();
}

void winShowCaret(WindowHandle) {
  pthread_mutex_lock(&gMutex);
  if (gCaretExists) gCaretNow.shown = 1;
  markCaretLocked();
  pthread_mutex_unlock(&gMutex);
  requestFrame();
}

void winHideCaret(WindowHandle) {
  pthread_mutex_lock(&gMutex);
  markCaretLocked();
  gCaretNow.shown = 0;
  pthread_mutex_unlock(&gMutex);
  requestFrame();
}

void winDestroyCaret() {
  pthread_mutex_lock(&gMutex);
  markCaretLocked();
  gCaretNow.shown = 0;
  gCaretExists = false;
  pthread_mutex_unlock(&gMutex);
  requestFrame();
}

void winSetCaretPos(int x, int y) {
  pthread_mutex_lock(&gMutex);
  const bool moved = gCaretNow.x != x || gCaretNow.y != y;
  if (moved) {
    markCaretLocked();
    gCaretNow.x = x;
    gCaretNow.y = y;
    markCaretLocked();
  }
  pthread_mutex_unlock(&gMutex);
  if (moved) requestFrame();
}

void winUpdateWindow(WindowHandle) {
  // On the GTK thread what is recorded goes to the widgets now, and GTK
  // draws it in its next frame; elsewhere the next frame carries it.
  if (platOnUiThread()) {
    gtkFlushWindowChanges();
  } else {
    requestFrame();
  }
}

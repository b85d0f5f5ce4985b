// Message boxes of the POSIX build: there is no screen to show them on, so
// they are remembered, for the tests to read.
#include "platform/msgbox.h"

#include <pthread.h>

#include <string>

#include "platform/posix/headless.h"

namespace {
constexpr int kKept = 256;
pthread_mutex_t gMutex = PTHREAD_MUTEX_INITIALIZER;
RecordedMessage gMessages[kKept];
int gCount = 0;   // total shown; the last kKept are kept
pthread_cond_t gReleased = PTHREAD_COND_INITIALIZER;
bool gHold = false;
}  // namespace

void headlessHoldBoxes(bool hold) {
  pthread_mutex_lock(&gMutex);
  gHold = hold;
  pthread_cond_broadcast(&gReleased);
  pthread_mutex_unlock(&gMutex);
}

void platMessageBox(WindowHandle owner, const char* text, const char* caption, unsigned icon) {
  pthread_mutex_lock(&gMutex);
  RecordedMessage& m = gMessages[gCount % kKept];
  m.text = text;
  m.caption = caption ? caption : "(default)";
  m.icon = icon;
  m.owned = owner != nullptr;
  gCount++;
  while (gHold) pthread_cond_wait(&gReleased, &gMutex);
  pthread_mutex_unlock(&gMutex);
}

int headlessMessageCount() {
  pthread_mutex_lock(&gMutex);
  const int n = gCount < kKept ? gCount : kKept;
  pthread_mutex_unlock(&gMutex);
  return n;
}

RecordedMessage headlessMessage(int i) {
  pthread_mutex_lock(&gMutex);
  const int first = gCount < kKept ? 0 : gCount - kKept;
  RecordedMessage m = gMessages[(first + i) % kKept];
  pthread_mutex_unlock(&gMutex);
  return m;
}

void headlessClearMessages() {
  pthread_mutex_lock(&gMutex);
  gCount = 0;
  pthread_mutex_unlock(&gMutex);
}

int headlessCountMessages(const char* text) {
  const int n = headlessMessageCount();
  int hits = 0;
  for (int i = 0; i < n; i++) {
    if (headlessMessage(i).text == text) hits++;
  }
  return hits;
}

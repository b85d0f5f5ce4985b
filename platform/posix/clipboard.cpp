// The clipboard of the POSIX build without a window system: remembered, for the tests to read and fill.
#include "platform/clipboard.h"

#include <pthread.h>

#include "platform/posix/headless.h"

namespace {
pthread_mutex_t gMutex = PTHREAD_MUTEX_INITIALIZER;
std::string gBoard[2];   // the clipboard, the primary selection
}  // namespace

int platClipboardSet(WindowHandle, const std::string& text, int primary) {
  headlessSetClipboard(text, primary);
  return 1;
}

int platClipboardGet(WindowHandle, int primary, std::string* text) {
  *text = headlessClipboard(primary);
  return text->empty() ? 0 : 1;
}

const char* platLineEnd() { return "\n"; }

void headlessSetClipboard(const std::string& text, int primary) {
  pthread_mutex_lock(&gMutex);
  gBoard[primary ? 1 : 0] = text;
  pthread_mutex_unlock(&gMutex);
}

std::string headlessClipboard(int primary) {
  pthread_mutex_lock(&gMutex);
  std::string t = gBoard[primary ? 1 : 0];
  pthread_mutex_unlock(&gMutex);
  return t;
}

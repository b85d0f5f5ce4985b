// POSIX file dialogs: no dialog is shown; the answer set by a test (a path,
// or Cancel) is given as the user's choice, to the open and the save dialog
// alike.
#include <pthread.h>

#include <cstring>
#include <string>

#include "platform/filedlg.h"
#include "platform/posix/filedlg_hook.h"

namespace {
pthread_mutex_t gMutex = PTHREAD_MUTEX_INITIALIZER;
bool gChoose = false;
std::string gAnswer;
uint32_t gAnswerFilter = 0;
int gShown = 0;
OpenFileRecord gLast{};
std::string gLastStart;

// Copies s into a buffer of n bytes; 0 when it does not fit whole.
int copyWhole(char* buf, uint32_t n, const char* s) {
  const size_t len = std::strlen(s);
  if (!buf || len + 1 > n) return 0;
  std::memcpy(buf, s, len + 1);
  return 1;
}
}  // namespace

int platOpenFileDialog(OpenFileRecord* r) {
  if (!r || r->lStructSize != kOpenFileRecordSize || !r->lpstrFile || r->nMaxFile == 0) return 0;
  pthread_mutex_lock(&gMutex);
  gShown++;
  gLast = *r;
  gLastStart.assign(r->lpstrFile, strnlen(r->lpstrFile, r->nMaxFile));
  const bool choose = gChoose;
  const std::string answer = gAnswer;
  const uint32_t filter = gAnswerFilter;
  pthread_mutex_unlock(&gMutex);
  if (!choose) return 0;
  // A path that does not fit the buffer cannot be chosen, as the system
  // dialog refuses it.
  if (answer.size() + 1 > r->nMaxFile) return 0;
  const size_t slash = answer.find_last_of('/');
  const std::string name = slash == std::string::npos ? answer : answer.substr(slash + 1);
  if (r->lpstrFileTitle && name.size() + 1 > r->nMaxFileTitle) return 0;
  copyWhole(r->lpstrFile, r->nMaxFile, answer.c_str());
  if (r->lpstrFileTitle) copyWhole(r->lpstrFileTitle, r->nMaxFileTitle, name.c_str());
  r->nFileOffset = static_cast<uint16_t>(slash == std::string::npos ? 0 : slash + 1);
  const size_t dot = name.find_last_of('.');
  r->nFileExtension = static_cast<uint16_t>(dot == std::string::npos ? 0 : r->nFileOffset + dot + 1);
  if (filter) r->nFilterIndex = filter;
  return 1;
}

int platSaveFileDialog(OpenFileRecord* r) { return platOpenFileDialog(r); }

void posixFileDlgAnswer(const char* path, uint32_t filter) {
  pthread_mutex_lock(&gMutex);
  gChoose = path != nullptr;
  gAnswer = path ? path : "";
  gAnswerFilter = filter;
  pthread_mutex_unlock(&gMutex);
}

int posixFileDlgShown() {
  pthread_mutex_lock(&gMutex);
  const int n = gShown;
  pthread_mutex_unlock(&gMutex);
  return n;
}

OpenFileRecord posixFileDlgLastRecord() {
  pthread_mutex_lock(&gMutex);
  const OpenFileRecord r = gLast;
  pthread_mutex_unlock(&gMutex);
  return r;
}

std::string posixFileDlgLastStartPath() {
  pthread_mutex_lock(&gMutex);
  std::string s = gLastStart;
  pthread_mutex_unlock(&gMutex);
  return s;
}

void posixFileDlgReset() {
  pthread_mutex_lock(&gMutex);
  gChoose = false;
  gAnswer.clear();
  gAnswerFilter = 0;
  gShown = 0;
  gLast = OpenFileRecord{};
  gLastStart.clear();
  pthread_mutex_unlock(&gMutex);
}

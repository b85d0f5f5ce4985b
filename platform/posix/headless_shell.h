// What the commands asked of the POSIX build's headless shell, for the tests.
#pragma once
#include "platform/types.h"

struct HeadlessShell {
  int closePosts = 0;          // platPostClose calls
  int dialogRuns = 0;          // platRunDialog calls
  int lastDialog = 0;          // template of the last dialog run
  WindowHandle lastOwner = nullptr;
};
extern HeadlessShell gHeadlessShell;
void headlessShellReset();

// The headless shell of the POSIX build: closes and dialogs are remembered, for the tests.
#include "platform/shell.h"

#include "platform/posix/headless_shell.h"

HeadlessShell gHeadlessShell;

void headlessShellReset() {
  gHeadlessShell.closePosts = 0;
  gHeadlessShell.dialogRuns = 0;
  gHeadlessShell.lastDialog = 0;
  gHeadlessShell.lastOwner = nullptr;
}

void platPostClose(WindowHandle w) {
  gHeadlessShell.closePosts++;
  gHeadlessShell.lastOwner = w;
}

int platRunDialog(int id, WindowHandle owner) {
  gHeadlessShell.dialogRuns++;
  gHeadlessShell.lastDialog = id;
  gHeadlessShell.lastOwner = owner;
  return 1;   // as if closed with its OK button
}

// Message boxes: the only way the terminal reports a failure to its user.
#pragma once
#include "platform/types.h"

enum : unsigned {
  kIconError = 0x10,     // MB_ICONERROR: the link or the worker could not start
  kIconWarning = 0x30,   // MB_ICONWARNING: every other message
};

// Shows text in a modal box with an OK button, owned by owner (may be null).
// A null caption gives the platform's default caption. Returns when the user
// has dismissed it.
void platMessageBox(WindowHandle owner, const char* text, const char* caption, unsigned icon);

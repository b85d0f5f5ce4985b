// The clipboard as the core uses it: text in UTF-8, the system's clipboard, and on X also the primary selection.
#pragma once
#include <string>

#include "platform/types.h"

// Puts text on the clipboard, or with primary set on the primary selection
// (what X pastes with the middle button; nothing where the system has
// none). Called on the user-interface thread. Returns 1 when it was taken.
int platClipboardSet(WindowHandle w, const std::string& text, int primary);
// The clipboard's text (or the primary selection's). Returns 0, leaving
// text empty, when it holds no text.
int platClipboardGet(WindowHandle w, int primary, std::string* text);
// How the system's text ends a line: CR LF on Windows, LF elsewhere.
const char* platLineEnd();

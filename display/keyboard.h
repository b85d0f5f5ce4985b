// Keyboard entry: typed characters become bytes for the link, raw or as typed hex.
#pragma once
#include <cstdint>

#include "platform/types.h"

// One character message of the main window (ch: the character code, 0..255).
// Raw entry sends it as one byte; hex entry collects one or two hex digits
// and sends their byte at a blank or Enter. In raw entry Enter (13) sends
// EnterBytes (settings/options.h). Runs on the user-interface thread.
int ProcessDISPLAYCharacter(WindowHandle hwnd, int ch);

// One character of hex entry (the user-interface thread's state, shared by
// typing and pasting): the byte it completes, kHexPending while a byte is
// being entered (or for Ctrl+Enter), kHexRejected when it cannot continue
// the pending byte, which is then thrown away (shown as "?").
// A key beyond characters (display/vt_screen.h's VtKey, mods kVtMod*): in
// VT100 emulation it sends its sequence and returns 1; otherwise it does
// nothing and returns 0 (raw and hex entry have no use for it).
int ProcessDISPLAYKey(WindowHandle hwnd, int key, int mods);

constexpr int kHexPending = -1;
constexpr int kHexRejected = -2;
int DISPLAYHexEntry(int ch);

// Keyboard entry: typed characters become bytes for the link, raw or as typed hex.
#pragma once
#include <cstdint>

#include "platform/types.h"

// The bytes that Enter sends, as "Enter sends" chooses: CR, LF or CR LF.
// Fills out and returns their count (1 or 2). Typed Enter and each line end
// of a paste go out as these.
int EnterBytes(uint8_t (&out)[2]);

// One character message of the main window (ch: the character code, 0..255).
// Raw entry sends it as one byte; hex entry collects one or two hex digits
// and sends their byte at a blank or Enter. In raw entry Enter (13) sends
// EnterBytes. Runs on the user-interface thread.
int ProcessDISPLAYCharacter(WindowHandle hwnd, int ch);

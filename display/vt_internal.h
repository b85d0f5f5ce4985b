// What the emulator's files share (display/vt_screen.cpp, display/vt_feed.cpp, display/vt_keys.cpp).
#pragma once
#include <cstdint>

// Takes up to max bytes the emulator has for the device (answers, keys'
// sequences), oldest first. Under the screen lock.
int32_t VtTakeOutput(uint8_t* out, int32_t max);

// The emulator (display/vt_screen.cpp) and its screen's width, while it
// runs; under the screen lock.
struct VTerm;
struct VTermScreen;
extern VTerm* gVt;
extern VTermScreen* gScreen;
extern int32_t gCols;

// The device's bytes into the emulator (display/vt_feed.cpp), its reading
// of their sequences followed across blocks.
void VtFeedDevice(const uint8_t* data, int32_t len);
// A fresh emulator: no sequence under way.
void VtFeedReset();
// A device's sequence under way ends here (CAN), before the program writes
// to libvterm itself.
void VtEndSequence();
// Brings a cursor libvterm has put outside its screen inside it again (an
// ANSI mode libvterm does not know is reset: it does nothing else).
void VtCursorInside();

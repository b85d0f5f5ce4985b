// What the emulator's two files share (display/vt_screen.cpp, display/vt_keys.cpp).
#pragma once
#include <cstdint>

// Takes up to max bytes the emulator has for the device (answers, keys'
// sequences), oldest first. Under the screen lock.
int32_t VtTakeOutput(uint8_t* out, int32_t max);

// The status bar below the screen (option "Status bar"): its text, composed
// here for both front ends, which show it and ask for it again every
// kStatusBarPeriodMs while it is shown.
#pragma once
#include <cstddef>

constexpr int kStatusBarPeriodMs = 100;   // modem lines show within this
constexpr int kStatusBarTextMax = 400;    // a device path of 255 characters fits

// The bar's text now: the link ("COM12 921.6k 8E1 XON" or the UDP address and
// ports), the modem input lines CTS, DSR, DCD and RI ('-' where they cannot
// be read), DTR and RTS, the bytes received and sent since the link
// opened, and "VT100" while VT100 emulation is on. Returns 1 when the text
// differs from the last one composed, so a front end sets its control only
// then.
int ComposeStatusBar(char* buf, size_t size);

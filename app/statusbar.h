// The status bar below the screen (option "Status bar"): its text, composed
// here for both front ends, which show it and ask for it again every
// kStatusBarPeriodMs while it is shown.
#pragma once
#include <cstddef>

constexpr int kStatusBarPeriodMs = 100;   // modem lines show within this

// The bar's text now: the link ("COM1 115.2k" or the UDP address and
// ports), the modem input lines CTS, DSR, DCD and RI ('-' where they cannot
// be read), DTR and RTS, and the bytes received and sent since the link
// opened. Returns 1 when the text differs from the last one composed, so a
// front end sets its control only then.
int ComposeStatusBar(char* buf, size_t size);

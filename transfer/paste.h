// A paste: text from the clipboard sent to the device as the raw file send sends a file, by the worker, with the per-byte delay, echo and hex entry as for typed keys.
#pragma once
#include <cstdint>
#include <string>

// Queues text for the device (user-interface thread), every character of
// it, NULs included. Text that is UTF-8 is taken by characters: each
// becomes the byte drawn as it (display/charset.h), so copied glyphs paste
// back as the bytes they show, and '?' where no byte is drawn as it. Other
// text is taken byte for byte. Each line end (CR LF, LF or CR) is a press
// of Enter. With hex entry on, the
// characters are taken as typed ones: hex digits make bytes, and the '?' of
// a refused entry shows as the paste reaches it. A paste while one runs
// goes on behind it. Returns 1 when something was queued; without a
// connection, or with CTS down under CTS handshake, it says so and queues
// nothing.
int PasteText(const std::string& text);
// 1 while a paste has bytes left to send.
int PasteActive();
// The worker's step: hands the next bytes to the transmit buffer (with no
// per-byte delay as many as it has room for, else one, then the delay);
// nothing while a paced upload runs.
// Returns 1 when it handed on something.
int PasteStep();
// The same within room bytes of the transmit buffer (the worker's pass).
int PasteStepWithin(int32_t room);
// Drops what is left of a paste; returns 1 when one was running. F8, a
// failed write and the link's end call it.
int AbortPasteQuietly();
// The paste's place among the transfers (transfer/transfer.h).
class Transfer;
Transfer& PasteTransfer();

// VT100 emulation: a terminal emulator (libvterm) fed with the received bytes, its screen mirrored into the screen model, sized as the view, and the keys a VT100 sends.
//
// The emulator is the third writer into the screen model, beside raw and
// hex display: its screen occupies the grid's top rows (the view's whole
// rows and columns, or vt_size), rows it scrolls off the top go into the
// history, and its cursor is the model's. Everything here runs under the
// screen lock, which also guards the emulator; the functions that take the
// lock themselves say so.
#pragma once
#include <cstdint>

// Whether the display goes through the emulator now: the option emulation
// is vt100 and hex display is off (hex display shows the bytes themselves,
// and the emulator starts afresh when it is switched off again).
bool VtShowing();

// ---- inside a write (ScreenWriteBegin .. ScreenWriteEnd, display/screen_write.h)

// Bytes for the emulator: received, or echoed. Starts a fresh emulator on
// a cleared grid when none runs.
void VtFeed(const uint8_t* data, int32_t len);
// A status text of the program: each CR in it ends a line (CR LF), so it
// stands on its own rows as it does in raw display.
void VtFeedStatus(const char* text);
// Raw or hex display writes: an emulator that ran stops.
void VtLeave();
// Raw display (emulation off): whether these received bytes hold the
// connection's first ESC [ sequence, for the hint (once per connection).
bool VtHintDue(const uint8_t* data, int32_t len);
extern const char kVtHint[];

// ---- the screen lock held

// A fresh emulator of the current size over the grid (which the caller has
// just cleared): switching the mode on, Erase Screen.
void VtStart();
// The view's size changed (or the font): the emulated screen follows it,
// unless vt_size fixes it.
void VtViewSized();
// Whether the emulator has answers (or keys' sequences) for the device.
bool VtHasAnswers();
// Whether the device has hidden the cursor.
bool VtCursorHidden();
// The emulated screen's size now.
void VtSize(int32_t* cols, int32_t* rows);

// ---- taking the screen lock themselves

// The option emulation changed (menu, Options dialog): switched on, a fresh
// emulator on a cleared grid (the history stays); switched off, raw display
// goes on from the emulator's cursor.
void VtApplyMode();
// A connection opened: the hint may be written again.
void VtNewConnection();
// The emulator's answers (to ESC [6n, ESC [c) and the keys' sequences go
// to the device: from the worker as bytes no file send drops, from the
// user-interface thread as typed keys.
void VtSendAnswers(bool typed);

// The keys a VT100 has beyond characters, as the front ends name them.
enum VtKey : int {
  kVtKeyUp = 1,
  kVtKeyDown,
  kVtKeyLeft,
  kVtKeyRight,
  kVtKeyHome,
  kVtKeyEnd,
  kVtKeyInsert,
  kVtKeyDelete,
  kVtKeyPageUp,
  kVtKeyPageDown,
};
enum : int { kVtModShift = 1, kVtModCtrl = 2 };
// Queues the key's sequence as the emulator's modes make it (ESC [ A, or
// ESC O A in application cursor mode) for VtSendAnswers.
void VtQueueKey(int key, int mods);
// The bytes a typed character (the front end's ANSI byte, 0x80 and above
// as Windows-1252) sends in the device's character set; returns how many.
int VtCharBytes(int ch, uint8_t out[4]);

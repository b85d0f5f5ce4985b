// The Setup dialog's rules: what its controls show and what Ok makes of them,
// kept apart from the dialog itself so they hold the same on every platform.
#pragma once
#include <cstdint>

#include "platform/types.h"

// Control ids of dialog 101.
enum : int {
  kSetupDialog = 101,
  kIdDelayList = 501,
  kIdDelimEdit = 502,
  kIdSkipComment = 503,
  kIdPortList = 504,
  kIdBaudList = 505,
  kIdCtsCheck = 506,
  kIdLocalEcho = 507,
  kIdHexEnter = 508,
  kIdHexPrint = 509,
  kIdFontButton = 510,
  kIdIPEdit = 801,
  kIdRxPortEdit = 802,
  kIdTxPortEdit = 803,
  kIdSerialRadio = 804,
  kIdUdpRadio = 805,
};

// First string resources of the lists, and their entry counts.
enum : int {
  kDelayLabels = 601,   // " 0" .. "100"
  kComLabel = 701,      // "COM"
  kBaudLabels = 702,    // "9600" .. "230.4k"
  kDelayEntries = 8,
  kPortEntries = 6,
  kBaudEntries = 6,
};

// What the dialog's controls hold. A list with no selected entry has the
// position -1; its value field then means nothing.
struct SetupControls {
  char delimText[8];      // 502, at most 7 characters
  int32_t skipComment;    // 503
  int32_t delaySel;       // 501: selected position ...
  int32_t delayValue;     //   ... and that entry's item value
  int32_t portSel;        // 504: position; the port is position + 1
  int32_t baudSel;        // 505
  int32_t baudValue;
  int32_t cts;            // 506
  char ipText[32];        // 801, at most 31 characters
  char rxPortText[16];    // 802, at most 15
  char txPortText[16];    // 803, at most 15
  int32_t udp;            // 805 checked; 804 is checked when this is 0
  int32_t localEcho;      // 507
  int32_t hexEnter;       // 508
  int32_t hexPrint;       // 509
};

// The list position whose value equals current (the last if several do),
// or -1 when none does.
int32_t SetupFindListEntry(const int32_t* table, int count, int32_t current);

// The delimiter typed as one or two hexadecimal digits (more are ignored).
// Returns 1 and the byte in *value, or 0 when the text is not valid.
int SetupParseDelimiter(const char* text, int32_t* value);


// Opening the dialog: the controls from the settings. Also refills
// gszDelimString from the delimiter byte.
void SetupControlsFromSettings(SetupControls* c);

// Ok, before any reopen: stores every control into its setting, closes the
// link first when the link kind changes, and warns about an invalid
// delimiter. A valid delimiter text is rewritten in c->delimText as the two
// digits to show. Returns 1 when the link must be opened again.
int SetupStoreControls(SetupControls* c);

// Ok, last step: when reopen is set, or when no link is open, closes a
// connected link, makes the Old copies the new values and opens the link
// again (reporting its own failure). Does nothing while an earlier Ok is
// still under way (a message box of its open is up).
void SetupReopenLink(int reopen);
// Non-zero while an Ok is closing or opening the link.
int SetupOkRunning();
// "Terminal": the settings that a running transfer reads must not change
// under it. While a file is sent or recorded or a paste runs, says so in a
// box owned by w and returns 1.
int SetupRefusedDuringTransfer(WindowHandle w);

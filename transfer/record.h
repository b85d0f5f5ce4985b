// Receive recording: the record file, written by the worker block by block
// while recording runs, with pause markers; opened, paused and closed on the
// user-interface thread.
#pragma once
#include <cstdint>

#include "platform/filedlg.h"
#include "platform/types.h"
#include "settings/globals.h"

extern PlatHandle ghRecFile;
extern OpenFileRecord gofRecName;
extern char gszRecName[kPathMax];

// Fills the dialog record (window creation). RecFileOpenDlg fills it too
// when it never was, so the dialog also works when the link did not open.
void RecFileInit();
int RecFileOpenDlg();    // command 304 (F2)
int StartRecReceive();   // commands 325 (F9) and 326 (F10), after gfRecQuiet is set
int PauseRecReceive();   // command 327 (F11), while a record file is open
void CloseRecFile();     // command 328 (F12)

// The worker's write of one received block while gfRecRecv is 1. On a failed
// or short write it reports "Record File Write Error!" and ends recording.
// Exclusive with the pause marker and with the closes. With a stamp
// ("HH:MM:SS.mmm ", time stamps in the record file) each line that begins
// in the block is written with the stamp before it.
void RecordReceivedBlock(const uint8_t* block, int32_t n, const char* stamp = nullptr);
// Closes an open record file and clears the three recording flags, without
// a status text (link closing, program exit).
void CloseRecFileQuietly();

// The upload paced by replies (Shift+F6, Shift+F7): the send file goes out a
// line at a time, each line after the device's reply to the one before
// showed a prompt; an error text, no reply in time, or a change of the file
// stops it at that line. "#include NAME" and "#require NAME" lines upload
// the named file in their place.
//
// A line ends at CR, LF or CR LF, whatever the Send Line Delimiter says, and
// goes out followed by Enter's bytes. The upload remembers the last line
// the device answered with a prompt meaning "done" rather than "inside a
// definition" (the continue prompts); a stop names the line it goes on
// from, and going on opens the files again, so what is on the disk then is
// what goes out. While an upload runs, typed keys and pastes are refused:
// they would land inside its lines.
//
// The commands run on the user-interface thread; the pacing runs on the
// worker (UploadStep each pass, UploadReceived with every received block),
// so the window never waits for the device.
#pragma once
#include <cstdint>


// Commands 329 (skipComments 0) and 330 (1): starts an upload of the send
// file (the file dialog first when none is chosen), or goes on with a
// stopped one from the line after the last one the device answered "done".
void UploadStart(int skipComments);
// F6 (skipComments 0) and F7 (1) while an upload is stopped: its next line
// goes out by itself, read as the upload reads ("#include" opens its file,
// blank and comment lines are passed over), with no wait for the reply;
// the upload then goes on after it. Returns 0 when no upload is stopped.
int UploadKeyLine(int skipComments);

// The worker: non-zero while an upload runs or is stopped.
int UploadActive();
// Non-zero while an upload runs (not stopped): a line waits for its reply
// or the next one is due. The worker's idle waits are kept short then, so
// the reply's end is seen at once; the other send commands wait for it.
int UploadRunning();
// Typed keys and pastes ask here first: 1 while an upload runs, and they
// are not sent (the first refusal of an upload says so on the screen).
int UploadRefusesKeys();
void UploadStep();
void UploadReceived(const uint8_t* p, int32_t n);
// The link closes: the files of included levels are closed (the send file
// itself is closed by the send's own abort).
void UploadCloseQuietly();
// The upload's place among the transfers (transfer/transfer.h).
class Transfer;
Transfer& UploadTransfer();

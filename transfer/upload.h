// The upload paced by replies (Shift+F6, Shift+F7): the send file goes out a
// line at a time, each line after the device's reply to the one before
// showed a prompt; an error text, or no reply in time, stops it at that line
// with the file kept open there. "#include NAME" and "#require NAME" lines
// upload the named file in their place.
//
// The commands run on the user-interface thread; the pacing runs on the
// worker (UploadStep each pass, UploadReceived with every received block),
// so the window never waits for the device.
#pragma once
#include <cstdint>


// Commands 329 (skipComments 0) and 330 (1): starts an upload of the send
// file (the file dialog first when none is chosen), or goes on with a
// stopped one from the line where it stopped.
void UploadStart(int skipComments);
// F6/F7 while an upload is stopped: that key press sends the next line
// itself, so the line count of the stopped file moves on by one.
void UploadKeyLine();

// The worker: non-zero while an upload runs or is stopped.
int UploadActive();
// Non-zero while an upload runs (not stopped): a line waits for its reply
// or the next one is due. The worker's idle waits are kept short then, so
// the reply's end is seen at once; the other send commands wait for it.
int UploadRunning();
void UploadStep();
void UploadReceived(const uint8_t* p, int32_t n);
// The link closes: the files of included levels are closed (the send file
// itself is closed by the send's own abort).
void UploadCloseQuietly();

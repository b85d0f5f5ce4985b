// The file-send engine: a reader that fills the line queue from the file and
// a drainer that the worker calls to send one queued byte per pass.
#pragma once
#include <cstdint>

#include "platform/filedlg.h"
#include "platform/thread.h"
#include "platform/types.h"
#include "settings/globals.h"

constexpr int kReadBufSize = 4096;
constexpr int kLineQueueSize = 256;

extern PlatHandle ghSendFile;
extern uint8_t gsTXBuf[kReadBufSize];
extern int32_t gTXCol;
extern uint8_t gsTXLineBuf[kLineQueueSize];
extern Flag32 gLineMax;
extern Flag32 gLinePtr;
extern Flag32 gfBack;
extern Flag32 gBackByte;
extern int32_t gSendSize;
extern int32_t gComment;
extern OpenFileRecord gofSendName;
extern char gszSendName[kPathMax];

// Fills the dialog record (window creation). SendFileOpenDlg fills it too
// when it never was, so the dialog also works when the link did not open.
void SendFileInit();
int SendFileOpenDlg();           // command 302 (F1)
void StartSendFile();            // commands 321, and 322/323 with no file open
int StopSendFile();              // command 324 (F8)

// The reader. On the worker (raw mode) it queues one byte, or a '/' with the
// byte behind it held back, and with no per-byte delay as many of those as
// the queue holds; on the user-interface thread (commands 322 and 323) the
// next line unit, of which it reads at most one block itself. A call on the worker that finds a line mode set does
// nothing: the mode changed after the worker's test, and the command that
// changed it reads the next line itself.
void SendCommBlock();
int SkipCommentBlock();
// Reading that runs on beyond one block (the rest of a long unit a key press
// drops, a line the comment filter leaves empty, a block comment) is carried
// on by the worker: while SendFilePending says so, each pass calls
// SendFileContinue, which reads at most one block.
int SendFilePending();
void SendFileContinue();
// The drainer: one queued byte to the transmit buffer, then the per-byte
// delay; raw bytes queued with no delay go on all at once. A line longer than the queue is queued in several fills; the
// drainer takes the next fill when the queue runs out, so one key press
// still sends the whole line.
void SendCommLine();
// The same with at most room bytes handed on (the worker's pass, whose room
// the transfer runner computed).
void SendCommLineWithin(int32_t room);
// The worker's wait after a byte for the per-byte delay of delayMs: the
// least gap between two bytes going out, whatever sends them.
void PaceSend(int delayMs);

// The send lock (see filesend.cpp), for the paced upload, which reads the
// send file and swaps it for an included one under it.
CoreLock& SendFileLock();
// Counts the transfers started, under the send lock: a module that keeps
// state about one transfer tells by it that the transfer is over.
extern uint32_t gSendFileSeq;

// Ends a transfer early from another module (link closing, failed serial
// write, program exit): closes the send file if one is open, and drops the
// line queue and the held-back byte. Exclusive with the reader and the
// drainer; never waits for the other thread. Returns 1 when a file was open.
int AbortSendFileQuietly();

// The file send's place among the transfers (transfer/transfer.h).
class Transfer;
Transfer& FileSendTransfer();

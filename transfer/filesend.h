// The file-send engine: a reader that fills the line queue from the file and
// a drainer that the worker calls to send one queued byte per pass.
#pragma once
#include <cstdint>

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
extern char gszSendName[kPathMax];

void SendFileInit();
int SendFileOpenDlg();
void StartSendFile();
int StopSendFile();
void SendCommBlock();
int SkipCommentBlock();
void SendCommLine();

// Ends a transfer early from another module (link closing, failed serial
// write): closes the send file if one is open, and drops the line queue and
// the held-back byte. Exclusive with the reader and the drainer. Returns 1
// when a file was open.
int AbortSendFileQuietly();

// PLACEHOLDER until the file-send engine lands: the variables the worker reads.
#include "transfer/filesend.h"

PlatHandle ghSendFile = kInvalidHandle;
uint8_t gsTXBuf[kReadBufSize];
int32_t gTXCol = 0;
uint8_t gsTXLineBuf[kLineQueueSize];
Flag32 gLineMax{0};
Flag32 gLinePtr{0};
Flag32 gfBack{0};
Flag32 gBackByte{0};
int32_t gSendSize = 0;
int32_t gComment = 0;
char gszSendName[kPathMax];

void SendFileInit() {}
int SendFileOpenDlg() { return 0; }
void StartSendFile() {}
int StopSendFile() { return 0; }
void SendCommBlock() {}
int SkipCommentBlock() { return 0; }
void SendCommLine() {}
int AbortSendFileQuietly() { return 0; }

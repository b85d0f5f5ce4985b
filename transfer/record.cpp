// PLACEHOLDER until recording lands.
#include "transfer/record.h"

PlatHandle ghRecFile = kInvalidHandle;
char gszRecName[kPathMax];

void RecFileInit() {}
int RecFileOpenDlg() { return 0; }
int StartRecReceive() { return 0; }
int PauseRecReceive() { return 0; }
void CloseRecFile() {}
void RecordReceivedBlock(const uint8_t*, int32_t) {}
void CloseRecFileQuietly() {}

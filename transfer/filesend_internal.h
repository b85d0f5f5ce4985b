// The state and steps that the file-send engine (filesend.cpp) shares with
// its file reader (filesend_read.cpp); nothing outside the two uses them.
// All of it is guarded by the send lock (see filesend.cpp).
#pragma once
#include <atomic>
#include <cstdint>

#include "transfer/filesend.h"

namespace sendfile {

// ---- The reader's state (filesend_read.cpp) ----
extern uint8_t gsStage[kReadBufSize];   // the unit's bytes not yet queued
extern int32_t gStagePos;
extern int32_t gStageLen;
extern bool gUnitOpen;        // the unit's end has not been read yet
extern bool gUnitFiltered;    // part of the open unit passed the filter
extern int32_t gLineKept;     // bytes the comment filter kept in this line
extern bool gHaveCarry;       // the open unit's last byte, held for the filter
extern uint8_t gCarryByte;
extern uint32_t gAheadPos;    // the read-ahead
extern uint32_t gAheadLen;
extern bool gAheadEnd;
extern bool gAheadError;
extern int gReadsLeft;        // block reads the current hold may still make

// ---- The engine's state (filesend.cpp) ----
extern bool gQueueRaw;        // the queue was filled by the raw-mode reader
extern uint32_t gUnitSeq;     // changes with every replacement of the queue
enum class Pending { None, Line, DropRest, Comment };
extern Pending gPending;
extern Pending gAfterComment;
extern int gPendingMode;
extern bool gCommentStar;
extern int gQueuedKeys;
extern int gQueuedMode;
extern std::atomic<bool> gHasPending;

// What a reader call leaves to do once the lock is released.
struct After {
  bool dot = false;
  bool finished = false;
  bool readError = false;
};

enum class Ahead { Ready, Yield };
enum class Stop { Delimiter, BlockComment, FileEnd, BufferFull, ReadError, LinkDown, Yield };

// ---- The reader (filesend_read.cpp) ----
uint8_t delimiter();
void resetAhead();
Ahead ensureAhead();
int readOne(uint8_t* b);
void giveBack();
int32_t filterIntoStage(int32_t n, bool lineGoesOn);
int32_t copyIntoStage(int32_t n);
void beginContinuation();
void beginComment(Pending then);
int commentStep(After& after);
Stop readUnit();
bool handleStop(Stop s, bool filtered, After& after);
bool rawStepWanted();
bool rawUnit(After& after);
void rawStep(After& after);

// ---- The engine (filesend.cpp) ----
void runAfter(const After& a);
void clearPending();
void closeFile();
void resetFilter();
void closeUnit();
void appendQueue(const uint8_t* p, int32_t n);
void queueBytes(const uint8_t* p, int32_t n, bool raw);
void dropQueue();
void queueFromStage();
void stageAndQueue(int32_t n);
void endEarly();
void endAtFileEnd(After& after);
void startLine(int mode);
void runPending(After& after);
void lineKeyPress(int mode, After& after);
void engineStep(After& after);
void nextFill(After& after);
void fillSendRecord();

}  // namespace sendfile

// What the worker asks of a transfer (raw send, line by line, the paced
// upload, paste, break, XMODEM/YMODEM), and the one place that runs them.
#pragma once
#include <cstdint>

// Why a transfer is ended from outside it.
enum class TransferEnd { User, LinkLost, LinkClosed, WriteFailed, Exit };

// One kind of transfer. The worker calls step, received and tick; the
// user-interface thread starts a transfer by its own command and ends it
// through the runner (abort). Each implementation guards its own state.
class Transfer {
 public:
  virtual ~Transfer() = default;
  // Non-zero while it runs (is not done).
  virtual bool active() const = 0;
  // The worker's pass, when there is room to send: room is how many bytes
  // it may add to the transmit buffer now (the share of typed keys is kept
  // back already). Returns true when it did something.
  virtual bool step(int32_t room) = 0;
  // A block received from the link. Returns true when the bytes are the
  // transfer's own (a protocol's): they are then neither shown nor recorded.
  virtual bool received(const uint8_t*, int32_t) { return false; }
  // The timer, first in each pass: the milliseconds until the transfer next
  // needs the worker (-1: no need), which bounds the worker's idle wait.
  virtual int tick(int64_t /*nowUs*/) { return -1; }
  // Ends it; what the screen shows is the caller's (see TransferEndAll) or,
  // for a protocol, its own end text. Returns true when it was running.
  virtual bool abort(TransferEnd why) = 0;
  // While true nothing goes out: a break is on.
  virtual bool holdsLine() const { return false; }
  // Steps while the line is held too (its bytes wait in the buffer, as
  // typed ones do): the paste.
  virtual bool stepsWhileHeld() const { return false; }
  // While true typed keys and pastes are not sent.
  virtual bool refusesKeys() const { return false; }
  // Says once that a key was refused (called when refusesKeys is true).
  virtual void noteRefusedKey() {}
  // The worker's waits: short ones (a reply's end is seen at once), and no
  // pause to let a stream gather.
  virtual bool shortWaits() const { return false; }
  virtual bool noGather() const { return false; }
};

// ---- The runner: which transfers run, and what the worker does with them ----
// What one pass of the worker got from the transfers.
struct TransferPass {
  bool worked = false;   // something was handed on or read
  bool sending = true;   // the transmit buffer may be flushed
  int waitMs = -1;       // the longest idle wait (-1: the worker's own)
  bool shortWaits = false;
  bool noGather = false;
};
// The worker's pass: the timers, then, unless a break holds the line, the
// steps of every running transfer with the room computed once.
TransferPass TransferWorkerPass();
// A received block: true when a protocol took it (nothing shown or recorded).
bool TransferTakeReceived(const uint8_t* p, int32_t n);
// Ends every running transfer and writes what the end calls for: "Aborted"
// for a send or paste ended by the link, the timeout texts for a failed
// write; a protocol writes its own end text.
void TransferEndAll(TransferEnd why);
// F8: a running protocol ends with CAN; else a paste, then the file send
// (with its own answer when nothing was sent).
void TransferAbortCommand();
// Setup is refused while any transfer runs.
int TransferBusy();
// Typed keys and pastes ask here first: 1 when a running transfer refuses
// them (it says so once on the screen).
int TransferRefusesKeys();
// The room a transfer may fill in the transmit buffer now: the free bytes,
// less a share kept for typed keys unless a running transfer refuses keys.
int32_t TransferRoom();

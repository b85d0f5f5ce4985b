// Send Break: asked for on the user-interface thread, carried out by the
// worker, which starts the break, goes on with its passes (sending nothing)
// and ends it once its time is up: no thread sleeps through it.
#include "transfer/break.h"

#include <atomic>
#include <cstdint>

#include "link/serial.h"
#include "platform/thread.h"
#include "transfer/transfer.h"

namespace {

constexpr int64_t kBreakUs = 250000;

class Break final : public Transfer {
 public:
  bool active() const override { return wanted_ || endsUs_ != 0; }
  bool step(int32_t) override { return false; }
  // Starts an asked-for break or ends one whose time is up; returns the
  // milliseconds until the running break ends.
  int tick(int64_t now) override {
    if (gfUdpMode == 1 || (endsUs_ == 0 && !wanted_)) return -1;
    if (endsUs_ == 0) {
      wanted_ = false;
      if (!SerialSetBreak(1)) return -1;
      endsUs_ = now + kBreakUs;
      return static_cast<int>(kBreakUs / 1000);
    }
    if (now < endsUs_) return static_cast<int>((endsUs_ - now + 999) / 1000);
    SerialSetBreak(0);
    endsUs_ = 0;
    wanted_ = false;   // a request made during the break is met by it
    return -1;
  }
  bool holdsLine() const override { return endsUs_ != 0; }
  // The link closes (the worker has ended): a break left on ends with it.
  bool abort(TransferEnd why) override {
    if (why != TransferEnd::LinkClosed && why != TransferEnd::Exit) return false;
    const bool was = active();
    if (endsUs_ != 0) SerialSetBreak(0);
    endsUs_ = 0;
    wanted_ = false;
    return was;
  }
  void request() {
    wanted_ = true;
    platSignalWorker();
  }

 private:
  std::atomic<bool> wanted_{false};
  int64_t endsUs_ = 0;   // the worker's: non-zero while a break is on
};

Break& theBreak() {
  static Break b;
  return b;
}

}  // namespace

void RequestBreak() {
  if (!ModemControlAvailable()) return;
  theBreak().request();
}

Transfer& BreakTransfer() { return theBreak(); }

// The file send (F5, F6, F7) as a transfer: the worker's pass carries on the
// reader's pending work, reads on in raw mode and drains the line queue.
#include <cstdint>

#include "transfer/filesend.h"
#include "transfer/transfer.h"

namespace {

class FileSend final : public Transfer {
 public:
  bool active() const override {
    return SendFilePending() || gfSendFileOpen == 1 || gLinePtr < gLineMax;
  }
  bool step(int32_t room) override {
    bool worked = false;
    if (SendFilePending()) {
      SendFileContinue();
      worked = true;
    }
    if (gfSendFileOpen == 1 && gSendMode == 0) {
      SendCommBlock();
      worked = true;
    }
    if (gLinePtr < gLineMax) {
      SendCommLineWithin(room);
      worked = true;
    }
    return worked;
  }
  bool abort(TransferEnd) override { return AbortSendFileQuietly() != 0; }
};

}  // namespace

Transfer& FileSendTransfer() {
  static FileSend send;
  return send;
}

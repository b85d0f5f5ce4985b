// The one place that knows the transfers: the worker's pass over them, the
// room they may fill, and their ends by F8, by the link and at exit.
//
// The transfers of the file send (F5, F6, F7 and the paced upload built on
// it), the paste and the break keep the rules they always had about running
// together: a paste goes on beside a send, a break holds whatever is being
// sent. A protocol (XMODEM, YMODEM) takes the link alone: it starts only
// when nothing else runs, and nothing else starts while it runs.
#include "transfer/transfer.h"

#include "display/screen.h"
#include "link/connection.h"
#include "platform/thread.h"
#include "settings/globals.h"
#include "transfer/break.h"
#include "transfer/filesend.h"
#include "transfer/paste.h"
#include "transfer/upload.h"
#include "transfer/xmodem.h"

namespace {

// Bytes a transfer leaves free in the transmit buffer for keys typed
// meanwhile: a typed key never finds it filled by a transfer.
constexpr int32_t kTypingRoom = 64;

// In the order of the worker's pass: the break first (it holds the line),
// the protocol, the upload (it reads its own lines), the file send's reader
// and drainer, then the paste.
Transfer* const* transfers(int* count) {
  static Transfer* const list[] = {&BreakTransfer(), &ProtocolTransfer(), &UploadTransfer(), &FileSendTransfer(),
                                   &PasteTransfer()};
  *count = static_cast<int>(sizeof list / sizeof list[0]);
  return list;
}

}  // namespace

int32_t TransferRoom() {
  int count = 0;
  Transfer* const* list = transfers(&count);
  bool keys = true;
  for (int i = 0; i < count; i++) {
    if (list[i]->refusesKeys()) keys = false;
  }
  const int32_t room = TxFreeBytes() - (keys ? kTypingRoom : 0);
  return room > 0 ? room : 0;
}

TransferPass TransferWorkerPass() {
  TransferPass pass;
  int count = 0;
  Transfer* const* list = transfers(&count);
  const int64_t now = platMonotonicUs();
  for (int i = 0; i < count; i++) {
    const int ms = list[i]->tick(now);
    if (ms >= 0 && (pass.waitMs < 0 || ms < pass.waitMs)) pass.waitMs = ms;
    if (list[i]->holdsLine()) pass.sending = false;
  }
  // While a break is on nothing is sent: the bytes wait for its end.
  for (int i = 0; i < count; i++) {
    if (!pass.sending && !list[i]->stepsWhileHeld()) continue;
    if (list[i]->active() && list[i]->step(TransferRoom())) pass.worked = true;
  }
  for (int i = 0; i < count; i++) {
    if (list[i]->shortWaits()) pass.shortWaits = true;
    if (list[i]->noGather()) pass.noGather = true;
  }
  return pass;
}

bool TransferTakeReceived(const uint8_t* p, int32_t n) {
  int count = 0;
  Transfer* const* list = transfers(&count);
  bool taken = false;
  for (int i = 0; i < count; i++) {
    if (list[i]->received(p, n)) taken = true;
  }
  return taken;
}

void TransferEndAll(TransferEnd why) {
  // A lost link is met on every pass until the device is back: only what
  // still runs is ended, once.
  const bool lost = why == TransferEnd::LinkLost;
  Transfer& paste = PasteTransfer();
  Transfer& send = FileSendTransfer();
  const bool pasting = (!lost || paste.active()) && paste.abort(why);
  const bool sending = (!lost || send.active()) && send.abort(why);
  if (why == TransferEnd::WriteFailed) {
    WriteDISPLAYStatus2(gszCtsStr, gszAbortStr);
  } else if ((sending || pasting) && why != TransferEnd::Exit) {
    WriteDISPLAYStatus(gszAbortStr);
  }
  int count = 0;
  Transfer* const* list = transfers(&count);
  for (int i = 0; i < count; i++) {
    if (list[i] == &paste || list[i] == &send) continue;
    if (!lost || list[i]->active()) list[i]->abort(why);
  }
}

void TransferAbortCommand() {
  if (ProtocolTransfer().active()) {
    ProtocolTransfer().abort(TransferEnd::User);
    return;
  }
  // A running paste ends first; the file send's own answer follows when a
  // file is open or nothing was being sent at all.
  if (PasteTransfer().abort(TransferEnd::User) && !gfSendFileOpen) {
    WriteDISPLAYStatus(gszAbortStr);
    return;
  }
  StopSendFile();
}

int TransferBusy() {
  return gfSendFileOpen || PasteTransfer().active() || ProtocolTransfer().active() ? 1 : 0;
}

int TransferRefusesKeys() {
  int count = 0;
  Transfer* const* list = transfers(&count);
  for (int i = 0; i < count; i++) {
    if (!list[i]->refusesKeys()) continue;
    list[i]->noteRefusedKey();
    return 1;
  }
  return 0;
}

// Fuzzes keyboard entry: arbitrary key sequences in raw and hex entry, with
// local echo and hex display switched by the input, checking the hex-entry
// state, the transmit buffer and the cursor stay within their bounds; then
// the same bytes pasted as text, checking each paste step leaves room in the
// transmit buffer and that, flushed between steps, the whole paste goes out.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "display/keyboard.h"
#include "display/screen.h"
#include "display/view.h"
#include "link/connection.h"
#include "platform/posix/headless.h"
#include "settings/globals.h"
#include "transfer/paste.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  GxChar = 8;
  GyChar = 16;
  InitDISPLAYView();
  InitDISPLAYGrid();
  gfConnected = 1;   // connected, but no worker: typed bytes stay queued
  gfUdpMode = 1;     // no modem lines to ask
  gComTxLen = 0;
  gNibbleCount = 0;
  gTxByte = 0;
  gfHexEnter = data[0] & 1;
  gfLocalEcho = (data[0] >> 1) & 1;
  gfHexPrint = (data[0] >> 2) & 1;
  for (size_t i = 1; i < size; i++) {
    const int32_t before = gComTxLen;
    ProcessDISPLAYCharacter(nullptr, data[i]);
    if (gNibbleCount > 2) std::abort();
    if (gComTxLen < before || gComTxLen > kTxBufSize || gComTxLen - before > 1) std::abort();
    if (!gfHexEnter && gComTxLen == before && before < kTxBufSize) std::abort();   // raw entry sends every key
    if (GnRow < 0 || GnRow >= kScreenRows || GnColumn < 0 || GnColumn >= kScreenCols) std::abort();
  }
  gComTxLen = 0;
  gPackDelay = 0;
  PasteText(std::string(reinterpret_cast<const char*>(data + 1), size - 1));
  while (PasteStep()) {
    if (gComTxLen > kTxBufSize - 64) std::abort();   // room is kept for typed keys
    gComTxLen = 0;                                    // the worker's flush
  }
  if (PasteActive()) std::abort();
  headlessClearMessages();
  gfConnected = 0;
  gfUdpMode = 0;
  gfHexPrint = 0;
  return 0;
}

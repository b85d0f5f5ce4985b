// The status bar's text: link, modem lines and byte counts, read without
// waking the worker (the lines straight from the port, the counts from the
// worker's counters).
#include "app/statusbar.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "link/connection.h"
#include "link/serial.h"
#include "platform/serial.h"
#include "settings/globals.h"
#include "settings/options.h"

namespace {

char gLast[kStatusBarTextMax] = "";

}  // namespace

int ComposeStatusBar(char* buf, size_t size) {
  char link[340];
  char port[300];
  if (gfUdpMode == 0) SerialStatusText(port, sizeof port);
  if (gfUdpMode == 1) {
    std::snprintf(link, sizeof link, "UDP %s RX-Port %d TX-Port %d%s", gszIPString, static_cast<int>(gRX_PortNum),
                  static_cast<int>(gTX_PortNum), gfUdpOpen ? "" : "  (closed)");
  } else if (!gfComOpen) {
    std::snprintf(link, sizeof link, "%s  (closed)", port);
  } else {
    uint32_t in = 0;
    const bool read = ReadModemLines(&in) != 0;
    auto line = [&](uint32_t bit) { return read ? ((in & bit) ? '1' : '0') : '-'; };
    std::snprintf(link, sizeof link, "%s   CTS:%c DSR:%c DCD:%c RI:%c   DTR:%d RTS:%d", port, line(kModemCts),
                  line(kModemDsr), line(kModemRlsd), line(kModemRing), gfDtrOn ? 1 : 0, gfRtsOn ? 1 : 0);
  }
  char text[sizeof gLast];
  std::snprintf(text, sizeof text, "%s   RX %" PRIu64 "  TX %" PRIu64 "%s", link, gRxTotal.load(), gTxTotal.load(),
                gEmulation == kEmulationVt100 ? "   VT100" : "");
  std::snprintf(buf, size, "%s", text);
  const int changed = std::strcmp(text, gLast) != 0;
  std::memcpy(gLast, text, sizeof gLast);
  return changed;
}

// The Win32 serial layer under Wine: COM1 is a pseudo-terminal whose device
// end echoes every byte back. Prints "PASS name" or "FAIL name" per check.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "display/screen.h"
#include "display/screen_model.h"
#include "link/connection.h"
#include "link/serial.h"
#include "platform/msgbox.h"
#include "settings/globals.h"

namespace {

std::string gLastMessage;
unsigned gLastIcon = 0;
int gFailures = 0;

void check(bool ok, const char* name, const std::string& detail = "") {
  std::printf("%s %s%s%s\n", ok ? "PASS" : "FAIL", name, ok || detail.empty() ? "" : ": ", ok ? "" : detail.c_str());
  std::fflush(stdout);
  if (!ok) gFailures++;
}

std::string grid() {
  ScopedLock hold(ScreenLock());
  std::string g;
  for (int r = 0; r < kScreenRows; r++)
    for (int c = 0; c < kScreenCols; c++) g += static_cast<char>(gScreenModel.charAt(r, c));
  return g;
}

bool waitFor(const std::string& prefix, int ms) {
  for (int t = 0; t < ms; t += 10) {
    if (grid().compare(0, prefix.size(), prefix) == 0) return true;
    Sleep(10);
  }
  return false;
}

}  // namespace

// Message boxes are remembered instead of shown: nobody clicks them here.
void platMessageBox(WindowHandle, const char* text, const char* caption, unsigned icon) {
  gLastMessage = text;
  gLastIcon = icon;
  (void)caption;
}

int main() {
  std::setvbuf(stdout, nullptr, _IONBF, 0);

  check(openConnection() == 1 && gfComOpen == 1 && gfConnected == 1, "serial_open_com1", gLastMessage);
  if (gfConnected) {
    DCB dcb = {};
    dcb.DCBlength = sizeof dcb;
    const bool got = GetCommState(reinterpret_cast<HANDLE>(ghCom), &dcb);
    check(got && dcb.BaudRate == 115200 && dcb.ByteSize == 8 && dcb.Parity == NOPARITY && dcb.StopBits == ONESTOPBIT &&
              dcb.fDtrControl == DTR_CONTROL_ENABLE && dcb.fRtsControl == RTS_CONTROL_ENABLE && !dcb.fOutxCtsFlow,
          "serial_line_settings_115200_8n1_dtr_rts");
    COMMTIMEOUTS ct = {};
    GetCommTimeouts(reinterpret_cast<HANDLE>(ghCom), &ct);
    check(ct.ReadIntervalTimeout == MAXDWORD && ct.WriteTotalTimeoutConstant == 3000 && ct.WriteTotalTimeoutMultiplier == 1,
          "serial_timeouts");
    // The open names the device the system maps COM1 to.
    const std::string row = grid().substr(kScreenCols, kScreenCols);
    const std::string opened = row.substr(0, row.find_last_not_of(' ') + 1);
    const std::string rate = ", 115200 baud-";
    check(opened.rfind("-COM1 is ", 0) == 0 && opened.size() > 9 + rate.size() &&
              opened.compare(opened.size() - rate.size(), rate.size(), rate) == 0,
          "serial_open_names_the_device", opened);
    ClearDISPLAYScreen();

    // A round trip of every byte value through the echoing device, shown in
    // hex so that control bytes are visible too.
    gfHexPrint = 1;
    std::string expect;
    static const char d[] = "0123456789abcdef";
    for (int i = 0; i < 256; i++) {
      sendCommByte(i);
      expect += d[i >> 4];
      expect += d[i & 15];
      expect += ' ';
    }
    check(waitFor(expect, 5000), "serial_round_trip_all_byte_values", grid().substr(0, 120));
    closeConnection();
    check(gfComOpen == 0 && gfConnected == 0 && gdwThreadID == 0, "serial_close");
  }

  gbPort = 10;
  gLastMessage.clear();
  // The system's reason under the first line.
  check(openConnection() == 0 && gLastMessage.rfind("Cannot open COM10 @ 115200 baud\nCOM", 0) == 0 &&
            gLastMessage.find("(error ") != std::string::npos && gLastIcon == kIconError,
        "serial_missing_port_message", gLastMessage);
  return gFailures == 0 ? 0 : 1;
}

// Fuzzes the preset loader with arbitrary files beside the program, then uses
// every loaded string the way the program does, so a missing terminator or
// an overrun shows under the sanitizers.
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/posix/paths.h"
#include "settings/globals.h"
#include "settings/preset.h"
#include "link/udp.h"
#include "settings/setup.h"

namespace {

char gDir[64];

void setUp() {
  if (gDir[0]) return;
  std::snprintf(gDir, sizeof gDir, "/tmp/zelto-fuzz-preset-%d", static_cast<int>(getpid()));
  mkdir(gDir, 0700);
  char path[128];
  std::snprintf(path, sizeof path, "%s/ZELTO.EXE", gDir);
  if (FILE* f = std::fopen(path, "w")) std::fclose(f);
  posixSetProgramPath(path);
}

void mustEnd(const char* s, size_t width) {
  if (!std::memchr(s, 0, width)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  setUp();
  ResetSharedState();
  char path[128];
  std::snprintf(path, sizeof path, "%s/ZELTO.SET", gDir);
  FILE* f = std::fopen(path, "wb");
  if (!f) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);
  LoadPreset();

  mustEnd(gszIPString, sizeof gszIPString);
  mustEnd(gszOldIPString, sizeof gszOldIPString);
  mustEnd(gszRX_PortString, sizeof gszRX_PortString);
  mustEnd(gszTX_PortString, sizeof gszTX_PortString);
  mustEnd(GlfDISPLAYFont.lfFaceName, sizeof GlfDISPLAYFont.lfFaceName);
  mustEnd(gszSendPathName, sizeof gszSendPathName);
  mustEnd(gszRecPathName, sizeof gszRecPathName);
  if (GxChar <= 0 || GyChar <= 0) std::abort();
  // Every number is one the program can use (a field out of range was read
  // as its default), and the preset is called damaged exactly then.
  bool listed = false;
  for (int i = 0; i < 6; i++) listed = listed || BaudTable[i] == static_cast<int32_t>(gdwBaudRate);
  const int32_t flags[] = {gfLocalEcho, gfHexPrint, gfHexEnter, gfUdpMode, gfSkipBigComment, gfCtsHandsh};
  for (int32_t flag : flags) {
    if (flag != 0 && flag != 1) std::abort();
  }
  if (gbPort < 1 || gbPort > 6 || !listed || gPackDelay < 0 || gPackDelay > 100 || GxChar > 64 || GyChar > 64) {
    std::abort();
  }
  if (size >= 630 && data[0] == 12 && (data[1] < 1 || data[1] > 6) && !PresetDamageText()[0]) std::abort();

  // What the program then does with them: the open-failure message, the
  // Setup dialog's controls, the port numbers, saving again.
  char message[128];
  std::snprintf(message, sizeof message, "Cannot open UPD: IP %s  RX-Port %d  TX-Port %d", gszIPString,
                PortTextToNumber(gszRX_PortString), PortTextToNumber(gszTX_PortString));
  SetupControls c;
  SetupControlsFromSettings(&c);
  mustEnd(c.delimText, sizeof c.delimText);
  mustEnd(c.ipText, sizeof c.ipText);
  SavePreset(nullptr);
  return 0;
}

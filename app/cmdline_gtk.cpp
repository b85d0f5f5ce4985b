// The native program's command line: `zelto [DEVICE] [--com N=DEVICE]...`, --version, --help, and --list, which shows the serial devices found, what the system says of each, and the COM port each becomes.
#include "app/cmdline_gtk.h"

#include <cstdlib>
#include <cstring>

#include "app/version.h"
#include "platform/posix/paths.h"
#include "settings/serial_options.h"

namespace {

constexpr int kPorts = 6;   // COM1 to COM6, as the Setup dialog offers them

// Each found device with its COM port (or why it has none), then the
// devices named for a port that were not found among them.
void listPorts(FILE* to) {
  char found[40][32];
  const int count = posixFindSerialDevices(found, 40);
  char com[kPorts + 1][256] = {};
  for (int n = 1; n <= kPorts; n++) posixComDevicePath(n, com[n], sizeof com[n]);
  bool shown[kPorts + 1] = {};
  if (count == 0) {
    std::fprintf(to, "No serial device found (/dev/ttyUSB*, /dev/ttyACM*, or a /dev/ttyS* with a UART).\n");
  } else {
    std::fprintf(to, "Serial devices found, and the COM port each is:\n");
  }
  char why[640], info[256];
  for (int i = 0; i < count; i++) {
    int port = 0;
    for (int n = 1; n <= kPorts && !port; n++) {
      char a[4096], b[4096];
      if (com[n][0] && realpath(com[n], a) && realpath(found[i], b) && std::strcmp(a, b) == 0) port = n;
    }
    posixSerialDeviceProblem(found[i], why, sizeof why);
    if (port) {
      shown[port] = true;
      std::fprintf(to, "  %-16s COM%d%s%s\n", found[i], port, why[0] ? "  " : "", why);
    } else {
      std::fprintf(to, "  %-16s -     no COM port left (COM1 to COM%d are taken)\n", found[i], kPorts);
    }
    // The driver and, for a USB adapter, its vendor and product.
    if (posixSerialDeviceInfo(found[i], info, sizeof info)) std::fprintf(to, "  %-16s %s\n", "", info);
  }
  for (int n = 1; n <= kPorts; n++) {
    if (shown[n] || !com[n][0]) continue;
    posixSerialDeviceProblem(com[n], why, sizeof why);
    std::fprintf(to, "  %-16s COM%d%s%s\n", com[n], n, why[0] ? "  " : "", why);
    if (posixSerialDeviceInfo(com[n], info, sizeof info)) std::fprintf(to, "  %-16s %s\n", "", info);
  }
}

// "N=DEVICE" for --com. Returns 0 after saying what is wrong.
int takePort(const char* value) {
  if (!value || value[0] < '1' || value[0] > '0' + kPorts || value[1] != '=' || value[2] == 0) {
    std::fprintf(stderr, "zelto: --com wants N=DEVICE with N from 1 to %d, not %s\n", kPorts,
                 value ? value : "nothing");
    return 0;
  }
  posixSetComDevice(value[0] - '0', value + 2);
  gfPortsFromCommandLine = 1;   // before ZELTO.INI's [serial] device, for this run
  return 1;
}

}  // namespace

void PrintZeltoUsage(FILE* to) {
  std::fprintf(to,
               "usage: zelto [DEVICE] [--com N=DEVICE]...\n"
               "       zelto --list | --version | --help\n"
               "  DEVICE           COM1 opens DEVICE: the same as --com 1=DEVICE\n"
               "  --com N=DEVICE   COMn (1 to %d) opens DEVICE, e.g. --com 2=/dev/ttyUSB0\n"
               "  --list           the serial devices found and the COM port each becomes\n"
               "  --version        the version\n"
               "  --help           this text\n"
               "COM ports not named take the serial devices found, in order: /dev/ttyUSB*,\n"
               "/dev/ttyACM*, then the /dev/ttyS* with a UART. A device named here is used\n"
               "for this run instead of [serial] device in ZELTO.INI. See man zelto.\n",
               kPorts);
}

int ReadZeltoOptions(int argc, char** argv) {
  bool list = false;
  for (int i = 1; i < argc; i++) {
    const char* a = argv[i];
    if (std::strcmp(a, "--com") == 0) {
      if (!takePort(i + 1 < argc ? argv[++i] : nullptr)) return 2;
    } else if (std::strncmp(a, "--com=", 6) == 0) {
      if (!takePort(a + 6)) return 2;
    } else if (std::strcmp(a, "--list") == 0) {
      list = true;
    } else if (std::strcmp(a, "--version") == 0) {
      std::printf("zelto " ZELTO_VERSION "\n");
      return 0;
    } else if (std::strcmp(a, "-h") == 0 || std::strcmp(a, "--help") == 0) {
      PrintZeltoUsage(stdout);
      return 0;
    } else if (a[0] != '-' && a[0]) {
      posixSetComDevice(1, a);   // zelto /dev/ttyUSB0
      gfPortsFromCommandLine = 1;
    } else {
      std::fprintf(stderr, "zelto: unknown option %s\n", a);
      PrintZeltoUsage(stderr);
      return 2;
    }
  }
  if (list) {
    listPorts(stdout);
    return 0;
  }
  return -1;
}

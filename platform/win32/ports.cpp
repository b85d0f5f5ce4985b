// The serial ports this Windows system has now: the COM names the serial drivers registered (HARDWARE\DEVICEMAP\SERIALCOMM, where Wine lists the ports it maps too), each with its device's friendly name where the Ports class of SetupAPI has one.
#include <windows.h>
#include <setupapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/serial.h"

namespace {

// The Ports (COM and LPT) device class.
const GUID kPortsClass = {0x4d36e978, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};

struct Port {
  std::string name;          // "COM12"
  std::string description;   // "USB-SERIAL CH340", or ""
};

int number(const std::string& name) { return std::atoi(name.c_str() + 3); }

void addPort(std::vector<Port>& ports, const std::string& name, const std::string& description) {
  if (!platSerialNameCheck(name.c_str())) return;
  for (Port& p : ports) {
    if (_stricmp(p.name.c_str(), name.c_str()) != 0) continue;
    if (p.description.empty()) p.description = description;
    return;
  }
  ports.push_back({name, description});
}

void registeredPorts(std::vector<Port>& ports) {
  HKEY key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) != ERROR_SUCCESS) return;
  for (DWORD i = 0;; i++) {
    char value[256], data[64];
    DWORD valueLen = sizeof value, dataLen = sizeof data - 1, type = 0;
    const LONG rc = RegEnumValueA(key, i, value, &valueLen, nullptr, &type, reinterpret_cast<BYTE*>(data), &dataLen);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    if (rc != ERROR_SUCCESS || type != REG_SZ) continue;
    data[dataLen] = 0;
    addPort(ports, data, "");
  }
  RegCloseKey(key);
}

// The devices of the Ports class that are present, by the port name their
// device key holds, with the friendly name less its " (COM12)".
void describedPorts(std::vector<Port>& ports) {
  HDEVINFO set = SetupDiGetClassDevsA(&kPortsClass, nullptr, nullptr, DIGCF_PRESENT);
  if (set == INVALID_HANDLE_VALUE) return;
  SP_DEVINFO_DATA info = {};
  info.cbSize = sizeof info;
  for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &info); i++) {
    char name[64] = "";
    HKEY key = SetupDiOpenDevRegKey(set, &info, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key != INVALID_HANDLE_VALUE) {
      DWORD len = sizeof name - 1, type = 0;
      if (RegQueryValueExA(key, "PortName", nullptr, &type, reinterpret_cast<BYTE*>(name), &len) != ERROR_SUCCESS ||
          type != REG_SZ)
        len = 0;
      name[len] = 0;
      RegCloseKey(key);
    }
    char friendly[256] = "";
    if (!SetupDiGetDeviceRegistryPropertyA(set, &info, SPDRP_FRIENDLYNAME, nullptr, reinterpret_cast<BYTE*>(friendly),
                                           sizeof friendly - 1, nullptr))
      friendly[0] = 0;
    std::string description = friendly;
    const std::string suffix = std::string(" (") + name + ")";
    if (description.size() > suffix.size() &&
        description.compare(description.size() - suffix.size(), suffix.size(), suffix) == 0)
      description.resize(description.size() - suffix.size());
    addPort(ports, name, description);
  }
  SetupDiDestroyDeviceInfoList(set);
}

}  // namespace

int platSerialListPorts(char (*list)[kSerialEntryMax], int max) {
  std::vector<Port> ports;
  registeredPorts(ports);
  describedPorts(ports);
  std::sort(ports.begin(), ports.end(), [](const Port& a, const Port& b) { return number(a.name) < number(b.name); });
  int n = 0;
  for (const Port& p : ports) {
    if (n == max) break;
    if (p.description.empty()) {
      std::snprintf(list[n++], kSerialEntryMax, "%s", p.name.c_str());
    } else {
      std::snprintf(list[n++], kSerialEntryMax, "%s  (%s)", p.name.c_str(), p.description.c_str());
    }
  }
  return n;
}

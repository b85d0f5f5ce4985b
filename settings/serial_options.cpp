// The [serial] options: the line they make with the preset's port, rate and
// CTS box, their texts, and the Options dialog's and the file's rules for them.
#include "settings/serial_options.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "link/serial.h"
#include "platform/msgbox.h"
#include "platform/serial.h"
#include "settings/options.h"
#include "settings/setup.h"

char gszSerialDevice[kSerialNameMax] = "";
Flag32 gSerialBaud{0};
Flag32 gSerialDataBits{8};
Flag32 gSerialParity{kParityNone};
Flag32 gSerialStopBits{kStopOne};
Flag32 gSerialFlow{kFlowNone};
Flag32 gfPortsFromCommandLine{0};

bool SerialSameLine(const SerialLine& a, const SerialLine& b) {
  return std::strcmp(a.name, b.name) == 0 && a.rate == b.rate && a.dataBits == b.dataBits && a.parity == b.parity &&
         a.stopBits == b.stopBits && a.flow == b.flow;
}

int SerialDeviceInUse() { return gszSerialDevice[0] && !gfPortsFromCommandLine ? 1 : 0; }

namespace {

bool framingValid(int32_t dataBits, int32_t stopBits) {
  if (dataBits < 5 || dataBits > 8) return false;
  if (stopBits == kStopOneHalf) return dataBits == 5;
  if (stopBits == kStopTwo) return dataBits != 5;
  return stopBits == kStopOne;
}

bool presetRate(uint32_t rate) {
  for (int i = 0; i < 6; i++)
    if (static_cast<uint32_t>(BaudTable[i]) == rate) return true;
  return false;
}

const char kParityLetters[] = "NEOMS";
const char* const kStopTexts[] = {"1", "1.5", "2"};

}  // namespace

int SerialLineFromSettings(SerialLine* line) {
  std::memset(line, 0, sizeof *line);
  if (SerialDeviceInUse()) {
    std::snprintf(line->name, sizeof line->name, "%s", gszSerialDevice);
  } else {
    std::snprintf(line->name, sizeof line->name, "COM%d", static_cast<int>(gbPort));
  }
  line->rate = gSerialBaud != 0 ? static_cast<uint32_t>(gSerialBaud.load()) : gdwBaudRate;
  line->dataBits = gSerialDataBits;
  line->parity = gSerialParity;
  line->stopBits = gSerialStopBits;
  // The preset's CTS box is the rtscts of flow (SerialSetCtsHandshake keeps
  // them together); a test or an old preset may set only the box.
  line->flow = gfCtsHandsh ? kFlowRtsCts : (gSerialFlow == kFlowXonXoff ? kFlowXonXoff : kFlowNone);
  // The preset's own rate only from its list: a damaged preset holds another.
  const bool rateOk = gSerialBaud != 0 ? line->rate >= kSerialRateMin && line->rate <= kSerialRateMax
                                       : presetRate(line->rate);
  return rateOk && line->parity >= kParityNone && line->parity <= kParitySpace &&
                 framingValid(line->dataBits, line->stopBits)
             ? 1
             : 0;
}

void SerialModeText(const SerialLine& line, char* buf, size_t size) {
  std::snprintf(buf, size, "baud=%u parity=%c data=%d stop=%s", static_cast<unsigned>(line.rate),
                kParityLetters[line.parity], static_cast<int>(line.dataBits), kStopTexts[line.stopBits]);
}

void SerialFramingText(const SerialLine& line, char* buf, size_t size) {
  std::snprintf(buf, size, "%d%c%s", static_cast<int>(line.dataBits), kParityLetters[line.parity],
                kStopTexts[line.stopBits]);
}

void SerialLineText(const SerialLine& line, char* buf, size_t size) {
  // The rate as a person reads it: 9600, 74.88k, 921.6k, 1.5M.
  char rate[24];
  const unsigned r = line.rate;
  if (r < 10000) {
    std::snprintf(rate, sizeof rate, "%u", r);
  } else {
    const bool mega = r >= 1000000;
    const unsigned unit = mega ? 1000000u : 1000u;
    std::snprintf(rate, sizeof rate, "%u.%0*u", r / unit, mega ? 6 : 3, r % unit);
    size_t n = std::strlen(rate);
    while (rate[n - 1] == '0') rate[--n] = 0;
    if (rate[n - 1] == '.') rate[--n] = 0;
    std::snprintf(rate + n, sizeof rate - n, "%c", mega ? 'M' : 'k');
  }
  char framing[8];
  SerialFramingText(line, framing, sizeof framing);
  const char* flow = line.flow == kFlowXonXoff ? " XON" : line.flow == kFlowRtsCts ? " CTS" : "";
  std::snprintf(buf, size, "%s %s%s", rate, framing, flow);
}

void SerialSetCtsHandshake(int on) {
  gfCtsHandsh = on ? 1 : 0;
  if (on) {
    gSerialFlow = kFlowRtsCts;
  } else if (gSerialFlow == kFlowRtsCts) {
    gSerialFlow = kFlowNone;
  }
}

int32_t SerialSetupPortShown() { return SerialDeviceInUse() ? -1 : gbPort; }

uint32_t SerialSetupRateShown() {
  SerialLine line;
  SerialLineFromSettings(&line);
  return line.rate;
}

void SerialSetupPortChosen(int port) {
  if (port == SerialSetupPortShown()) return;
  gbPort = static_cast<uint8_t>(port);
  gszSerialDevice[0] = 0;
  gfPortsFromCommandLine = 0;
}

void SerialSetupRateChosen(uint32_t rate) {
  if (rate == SerialSetupRateShown()) return;
  gdwBaudRate = rate;
  gSerialBaud = 0;
}

namespace {

const char kStopRule[] = "1.5 only with 5 data bits, and 2 only with 6 to 8";

int row(const char* key) { return OptionIndex("serial", key); }

// The values that texts would give the data and stop bits, leaving both as
// they are.
void framingOf(const char* const* texts, int32_t* dataBits, int32_t* stopBits) {
  const int32_t data = gSerialDataBits, stop = gSerialStopBits;
  OptionParse(row("data_bits"), texts[row("data_bits")]);
  OptionParse(row("stop_bits"), texts[row("stop_bits")]);
  *dataBits = gSerialDataBits;
  *stopBits = gSerialStopBits;
  gSerialDataBits = data;
  gSerialStopBits = stop;
}

}  // namespace

void SerialOptionsLoaded(char* note, size_t size) {
  if (gSerialFlow == kFlowNone) {
    gSerialFlow = gfCtsHandsh ? kFlowRtsCts : kFlowNone;
  } else {
    gfCtsHandsh = gSerialFlow == kFlowRtsCts ? 1 : 0;
  }
  if (framingValid(gSerialDataBits, gSerialStopBits)) return;
  gSerialStopBits = kStopOne;
  const size_t used = std::strlen(note);
  std::snprintf(note + used, size - used, "\r-%s: stop_bits takes %s; its default is used-\r", gszOptionsName,
                kStopRule);
}

int SerialOptionsRefused(WindowHandle owner, const char* const* texts) {
  int32_t data = 0, stop = 0;
  framingOf(texts, &data, &stop);
  if (!framingValid(data, stop)) {
    char text[160];
    std::snprintf(text, sizeof text, "%s:\ntakes %s.", OptionAt(row("stop_bits")).label, kStopRule);
    platMessageBox(owner, text, gszAppName, kIconWarning);
    return row("stop_bits");
  }
  // The port's settings stay while a transfer runs, as Setup's do.
  for (int i = 0; i < OptionCount(); i++) {
    if (std::strcmp(OptionAt(i).section, "serial") != 0 || !OptionWouldChange(i, texts[i])) continue;
    if (!SetupRefusedDuringTransfer(owner)) break;
    return i;
  }
  return -1;
}

void SerialOptionsStored(const char* deviceBefore) {
  gfCtsHandsh = gSerialFlow == kFlowRtsCts ? 1 : 0;
  if (std::strcmp(deviceBefore, gszSerialDevice) != 0) gfPortsFromCommandLine = 0;
  if (gfUdpMode == 0 && SerialSettingsChanged()) SetupReopenLink(1);
}

namespace {

int deviceCheck(const char* value) { return !value[0] || platSerialNameCheck(value) ? 1 : 0; }
void deviceAccepts(char* buf, size_t size) {
  std::snprintf(buf, size, "%s, or nothing for the Setup dialog's port", platSerialNameRule());
}
int deviceEntries(char (*list)[kOptionEntryMax], int max) { return platSerialListPorts(list, max); }

int baudCheck(const char* value) {
  const long rate = std::strtol(value, nullptr, 10);
  return rate == 0 || rate >= static_cast<long>(kSerialRateMin) ? 1 : 0;
}
void baudAccepts(char* buf, size_t size) {
  std::snprintf(buf, size, "0 for the Setup dialog's rate, or a whole rate from %u to %u",
                static_cast<unsigned>(kSerialRateMin), static_cast<unsigned>(kSerialRateMax));
}

}  // namespace

const OptionRule kSerialDeviceRule = {deviceCheck, deviceAccepts, deviceEntries};
const OptionRule kSerialBaudRule = {baudCheck, baudAccepts, nullptr};
const OptionRule kSerialFramingRule = {nullptr, nullptr, nullptr};
static_assert(kSerialEntryMax == kOptionEntryMax, "a port entry is an entry of the device row's list");

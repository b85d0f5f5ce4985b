// The Options dialog's rules: the fields from the options table, the lists of the editable ones, and Ok's check of every field before any is stored.
#include "settings/options_dlg.h"

#include <cstdio>
#include <cstring>

#include "platform/msgbox.h"
#include "settings/globals.h"
#include "settings/options.h"
#include "settings/serial_options.h"

int32_t OptionsFieldState(int i, char* text, size_t size) {
  OptionFormat(i, text, size);
  const OptionDesc& o = OptionAt(i);
  if (o.kind == kOptionFlag) return std::strcmp(text, "0") != 0 ? 1 : 0;
  if (o.kind == kOptionChoice) {
    for (int k = 0; o.choices[k]; k++)
      if (std::strcmp(text, o.choices[k]) == 0) return k;
    return -1;
  }
  return 0;
}

const char* OptionsStateText(int i, int32_t state) {
  const OptionDesc& o = OptionAt(i);
  if (o.kind == kOptionFlag) return state ? "1" : "0";
  if (o.kind != kOptionChoice || state < 0) return "";
  for (int k = 0; o.choices[k]; k++)
    if (k == state) return o.choices[k];
  return "";
}

int OptionsStoreFields(WindowHandle owner, const char* const* texts) {
  for (int i = 0; i < OptionCount(); i++) {
    if (OptionCheck(i, texts[i])) continue;
    char accepts[160], text[256];
    OptionAccepts(i, accepts, sizeof accepts);
    std::snprintf(text, sizeof text, "%s:\ntakes %s.", OptionAt(i).label, accepts);
    platMessageBox(owner, text, gszAppName, kIconWarning);
    return i;
  }
  const int refused = SerialOptionsRefused(owner, texts);
  if (refused >= 0) return refused;
  char device[kSerialNameMax];
  std::memcpy(device, gszSerialDevice, sizeof device);
  for (int i = 0; i < OptionCount(); i++) OptionParse(i, texts[i]);
  SerialOptionsStored(device);
  return -1;
}

int OptionsFieldEntries(int i, char (*list)[kOptionEntryMax], int max) {
  const OptionDesc& o = OptionAt(i);
  return o.kind == kOptionList && o.rule && o.rule->entries ? o.rule->entries(list, max) : 0;
}

// Fuzzes the texts the user types into the Setup dialog: the delimiter and
// the two port numbers, at the widths the dialog reads them.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "link/udp.h"
#include "settings/setup.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  char delim[8] = {};
  std::memcpy(delim, data, size < 7 ? size : 7);
  int32_t value = -1;
  if (SetupParseDelimiter(delim, &value) && (value < 0 || value > 255)) std::abort();

  char port[16] = {};
  std::memcpy(port, data, size < 15 ? size : 15);
  const int32_t n = PortTextToNumber(port);
  (void)n;
  return 0;
}

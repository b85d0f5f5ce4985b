// Test data for transfers: printable text without line ends, '/' or '*', in
// numbered groups ("00000,00001,..."), so that a lost, doubled or moved piece
// shows. Header only: the native tests and the Wine programs both use it.
#pragma once
#include <cstddef>
#include <cstdio>
#include <string>

inline std::string NumberedText(size_t n) {
  std::string s;
  char group[16];
  for (int i = 0; s.size() < n; i++) {
    std::snprintf(group, sizeof group, "%05d,", i);
    s += group;
  }
  s.resize(n);
  return s;
}

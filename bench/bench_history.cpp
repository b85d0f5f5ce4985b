// Timed harness for the history: the memory that 10 000 and 1 000 000 rows
// of 80-character lines add to the resident size, the time Find takes to
// reach the oldest match over 100 000 rows of history, and the time Save
// Output As takes to write them. Medians of five runs.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "display/find.h"
#include "display/save_output.h"
#include "display/screen.h"
#include "display/screen_model.h"
#include "display/selection.h"
#include "display/view.h"
#include "settings/globals.h"
#include "settings/options.h"

namespace {

using Clock = std::chrono::steady_clock;

double residentMb() {
  long pages = 0, resident = 0;
  if (FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

// rows lines of 80 bytes (a number and letters, 79 characters, then CR),
// in blocks as the worker writes received data: a row each.
void stream(int64_t rows) {
  std::string block;
  char head[24];
  for (int64_t i = 0; i < rows; i++) {
    std::snprintf(head, sizeof head, "%08lld ", static_cast<long long>(i));
    block += head;
    for (int c = 9; c < 79; c++) block += static_cast<char>('a' + (i + c) % 26);
    block += '\r';
    if (block.size() > 4000) {
      WriteDISPLAYBlock(block.data(), static_cast<int32_t>(block.size()));
      block.clear();
    }
  }
  WriteDISPLAYBlock(block.data(), static_cast<int32_t>(block.size()));
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main() {
  GxChar = 8;
  GyChar = 16;
  SizeDISPLAY(nullptr, 34 * 16, 80 * 8);

  for (const int64_t rows : {int64_t{10000}, int64_t{1000000}}) {
    InitDISPLAYGrid();
    gScrollbackLines = static_cast<int32_t>(rows);
    const double before = residentMb();
    stream(rows + kScreenRows - 1);   // the last line's row stays in the grid
    std::printf("%-40s %8.1f MB resident added (%lld rows held, %.1f MB of history)\n",
                rows == 10000 ? "history of 10000 rows of 80 characters" : "history of 1000000 rows of 80 characters",
                residentMb() - before, static_cast<long long>(gScreenModel.historyRows()),
                gScreenModel.historyBytes() / (1024.0 * 1024.0));
  }

  InitDISPLAYGrid();
  gScrollbackLines = 100000;
  stream(100000 + kScreenRows - 1);
  std::vector<double> finds, saves;
  for (int run = 0; run < 5; run++) {
    // The oldest row's number (each save's note scrolls the oldest away).
    ClearSelection();
    std::string oldest;
    {
      ScopedLock hold(ScreenLock());
      static RowCells row;
      gScreenModel.readRow(-gScreenModel.historyRows(), &row);
      for (int c = 0; c < 9; c++) oldest += static_cast<char>(row.ch[c]);
    }
    const auto t0 = Clock::now();
    FindMatch m{};
    const FindResult r = FindInScreen(nullptr, oldest, true, true, &m);
    finds.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    if (r != kFindFound || m.firstRow != -100000) std::printf("find went wrong: %d at row %d\n", r, m.firstRow);
    char path[] = "/tmp/zelto-bench-save-XXXXXX";
    const int fd = mkstemp(path);
    if (fd >= 0) close(fd);
    const auto t1 = Clock::now();
    const int64_t lines = SaveDISPLAYOutput(nullptr, path);
    saves.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t1).count());
    if (lines < 100000) std::printf("save went wrong: %lld lines\n", static_cast<long long>(lines));
    unlink(path);
  }
  std::printf("%-40s %8.1f ms (median of 5)\n", "find of the oldest of 100000 rows", median(finds));
  std::printf("%-40s %8.1f ms (median of 5)\n", "save of 100000 rows", median(saves));
  return 0;
}

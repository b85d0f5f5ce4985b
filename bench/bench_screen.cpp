// Throughput of the screen model: received blocks of 1536 printable bytes
// with a carriage return every 70, laid into the grid raw and as hex, and
// blocks of short lines (a carriage return every 10 bytes) raw. The
// headless window of the native build does no drawing, so this measures the
// model alone. The same long-line blocks also as the worker shows them with
// time stamps on (a stamp before each line), against the same blocks without;
// and raw display with no history kept (scrollback_lines = 0).
#include <benchmark/benchmark.h>

#include <cstring>

#include "display/screen.h"
#include "display/screen_model.h"
#include "display/view.h"
#include "settings/globals.h"
#include "settings/options.h"

namespace {

void fillBlock(uint8_t* block, int line) {
  for (int i = 0; i < 1536; i++) block[i] = static_cast<uint8_t>((i % line == line - 1) ? '\r' : ('!' + i % 90));
}

void run(benchmark::State& state, int hex, int line = 70, const char* stamp = nullptr, int32_t history = 10000) {
  uint8_t block[1536];
  fillBlock(block, line);
  GxChar = 8;
  GyChar = 16;
  SizeDISPLAY(nullptr, 34 * 16, 80 * 8);
  gfHexPrint = hex;
  gScrollbackLines = history;
  for (auto _ : state) {
    WriteDISPLAYReceived(block, sizeof block, stamp);
    benchmark::DoNotOptimize(gScreenModel.charAt(GnRow, 0));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 1536);
  gfHexPrint = 0;
  gScrollbackLines = 10000;
}

void BM_WriteRaw(benchmark::State& state) { run(state, 0); }
void BM_WriteHex(benchmark::State& state) { run(state, 1); }
void BM_WriteRawShortLines(benchmark::State& state) { run(state, 0, 10); }
void BM_WriteRawTimeStamped(benchmark::State& state) { run(state, 0, 70, "12:34:56.789 "); }
void BM_WriteRawNoHistory(benchmark::State& state) { run(state, 0, 70, nullptr, 0); }
void BM_WriteRawShortLinesNoHistory(benchmark::State& state) { run(state, 0, 10, nullptr, 0); }

}  // namespace

BENCHMARK(BM_WriteRaw)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_WriteHex)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_WriteRawShortLines)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_WriteRawTimeStamped)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_WriteRawNoHistory)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_WriteRawShortLinesNoHistory)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK_MAIN();

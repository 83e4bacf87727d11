// Costs of the rules that run while the programs are up: one tick of the idle watch (watching,
// and during a click sequence), reading coordinates.dat, and the coordinate text rules.
// Built with Google Benchmark; run bench/engine_bench from the build folder.
#include <benchmark/benchmark.h>

#include <unistd.h>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <string>
#include <string_view>

#include "coordinate_file.hpp"
#include "coordinate_text.hpp"
#include "idle_watch.hpp"
#include "pointer_services.hpp"

namespace {

// A pointer with nothing behind it: it only remembers where it is, so the figures are the
// watch's own work (the unit tests' fake records every call, which would be timed too).
class StillPointer : public shared::Pointer {
 public:
  bool GetCursorPos(shared::POINT& point) override {
    point = position;
    return true;
  }
  bool SetCursorPos(std::int32_t x, std::int32_t y) override {
    position = {x, y};
    return true;
  }
  bool mouse_event(std::uint32_t, std::int32_t, std::int32_t, std::uint32_t,
                   std::uintptr_t) override {
    ++presses_and_releases;
    return true;
  }
  bool AnyButtonHeld() override { return false; }
  shared::POINT position{640, 620};
  std::uint64_t presses_and_releases = 0;
};

// Watching a pointer that rests: the count goes up, the limit is never reached.
void BM_Tick_WatchingStill(benchmark::State& state) {
  StillPointer pointer;
  clicker::IdleWatch watch(pointer, "0345", "0456");
  watch.SetIdleLimit(-1);  // no count equals it
  for (auto _ : state) {
    watch.Timer1_Timer();
    benchmark::DoNotOptimize(watch.IdleCount);
  }
}
BENCHMARK(BM_Tick_WatchingStill);

// Watching a pointer that moves every tick: the resting place is renewed each time.
void BM_Tick_WatchingMoving(benchmark::State& state) {
  StillPointer pointer;
  clicker::IdleWatch watch(pointer, "0345", "0456");
  for (auto _ : state) {
    pointer.position.x ^= 1;
    watch.Timer1_Timer();
    benchmark::DoNotOptimize(watch.LastPos);
  }
}
BENCHMARK(BM_Tick_WatchingMoving);

// A limit of one still tick: every tick is a step of the click sequence (target, target, back to
// the resting place), each converting the target texts and clicking.
void BM_Tick_Sequence(benchmark::State& state) {
  StillPointer pointer;
  clicker::IdleWatch watch(pointer, "0345", "0456");
  watch.SetIdleLimit(1);
  for (auto _ : state) watch.Timer1_Timer();
  // One click a tick, as in the running program.
  state.counters["clicks_per_tick"] = benchmark::Counter(
      static_cast<double>(pointer.presses_and_releases) / 2, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_Tick_Sequence);

// The whole file read, as Idlepress does it at start: status, open, two lines, close.
void BM_ReadCoordinateFile(benchmark::State& state) {
  char folder_template[] = "/tmp/engine_bench.XXXXXX";
  const char* folder = mkdtemp(folder_template);
  if (!folder) {
    state.SkipWithError("can't make a scratch folder");
    return;
  }
  const std::filesystem::path file = shared::CoordinateFilePath(folder);
  shared::WriteCoordinateFile(file, "0345", "0456");
  for (auto _ : state) benchmark::DoNotOptimize(shared::ReadCoordinateFile(file));
  std::filesystem::remove_all(folder);
}
BENCHMARK(BM_ReadCoordinateFile);

// The reader alone, on a stream in memory, rewound for each read.
void BM_ReadCoordinates_Memory(benchmark::State& state) {
  static char bytes[] = "0345\r\n0456\r\n";
  std::FILE* stream = fmemopen(bytes, sizeof bytes - 1, "rb");
  if (!stream) {
    state.SkipWithError("fmemopen failed");
    return;
  }
  for (auto _ : state) {
    std::rewind(stream);
    benchmark::DoNotOptimize(shared::ReadCoordinates(stream, "coordinates.dat"));
  }
  std::fclose(stream);
}
BENCHMARK(BM_ReadCoordinates_Memory);

void BM_ToCoordinate(benchmark::State& state, std::string_view text) {
  for (auto _ : state) {
    benchmark::DoNotOptimize(text);
    benchmark::DoNotOptimize(shared::ToCoordinate(text));
  }
}
BENCHMARK_CAPTURE(BM_ToCoordinate, padded, std::string_view("0345"));
BENCHMARK_CAPTURE(BM_ToCoordinate, padded_negative, std::string_view("00-5"));
BENCHMARK_CAPTURE(BM_ToCoordinate, most_negative, std::string_view("-2147483648"));
BENCHMARK_CAPTURE(BM_ToCoordinate, not_a_number, std::string_view("03x5"));

void BM_PadToFour(benchmark::State& state, const char* text) {
  for (auto _ : state) {
    std::string copy = text;
    benchmark::DoNotOptimize(copy);
    benchmark::DoNotOptimize(shared::PadToFour(std::move(copy)));
  }
}
BENCHMARK_CAPTURE(BM_PadToFour, one_digit, "7");
BENCHMARK_CAPTURE(BM_PadToFour, negative, "-5");
BENCHMARK_CAPTURE(BM_PadToFour, four_digits, "1234");

}  // namespace

BENCHMARK_MAIN();

// The length arithmetic and the report of a full list of 128 files.
#include <benchmark/benchmark.h>

#include <vector>

#include "length_report.h"

namespace {

using namespace pellorin;

void TrackLength(benchmark::State& state) {
  std::int64_t frames = 8165556;
  for (auto _ : state) {
    benchmark::DoNotOptimize(ComputeTrackLength({44100, frames}));
    frames = (frames * 7 + 13) % 400000000;
  }
}
BENCHMARK(TrackLength);

void Report(benchmark::State& state) {
  std::vector<MeasuredFile> files;
  for (std::int64_t i = 0; i < 128; ++i) files.push_back({"track.wav", {44100, 8165556 + i * 997}});
  for (auto _ : state) benchmark::DoNotOptimize(FormatLengthReport(files));
}
BENCHMARK(Report);

}  // namespace

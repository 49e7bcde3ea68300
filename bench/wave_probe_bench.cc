// The probe on a canonical 44-byte header and on one whose tags lie near
// offset 15000 behind a JUNK chunk: scanning in memory, and from a file.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "cd_audio.h"
#include "wave_probe.h"

namespace {

using namespace pellorin;

// A second of CD audio; a JUNK chunk of 14956 bytes before the format chunk
// puts the tags near offset 15000.
std::string Canonical() { return WaveHeader(2, 44100, 16, 176400); }
std::string FarTags() {
  return Canonical().insert(12, "JUNK" + std::string("\x6c\x3a\0\0", 4) + std::string(14956, '\0'));
}

void Scan(benchmark::State& state, const std::string& bytes) {
  const std::span head(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
  for (auto _ : state) benchmark::DoNotOptimize(ScanWaveHeader(head));
}

void Probe(benchmark::State& state, const std::string& bytes) {
  const std::filesystem::path path =
      std::filesystem::temp_directory_path() / ("pellorin_bench_" + std::to_string(bytes.size()));
  std::ofstream(path, std::ios::binary) << bytes;
  for (auto _ : state) benchmark::DoNotOptimize(GET_ATTRIBUTES(path.string()));
  std::filesystem::remove(path);
}

BENCHMARK_CAPTURE(Scan, canonical, Canonical());
BENCHMARK_CAPTURE(Scan, tags_near_15000, FarTags());
BENCHMARK_CAPTURE(Probe, canonical, Canonical());
BENCHMARK_CAPTURE(Probe, tags_near_15000, FarTags());

}  // namespace

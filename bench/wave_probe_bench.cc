// The probe on a canonical 44-byte header and on one whose tags lie near
// offset 15000 behind a JUNK chunk: scanning in memory, and from a file.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "wave_probe.h"

namespace {

using namespace pellorin;

// A header of a second of CD audio, behind a JUNK chunk of junk bytes if any.
std::string Header(std::uint32_t junk) {
  const auto le = [](std::uint32_t value, int bytes) {
    std::string out;
    for (int i = 0; i < bytes; ++i) out += static_cast<char>(value >> 8 * i & 0xFF);
    return out;
  };
  std::string body = "WAVE";
  if (junk > 0) body += "JUNK" + le(junk, 4) + std::string(junk, '\0');
  body += "fmt " + le(16, 4) + le(1, 2) + le(2, 2) + le(44100, 4) + le(176400, 4) + le(4, 2) +
          le(16, 2) + "data" + le(176400, 4);
  return "RIFF" + le(static_cast<std::uint32_t>(body.size()), 4) + body;
}

std::string Canonical() { return Header(0); }
std::string FarTags() { return Header(14956); }

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

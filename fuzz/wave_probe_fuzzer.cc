// Feeds arbitrary bytes to the probe as the beginning of a wave file, and
// every measurement it accepts to the length arithmetic, whose conversions
// must stay in range for any header.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "length_report.h"
#include "track_list.h"
#include "wave_probe.h"

namespace {
void Require(bool condition) {
  if (!condition) std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace pellorin;
  const ProbeResult result = ScanWaveHeader(std::span(data, size));
  if (result.status != ProbeStatus::kOk) return 0;
  const WaveAttributes& wave = result.attributes;
  Require(wave.sample_rate > 0 && wave.frame_count >= 0 && wave.frame_count < (1LL << 32));
  ComputeTrackLength(wave);
  const MeasuredFile file{"x.wav", wave};
  const std::vector<MeasuredFile> files(kMaxUsedLines, file);
  const TotalTime total = ComputeTotalTime(files);
  Require(total.minutes >= 0);
  return 0;
}

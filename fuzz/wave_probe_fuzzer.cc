// Feeds arbitrary bytes to the probe as the beginning of a wave file, and
// every measurement it accepts to the length arithmetic, whose conversions
// must stay in range (UBSan checks them) for any header.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "length_report.h"
#include "track_list.h"
#include "wave_probe.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace pellorin;
  const ProbeResult result = ScanWaveHeader(std::span(data, size));
  if (result.status != ProbeStatus::kOk) return 0;
  const WaveAttributes& wave = result.attributes;
  if (wave.sample_rate <= 0 || wave.frame_count < 0 || wave.frame_count >= (1LL << 32)) {
    __builtin_trap();
  }
  FormatLengthReport(std::vector<MeasuredFile>(kMaxUsedLines, {"x.wav", wave}));
  return 0;
}

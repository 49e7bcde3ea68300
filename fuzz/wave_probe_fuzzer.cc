// Feeds arbitrary bytes to the probe as the beginning of a wave file, and
// every measurement it accepts to the length arithmetic, whose conversions
// must stay in range (UBSan checks them) for any header, and whose rows and
// total must be times a CD can have: seconds 0 to 59, frames 0 to 74.
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
  // Every row and the total are times a CD can have.
  const TrackLength row = ComputeTrackLength(wave);
  const std::vector<MeasuredFile> files(kMaxUsedLines, {"x.wav", wave});
  const TotalTime total = ComputeTotalTime(files);
  if (row.minutes < 0 || row.seconds < 0 || row.seconds > 59 || row.frames < 0 || row.frames > 74 ||
      total.minutes < 0 || total.seconds < 0 || total.seconds > 59) {
    __builtin_trap();
  }
  FormatLengthReport(files);
  return 0;
}

// The length report: each measured file's playing length in minutes, seconds
// and CD frames (75 to the second), and the total playing time, as a table for
// the user. The digits follow a fixed mix of single- and double-precision
// steps, so the arithmetic here must not be reordered or contracted.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "wave_probe.h"

namespace pellorin {

struct TrackLength {
  std::int32_t minutes = 0;
  std::int32_t seconds = 0;
  std::int32_t frames = 0;
};

struct TotalTime {
  std::int64_t minutes = 0;
  std::int64_t seconds = 0;
};

struct MeasuredFile {
  std::string_view name;
  WaveAttributes attributes;
};

// Needs a positive sample rate, as the probe guarantees.
TrackLength ComputeTrackLength(const WaveAttributes& wave);

// Whole minutes and seconds of all files together; the last second's fraction
// is dropped.
TotalTime ComputeTotalTime(std::span<const MeasuredFile> files);

// The header, one numbered row per file and the total.
std::string FormatLengthReport(std::span<const MeasuredFile> files);

}  // namespace pellorin

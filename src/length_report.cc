#include "length_report.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

#include "cd_audio.h"

namespace pellorin {

namespace {

constexpr double kSecondsPerMinute = 60.0;

// Rounds a result to its type. Where the floating-point unit keeps results
// wider than their type between operations (the x87 of 32-bit x86), only a
// store to memory does that; everywhere else every operation already has.
template <typename T>
T Rounded(T value) {
  if constexpr (FLT_EVAL_METHOD == 0) {
    return value;
  } else {
    volatile T stored = value;
    return stored;
  }
}

float Single(std::int64_t value) { return Rounded(static_cast<float>(value)); }

// Playing time in seconds as the running total adds it up: in single precision.
float SingleSeconds(const WaveAttributes& wave) {
  return Rounded(Single(wave.frame_count) / Single(wave.sample_rate));
}

}  // namespace

TrackLength ComputeTrackLength(const WaveAttributes& wave) {
  const float rate = Single(wave.sample_rate);
  const double frames = static_cast<double>(wave.frame_count);

  // Whole minutes from the exact frame count: a single-precision copy of it
  // could round across a minute and leave negative or 60+ seconds. They are
  // taken away exactly too, as single precision cannot hold them from 2^24 on.
  const double minutes =
      std::floor(Rounded(frames / (kSecondsPerMinute * static_cast<double>(rate))));
  const double rest = frames - minutes * kSecondsPerMinute * static_cast<double>(rate);

  const float rest_single = Single(static_cast<std::int64_t>(rest));
  const float seconds = std::floor(Rounded(rest_single / rate));
  const float beyond_second = Rounded(rest_single - Rounded(seconds * rate));
  const float fraction = Rounded(Single(static_cast<std::int64_t>(beyond_second)) / rate);
  const double cd_frames = static_cast<double>(fraction) * static_cast<double>(kCdFramesPerSecond);

  const auto whole_minutes = static_cast<std::int32_t>(minutes);
  // Above about 279 kHz a remainder a few samples short of the next minute can
  // round up to all of it in single precision. Cut to whole CD frames, such a
  // length is the last frame of the minute.
  if (seconds == kSecondsPerMinute) return {whole_minutes, 59, 74};
  // From about 1.5 MHz on, a remainder a sample short of the next second can
  // round up to all of it: 75 frames, a time no CD has, is cut back likewise.
  return {whole_minutes, static_cast<std::int32_t>(seconds),
          std::min(static_cast<std::int32_t>(cd_frames), std::int32_t{74})};
}

TotalTime ComputeTotalTime(std::span<const MeasuredFile> files) {
  float total = 0.0f;
  for (const MeasuredFile& file : files) total = Rounded(total + SingleSeconds(file.attributes));

  const double minutes = std::floor(Rounded(static_cast<double>(total) / kSecondsPerMinute));
  // The whole minutes are taken away exactly, as single precision cannot hold
  // them from 2^24 seconds on; below that this is the single-precision result.
  const double seconds = static_cast<double>(total) - minutes * kSecondsPerMinute;
  return {static_cast<std::int64_t>(minutes), static_cast<std::int64_t>(seconds)};
}

std::string FormatLengthReport(std::span<const MeasuredFile> files) {
  std::string report = "\nFile Lengths \t\t\tmin:sec:frames\n\n";
  int row = 1;
  for (const MeasuredFile& file : files) {
    TrackLength length = ComputeTrackLength(file.attributes);
    report.append(std::to_string(row++)).append("\t").append(file.name).append("\t\t");
    report.append(std::to_string(length.minutes)).append(":");
    report.append(std::to_string(length.seconds)).append(":");
    report.append(std::to_string(length.frames)).append("\n");
  }
  TotalTime total = ComputeTotalTime(files);
  report.append("\nTotal Time:  ").append(std::to_string(total.minutes)).append(" min : ");
  report.append(std::to_string(total.seconds)).append(" sec\n");
  return report;
}

}  // namespace pellorin

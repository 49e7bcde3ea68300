#include "length_report.h"

#include <cmath>

namespace pellorin {

namespace {

constexpr double kSecondsPerMinute = 60.0;
constexpr double kCdFramesPerSecond = 75.0;

// Playing time in seconds as the running total adds it up: in single precision.
float SingleSeconds(const WaveAttributes& wave) {
  return static_cast<float>(wave.frame_count) / static_cast<float>(wave.sample_rate);
}

}  // namespace

TrackLength ComputeTrackLength(const WaveAttributes& wave) {
  const float rate = static_cast<float>(wave.sample_rate);
  const double frames = static_cast<double>(wave.frame_count);

  // Whole minutes from the exact frame count: a single-precision copy of it
  // could round across a minute and leave negative or 60+ seconds.
  const double minutes = std::floor(frames / (kSecondsPerMinute * static_cast<double>(rate)));
  const float minutes_single = static_cast<float>(minutes);

  const double rest =
      frames - static_cast<double>(minutes_single) * kSecondsPerMinute * static_cast<double>(rate);
  const float rest_single = static_cast<float>(static_cast<std::int64_t>(rest));
  const float seconds = std::floor(rest_single / rate);

  const float beyond_second = rest_single - seconds * rate;
  const float fraction = static_cast<float>(static_cast<std::int64_t>(beyond_second)) / rate;
  const double cd_frames = static_cast<double>(fraction) * kCdFramesPerSecond;

  const auto whole_minutes = static_cast<std::int32_t>(minutes);
  // Above about 279 kHz a remainder a few samples short of the next minute can
  // round up to all of it in single precision. Cut to whole CD frames, such a
  // length is the last frame of the minute.
  if (seconds == kSecondsPerMinute) return {whole_minutes, 59, 74};
  return {whole_minutes, static_cast<std::int32_t>(seconds), static_cast<std::int32_t>(cd_frames)};
}

TotalTime ComputeTotalTime(std::span<const MeasuredFile> files) {
  float total = 0.0f;
  for (const MeasuredFile& file : files) total += SingleSeconds(file.attributes);

  const auto minutes =
      static_cast<std::int64_t>(std::floor(static_cast<double>(total) / kSecondsPerMinute));
  const float whole_minutes = static_cast<float>(minutes * 60);
  return {minutes, static_cast<std::int64_t>(total - whole_minutes)};
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

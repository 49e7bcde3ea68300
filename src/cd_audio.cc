#include "cd_audio.h"

#include <cstdio>

namespace pellorin {

namespace {

constexpr std::int64_t kPcm = 1;

void AppendLittle(std::string& out, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out += static_cast<char>(value >> 8 * i & 0xFF);
}

}  // namespace

std::string NotCdAudio(const WaveAttributes& wave) {
  if (wave.sample_rate == kCdSampleRate && wave.bits_per_sample == 16 && wave.channels == 2 &&
      wave.format_tag == kPcm) {
    return {};
  }
  return std::to_string(wave.sample_rate) + " Hz, " + std::to_string(wave.bits_per_sample) +
         "-bit, " + std::to_string(wave.channels) +
         (wave.channels == 1 ? " channel, " : " channels, ") +
         (wave.format_tag == kPcm ? "PCM" : "format " + std::to_string(wave.format_tag));
}

std::optional<std::int64_t> ParseCdTime(std::string_view text) {
  if (text.size() != 8 || text[2] != ':' || text[5] != ':') return std::nullopt;
  std::int64_t parts[3];
  for (std::size_t i = 0; i < 3; ++i) {
    const char tens = text[3 * i], ones = text[3 * i + 1];
    if (tens < '0' || tens > '9' || ones < '0' || ones > '9') return std::nullopt;
    parts[i] = (tens - '0') * 10 + (ones - '0');
  }
  if (parts[1] > 59 || parts[2] >= kCdFramesPerSecond) return std::nullopt;
  return (parts[0] * 60 + parts[1]) * kCdFramesPerSecond + parts[2];
}

std::string FormatCdTime(std::int64_t frames) {
  char text[32];
  std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld",
                static_cast<long long>(frames / (60 * kCdFramesPerSecond)),
                static_cast<long long>(frames / kCdFramesPerSecond % 60),
                static_cast<long long>(frames % kCdFramesPerSecond));
  return text;
}

std::string WaveHeader(std::uint16_t channels, std::uint32_t sample_rate,
                       std::uint16_t bits_per_sample, std::uint32_t data_size) {
  const std::uint32_t block = channels * ((bits_per_sample + 7u) / 8);
  std::string header = "RIFF";
  AppendLittle(header, 36 + data_size, 4);
  header += "WAVEfmt ";
  AppendLittle(header, 16, 4);
  AppendLittle(header, kPcm, 2);
  AppendLittle(header, channels, 2);
  AppendLittle(header, sample_rate, 4);
  AppendLittle(header, sample_rate * block, 4);
  AppendLittle(header, block, 2);
  AppendLittle(header, bits_per_sample, 2);
  header += "data";
  AppendLittle(header, data_size, 4);
  return header;
}

}  // namespace pellorin

#include "wave_probe.h"

#include <algorithm>
#include <cstddef>
#include <memory>
#include <optional>

namespace pellorin {

namespace {

// Distances of the fields read behind the "fmt" and "data" tags.
constexpr std::size_t kFormatSizeAt = 4;
constexpr std::size_t kFormatTagAt = 8;
constexpr std::size_t kChannelsAt = 10;
constexpr std::size_t kSampleRateAt = 12;
constexpr std::size_t kBitsPerSampleAt = 22;
constexpr std::size_t kFormatFieldsEnd = 24;
// The extensible format (24-bit PCM, for one) names what it holds behind
// fields of its own, in a chunk of 40 bytes or more.
constexpr std::int64_t kExtensible = 0xFFFE;
constexpr std::size_t kSubFormatAt = 32;
constexpr std::int64_t kExtensibleChunkSize = 40;
constexpr std::size_t kDataSizeAt = 4;
constexpr std::size_t kDataFieldsEnd = 8;

// The first even offset from 2 to kLastTagOffset at which tag stands in full,
// if any. The tag may sit inside another chunk's payload: the first even
// match wins.
std::optional<std::size_t> FindTag(std::span<const unsigned char> head, std::string_view tag) {
  const std::string_view text(reinterpret_cast<const char*>(head.data()),
                              std::min(head.size(), kLastTagOffset + tag.size()));
  for (std::size_t at = text.find(tag, 2); at != std::string_view::npos;
       at = text.find(tag, at + 1)) {
    if (at % 2 == 0) return at;
  }
  return std::nullopt;
}

ProbeResult Failure(ProbeStatus status) { return {status, {}, {}}; }

template <std::size_t N>
std::span<const unsigned char, N> Field(std::span<const unsigned char> head, std::size_t at) {
  return head.subspan(at).first<N>();
}

}  // namespace

std::int64_t Assem2(std::span<const unsigned char, 2> bytes) { return bytes[0] + 256 * bytes[1]; }

std::int64_t Assem4(std::span<const unsigned char, 4> bytes) {
  const std::uint32_t value = std::uint32_t{bytes[0]} | std::uint32_t{bytes[1]} << 8 |
                              std::uint32_t{bytes[2]} << 16 | std::uint32_t{bytes[3]} << 24;
  return static_cast<std::int32_t>(value);
}

ProbeResult ScanWaveHeader(std::span<const unsigned char> head) {
  std::optional<std::size_t> format = FindTag(head, "fmt");
  if (!format) return Failure(ProbeStatus::kNoFormatChunk);
  std::optional<std::size_t> data = FindTag(head, "data");
  if (!data) return Failure(ProbeStatus::kNoDataChunk);
  if (*format + kFormatFieldsEnd > head.size() || *data + kDataFieldsEnd > head.size()) {
    return Failure(ProbeStatus::kUnsupportedFormat);
  }

  const std::int64_t channels = Assem2(Field<2>(head, *format + kChannelsAt));
  const std::int64_t bits_per_sample = Assem2(Field<2>(head, *format + kBitsPerSampleAt));
  const std::int64_t sample_rate = Assem4(Field<4>(head, *format + kSampleRateAt));
  // Sizes of 2 GiB and more are real for long recordings: read them unsigned.
  auto data_size = static_cast<std::uint32_t>(Assem4(Field<4>(head, *data + kDataSizeAt)));

  // Each sample takes whole bytes: 12 bits take two, 20 bits three.
  const std::int64_t bytes_per_sample = bits_per_sample < 8 ? 0 : (bits_per_sample + 7) / 8;
  const std::int64_t bytes_per_frame = bytes_per_sample * channels;
  if (bytes_per_frame == 0 || sample_rate <= 0) return Failure(ProbeStatus::kUnsupportedFormat);
  std::int64_t format_tag = Assem2(Field<2>(head, *format + kFormatTagAt));
  if (format_tag == kExtensible && *format + kSubFormatAt + 2 <= head.size() &&
      Assem4(Field<4>(head, *format + kFormatSizeAt)) >= kExtensibleChunkSize) {
    format_tag = Assem2(Field<2>(head, *format + kSubFormatAt));
  }
  const WaveAttributes wave = {sample_rate, data_size / bytes_per_frame, channels, bits_per_sample,
                               format_tag,  *data + kDataFieldsEnd};
  return {ProbeStatus::kOk, wave, {}};
}

ProbeResult ProbeWave(int fd) {
  const auto head = std::make_unique_for_overwrite<unsigned char[]>(kHeaderReach);
  const std::span<unsigned char> buffer(head.get(), kHeaderReach);
  const std::optional<std::size_t> got = ReadFull(fd, std::as_writable_bytes(buffer));
  if (!got) return Failure(ProbeStatus::kCannotOpen);
  return ScanWaveHeader(buffer.first(*got));
}

ProbeResult GET_ATTRIBUTES(const std::string& path) {
  std::optional<OpenedFile> file = OpenInput(path);
  if (!file) return Failure(ProbeStatus::kCannotOpen);
  ProbeResult result = ProbeWave(file->fd.get());
  result.file = file->regular;
  return result;
}

std::string DescribeProbeFailure(ProbeStatus status, std::string_view path) {
  switch (status) {
    case ProbeStatus::kOk:
      break;
    case ProbeStatus::kCannotOpen:
      return "Cannot find file in track list called " + std::string(path) + "\n";
    case ProbeStatus::kNoFormatChunk:
      return "Can't find format chunk in wave file!\n";
    case ProbeStatus::kNoDataChunk:
      return "Can't find data block in wave file!\n";
    case ProbeStatus::kUnsupportedFormat:
      return "Unsupported format in wave file called " + std::string(path) + "\n";
  }
  return {};
}

}  // namespace pellorin

// The wave probe: learns a wave file's sample rate and sample-frame count
// from the first bytes of the file, by scanning them for the "fmt" and "data"
// chunk tags rather than walking the chunk list.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "file_io.h"

namespace pellorin {

struct WaveAttributes {
  std::int64_t sample_rate = 0;
  std::int64_t frame_count = 0;
  std::int64_t channels = 0;
  std::int64_t bits_per_sample = 0;
  std::int64_t format_tag = 0;  // 1 for PCM, also where the extensible format holds it
  std::size_t data_offset = 0;  // where the samples start: behind the "data" tag and size
};

enum class ProbeStatus { kOk, kCannotOpen, kNoFormatChunk, kNoDataChunk, kUnsupportedFormat };

struct ProbeResult {
  ProbeStatus status = ProbeStatus::kOk;
  WaveAttributes attributes;
  std::optional<FileId> file;  // the regular file measured, if it was one
};

// Tags are looked for at even offsets from 2 up to this one.
inline constexpr std::size_t kLastTagOffset = 15000;
// How far into a file the probe can look: the last tag offset plus the
// farthest field read behind a "fmt" tag.
inline constexpr std::size_t kHeaderReach = kLastTagOffset + 34;

// Unsigned little-endian 16-bit value.
std::int64_t Assem2(std::span<const unsigned char, 2> bytes);
// Little-endian 32-bit value taken as signed: 2^31 and above come out negative.
std::int64_t Assem4(std::span<const unsigned char, 4> bytes);

// Measures a file from its beginning: its first kHeaderReach bytes, or all of
// it when it is shorter. A tag or field that would run past the end of head
// is treated as lying past the end of the file.
ProbeResult ScanWaveHeader(std::span<const unsigned char> head);

// Measures the wave file open at fd, from its start.
ProbeResult ProbeWave(int fd);

// Opens the wave file at path, once, and measures it.
ProbeResult GET_ATTRIBUTES(const std::string& path);

// The message that reports a failed probe of path.
std::string DescribeProbeFailure(ProbeStatus status, std::string_view path);

}  // namespace pellorin

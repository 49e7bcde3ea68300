// CD audio: what an audio CD holds (44.1 kHz, 16-bit, stereo PCM), the CD
// frames of 1/75 second that its times count in, written mm:ss:ff, and the
// wave header of such audio.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "wave_probe.h"

namespace pellorin {

inline constexpr std::int64_t kCdFramesPerSecond = 75;
inline constexpr std::int64_t kCdSampleRate = 44100;
inline constexpr std::int64_t kSamplesPerCdFrame = kCdSampleRate / kCdFramesPerSecond;
inline constexpr std::int64_t kCdBytesPerSample = 4;  // two channels of 16 bits
// The latest time mm:ss:ff can write, 99:59:74, in CD frames.
inline constexpr std::int64_t kLastCdTime = (99 * 60 + 59) * kCdFramesPerSecond + 74;

// Empty where the wave is CD audio, else what it is instead, as "48000 Hz,
// 16-bit, 2 channels, PCM".
std::string NotCdAudio(const WaveAttributes& wave);

// A time written mm:ss:ff, two digits each, with seconds 00 to 59 and frames
// 00 to 74, in CD frames; nothing where it is written otherwise.
std::optional<std::int64_t> ParseCdTime(std::string_view text);

// CD frames written mm:ss:ff; minutes past 99 take more digits.
std::string FormatCdTime(std::int64_t frames);

// The 44-byte header of a wave file whose data chunk holds data_size bytes
// of PCM samples in the given format.
std::string WaveHeader(std::uint16_t channels, std::uint32_t sample_rate,
                       std::uint16_t bits_per_sample, std::uint32_t data_size);

}  // namespace pellorin

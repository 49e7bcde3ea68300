// Wave file bytes made by hand, so tests can build canonical headers as well
// as padded, reordered and broken ones.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace pellorin::testing {

struct WaveFormat {
  std::uint16_t channels = 2;
  std::uint32_t sample_rate = 44100;
  std::uint16_t bits_per_sample = 16;
};

std::string LittleEndian(std::uint32_t value, int bytes);

// A chunk: its four-character id, its payload size, its payload.
std::string Chunk(std::string_view id, std::string_view payload);

// A PCM format chunk for the given format.
std::string FormatChunk(const WaveFormat& format);

// The eight bytes that open a data chunk declaring size bytes of samples.
std::string DataChunkStart(std::uint32_t size);

// "RIFF", the size, "WAVE" and then body.
std::string Riff(std::string_view body);

// The 44-byte canonical header: format tag at 12, data tag at 36.
std::string CanonicalHeader(const WaveFormat& format, std::uint32_t data_size);

void WriteFile(const std::filesystem::path& path, std::string_view bytes);
std::string ReadFile(const std::filesystem::path& path);

}  // namespace pellorin::testing

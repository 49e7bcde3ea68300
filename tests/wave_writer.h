// Wave file bytes made by hand, so tests can build canonical headers as well
// as padded, reordered and broken ones.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace pellorin::testing {

struct WaveFormat {
  std::uint16_t channels = 2;
  std::uint32_t sample_rate = 44100;
  std::uint16_t bits_per_sample = 16;
};

inline std::string LittleEndian(std::uint64_t value, int bytes) {
  std::string out;
  for (int i = 0; i < bytes; ++i) out += static_cast<char>(value >> (8 * i) & 0xFF);
  return out;
}

// A chunk's id, payload size, payload and pad byte.
inline std::string Chunk(std::string_view id, std::string_view payload) {
  return std::string(id) + LittleEndian(payload.size(), 4) + std::string(payload) +
         std::string(payload.size() % 2, '\0');
}

inline std::string FormatChunk(const WaveFormat& f) {
  const std::uint32_t block = f.channels * ((f.bits_per_sample + 7u) / 8);
  return Chunk("fmt ", LittleEndian(1, 2) + LittleEndian(f.channels, 2) +
                           LittleEndian(f.sample_rate, 4) + LittleEndian(f.sample_rate * block, 4) +
                           LittleEndian(block, 2) + LittleEndian(f.bits_per_sample, 2));
}

// The eight bytes that open a data chunk of size bytes.
inline std::string DataStart(std::uint32_t size) { return "data" + LittleEndian(size, 4); }

inline std::string Riff(std::string_view body) {
  return "RIFF" + LittleEndian(body.size() + 4, 4) + "WAVE" + std::string(body);
}

// The 44-byte canonical header: format tag at 12, data tag at 36.
inline std::string CanonicalHeader(const WaveFormat& format, std::uint32_t data_size) {
  return Riff(FormatChunk(format) + DataStart(data_size));
}

}  // namespace pellorin::testing

#include "wave_writer.h"

#include <fstream>
#include <iterator>
#include <stdexcept>

namespace pellorin::testing {

std::string LittleEndian(std::uint32_t value, int bytes) {
  std::string out;
  for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
  return out;
}

std::string Chunk(std::string_view id, std::string_view payload) {
  std::string chunk(id);
  chunk += LittleEndian(static_cast<std::uint32_t>(payload.size()), 4);
  chunk += payload;
  if (payload.size() % 2 != 0) chunk += '\0';
  return chunk;
}

std::string FormatChunk(const WaveFormat& format) {
  const std::uint32_t block_align = format.channels * (format.bits_per_sample / 8);
  return Chunk("fmt ", LittleEndian(1, 2) + LittleEndian(format.channels, 2) +
                           LittleEndian(format.sample_rate, 4) +
                           LittleEndian(format.sample_rate * block_align, 4) +
                           LittleEndian(block_align, 2) + LittleEndian(format.bits_per_sample, 2));
}

std::string DataChunkStart(std::uint32_t size) { return "data" + LittleEndian(size, 4); }

std::string Riff(std::string_view body) {
  return "RIFF" + LittleEndian(static_cast<std::uint32_t>(body.size() + 4), 4) + "WAVE" +
         std::string(body);
}

std::string CanonicalHeader(const WaveFormat& format, std::uint32_t data_size) {
  return Riff(FormatChunk(format) + DataChunkStart(data_size));
}

void WriteFile(const std::filesystem::path& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace pellorin::testing

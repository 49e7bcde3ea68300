// Writes the wave files of the bundled example album into a directory:
// CD-quality PCM (44100 Hz, 16-bit, stereo) tones, each long enough that
// every track of the album, splits included, lasts the 4 seconds that a CD
// asks for at least.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <string>
#include <vector>

namespace {

constexpr std::uint32_t kRate = 44100;
constexpr std::uint16_t kChannels = 2;
constexpr std::uint16_t kBits = 16;

struct Tone {
  const char* file;
  double seconds;
  double hertz;
};

void PutLittleEndian(std::string& out, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out += static_cast<char>(value >> (8 * i) & 0xFF);
}

std::string Wave(const Tone& tone) {
  const auto frames = static_cast<std::uint32_t>(tone.seconds * kRate);
  const std::uint32_t data_size = frames * kChannels * (kBits / 8);
  std::string out = "RIFF";
  PutLittleEndian(out, 36 + data_size, 4);
  out += "WAVEfmt ";
  PutLittleEndian(out, 16, 4);
  PutLittleEndian(out, 1, 2);  // PCM
  PutLittleEndian(out, kChannels, 2);
  PutLittleEndian(out, kRate, 4);
  PutLittleEndian(out, kRate * kChannels * (kBits / 8), 4);
  PutLittleEndian(out, kChannels * (kBits / 8), 2);
  PutLittleEndian(out, kBits, 2);
  out += "data";
  PutLittleEndian(out, data_size, 4);
  for (std::uint32_t i = 0; i < frames; ++i) {
    double fade = std::min(1.0, std::min(i, frames - i) / (0.05 * kRate));
    double value = 0.3 * fade * std::sin(2 * std::numbers::pi * tone.hertz * i / kRate);
    auto sample = static_cast<std::int16_t>(std::lround(value * 32767));
    for (int channel = 0; channel < kChannels; ++channel) {
      PutLittleEndian(out, static_cast<std::uint16_t>(sample), 2);
    }
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_example_album DIRECTORY\n");
    return 2;
  }
  const std::filesystem::path dir = argv[1];
  std::filesystem::create_directories(dir);
  const std::vector<Tone> album = {
      {"01 Overture.wav", 5.2, 440.0}, {"02 Suite.wav", 9.6, 523.25}, {"03 Coda.wav", 4.4, 659.25}};
  for (const Tone& tone : album) {
    std::ofstream out(dir / tone.file, std::ios::binary);
    std::string bytes = Wave(tone);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
      std::fprintf(stderr, "make_example_album: cannot write %s\n", tone.file);
      return 1;
    }
  }
  return 0;
}

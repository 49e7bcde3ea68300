#include "wave_probe.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <tuple>

#include "cd_audio.h"

namespace pellorin {
namespace {

using S = ProbeStatus;

// Wave file bytes: canonical headers, and padded, reordered and broken ones
// built from their parts.
std::string Le(std::uint64_t value, int bytes) {
  std::string out;
  for (int i = 0; i < bytes; ++i) out += static_cast<char>(value >> (8 * i) & 0xFF);
  return out;
}

// A chunk's id, payload size, payload and pad byte.
std::string Chunk(std::string_view id, std::string_view payload) {
  return std::string(id) + Le(payload.size(), 4) + std::string(payload) +
         std::string(payload.size() % 2, '\0');
}

std::string DataStart(std::uint32_t size) { return "data" + Le(size, 4); }
std::string Riff(std::string_view body) {
  return "RIFF" + Le(body.size() + 4, 4) + "WAVE" + std::string(body);
}

struct ScanCase {
  std::string bytes;
  ProbeStatus status;
  std::int64_t sample_rate = 0, frame_count = 0;
};

TEST(ScanWaveHeaderTest, FindsTagsAtEvenOffsetsUpTo15000) {
  const std::string fmt = WaveHeader(2, 44100, 16, 0).substr(12, 24);  // CD audio's
  const std::string pad(14956, '\0');  // puts the tag behind it at 15000
  const ScanCase cases[] = {
      {WaveHeader(2, 44100, 16, 176400), S::kOk, 44100, 44100},
      {WaveHeader(1, 22050, 8, 22050), S::kOk, 22050, 22050},
      {WaveHeader(2, 48000, 24, 6001), S::kOk, 48000, 1000},
      {Riff(Chunk("LIST", "INFOINAM12345") + fmt + DataStart(40)), S::kOk, 44100, 10},
      // "data" at 22, inside the note's text, is taken for the data chunk.
      {Riff(Chunk("note", "ab" + DataStart(400)) + fmt + DataStart(4)), S::kOk, 44100, 100},
      {Riff("fmtX" + fmt.substr(4) + DataStart(4)), S::kOk, 44100, 1},
      {Riff('\0' + fmt + DataStart(4)), S::kNoFormatChunk},
      {Riff(fmt + '\0' + DataStart(4)), S::kNoDataChunk},
      {Riff(Chunk("JUNK", pad + "1234567890123456") + DataStart(4) + fmt), S::kOk, 44100, 1},
      {Riff(Chunk("JUNK", pad + "123456789012345678") + DataStart(4) + fmt), S::kNoFormatChunk},
      {Riff(fmt + Chunk("JUNK", pad) + DataStart(8)), S::kOk, 44100, 2},
      {Riff(fmt + Chunk("JUNK", pad + "12") + DataStart(8)), S::kNoDataChunk},
      {WaveHeader(0, 44100, 16, 4), S::kUnsupportedFormat},
      {WaveHeader(2, 44100, 4, 4), S::kUnsupportedFormat},
      // Samples take whole bytes: 12 bits two, 17 bits three.
      {WaveHeader(1, 44100, 12, 88200), S::kOk, 44100, 44100},
      {WaveHeader(1, 8000, 17, 72000), S::kOk, 8000, 24000},
      {WaveHeader(2, 0, 16, 4), S::kUnsupportedFormat},
      {WaveHeader(2, 0x80000000u, 16, 4), S::kUnsupportedFormat},
      {WaveHeader(2, 0x7FFFFFFFu, 16, 4), S::kOk, 0x7FFFFFFF, 1},
      {WaveHeader(2, 44100, 16, 0xFFFFFFFFu), S::kOk, 44100, 0x3FFFFFFF},  // read unsigned
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const ScanCase& c = cases[i];
    ProbeResult r =
        ScanWaveHeader({reinterpret_cast<const unsigned char*>(c.bytes.data()), c.bytes.size()});
    EXPECT_EQ(std::tuple(r.status, r.attributes.sample_rate, r.attributes.frame_count),
              std::tuple(c.status, c.sample_rate, c.frame_count))
        << "case " << i;
  }
}

}  // namespace
}  // namespace pellorin

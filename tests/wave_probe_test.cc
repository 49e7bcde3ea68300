#include "wave_probe.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "wave_writer.h"

namespace pellorin {
namespace {

using namespace pellorin::testing;
using S = ProbeStatus;

struct ScanCase {
  std::string bytes;
  ProbeStatus status;
  std::int64_t sample_rate = 0, frame_count = 0;
};

TEST(ScanWaveHeaderTest, FindsTagsAtEvenOffsetsUpTo15000) {
  const WaveFormat cd;
  const std::string pad(14956, '\0');  // puts the tag behind it at 15000
  const ScanCase cases[] = {
      {CanonicalHeader(cd, 176400), S::kOk, 44100, 44100},
      {CanonicalHeader({1, 22050, 8}, 22050), S::kOk, 22050, 22050},
      {CanonicalHeader({2, 48000, 24}, 6001), S::kOk, 48000, 1000},
      {Riff(Chunk("LIST", "INFOINAM12345") + FormatChunk(cd) + DataStart(40)), S::kOk, 44100, 10},
      // "data" at 22, inside the note's text, is taken for the data chunk.
      {Riff(Chunk("note", "ab" + DataStart(400)) + FormatChunk(cd) + DataStart(4)), S::kOk, 44100,
       100},
      {Riff("fmtX" + FormatChunk(cd).substr(4) + DataStart(4)), S::kOk, 44100, 1},
      {Riff('\0' + FormatChunk(cd) + DataStart(4)), S::kNoFormatChunk},
      {Riff(FormatChunk(cd) + '\0' + DataStart(4)), S::kNoDataChunk},
      {Riff(Chunk("JUNK", pad + "1234567890123456") + DataStart(4) + FormatChunk(cd)), S::kOk,
       44100, 1},
      {Riff(Chunk("JUNK", pad + "123456789012345678") + DataStart(4) + FormatChunk(cd)),
       S::kNoFormatChunk},
      {Riff(FormatChunk(cd) + Chunk("JUNK", pad) + DataStart(8)), S::kOk, 44100, 2},
      {Riff(FormatChunk(cd) + Chunk("JUNK", pad + "12") + DataStart(8)), S::kNoDataChunk},
      {CanonicalHeader({0, 44100, 16}, 4), S::kUnsupportedFormat},
      {CanonicalHeader({2, 44100, 4}, 4), S::kUnsupportedFormat},
      // Samples take whole bytes: 12 bits two, 17 and 20 bits three.
      {CanonicalHeader({1, 44100, 12}, 88200), S::kOk, 44100, 44100},
      {CanonicalHeader({1, 8000, 17}, 72000), S::kOk, 8000, 24000},
      {CanonicalHeader({2, 48000, 20}, 576000), S::kOk, 48000, 96000},
      {CanonicalHeader({2, 0, 16}, 4), S::kUnsupportedFormat},
      {CanonicalHeader({2, 0x80000000u, 16}, 4), S::kUnsupportedFormat},
      {CanonicalHeader({2, 0x7FFFFFFFu, 16}, 4), S::kOk, 0x7FFFFFFF, 1},
      {CanonicalHeader(cd, 0xFFFFFFFFu), S::kOk, 44100, 0x3FFFFFFF},  // read unsigned
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

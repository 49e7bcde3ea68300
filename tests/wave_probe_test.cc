#include "wave_probe.h"

#include <gtest/gtest.h>

#include <string>

#include "wave_writer.h"

namespace pellorin {
namespace {

using namespace pellorin::testing;
using S = ProbeStatus;

ProbeResult Scan(std::string_view bytes) {
  return ScanWaveHeader({reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()});
}

const WaveFormat kCd;
const WaveFormat kMono8{1, 22050, 8};
const WaveFormat kStereo24{2, 48000, 24};

std::string Pad(std::size_t n) { return std::string(n, '\0'); }

struct ScanCase {
  const char* name;
  std::string bytes;
  ProbeStatus status;
  std::int64_t sample_rate = 0;
  std::int64_t frame_count = 0;
};

void PrintTo(const ScanCase& c, std::ostream* os) { *os << c.name; }

class ScanWaveHeaderTest : public ::testing::TestWithParam<ScanCase> {};

TEST_P(ScanWaveHeaderTest, Measures) {
  const ScanCase& c = GetParam();
  ProbeResult result = Scan(c.bytes);
  EXPECT_EQ(result.status, c.status);
  if (c.status == S::kOk) {
    EXPECT_EQ(result.attributes.sample_rate, c.sample_rate);
    EXPECT_EQ(result.attributes.frame_count, c.frame_count);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Headers, ScanWaveHeaderTest,
    ::testing::Values(
        ScanCase{"CanonicalCd", CanonicalHeader(kCd, 176400), S::kOk, 44100, 44100},
        ScanCase{"Mono8Bit", CanonicalHeader(kMono8, 22050), S::kOk, 22050, 22050},
        ScanCase{"Stereo24Bit", CanonicalHeader(kStereo24, 6000), S::kOk, 48000, 1000},
        ScanCase{"OddDataSizeRoundsDown", CanonicalHeader(kCd, 7), S::kOk, 44100, 1},
        ScanCase{"MetadataBeforeFormat",
                 Riff(Chunk("LIST", "INFOINAM" + Pad(9)) + FormatChunk(kCd) + DataChunkStart(40)),
                 S::kOk, 44100, 10},
        // "data" at offset 22, inside the note's text, is taken for the data chunk.
        ScanCase{"FirstEvenTagWins",
                 Riff(Chunk("note", "ab" + DataChunkStart(400)) + FormatChunk(kCd) +
                      DataChunkStart(176400)),
                 S::kOk, 44100, 100},
        ScanCase{"FormatTagOnThreeCharacters",
                 Riff("fmtX" + FormatChunk(kCd).substr(4) + DataChunkStart(4)), S::kOk, 44100, 1},
        ScanCase{"FormatAtOddOffset", Riff(Pad(1) + FormatChunk(kCd) + DataChunkStart(4)),
                 S::kNoFormatChunk},
        ScanCase{"DataAtOddOffset", Riff(FormatChunk(kCd) + Pad(1) + DataChunkStart(4)),
                 S::kNoDataChunk},
        ScanCase{"FormatAt15000",
                 Riff(Chunk("JUNK", Pad(14972)) + DataChunkStart(4) + FormatChunk(kCd)), S::kOk,
                 44100, 1},
        ScanCase{"FormatAt15002",
                 Riff(Chunk("JUNK", Pad(14974)) + DataChunkStart(4) + FormatChunk(kCd)),
                 S::kNoFormatChunk},
        ScanCase{"DataAt15000",
                 Riff(FormatChunk(kCd) + Chunk("JUNK", Pad(14956)) + DataChunkStart(8)), S::kOk,
                 44100, 2},
        ScanCase{"DataAt15002",
                 Riff(FormatChunk(kCd) + Chunk("JUNK", Pad(14958)) + DataChunkStart(8)),
                 S::kNoDataChunk},
        ScanCase{"NoChunksAtAll", std::string(20000, 'x'), S::kNoFormatChunk},
        ScanCase{"ZeroChannels", CanonicalHeader({0, 44100, 16}, 4), S::kUnsupportedFormat},
        ScanCase{"UnderEightBits", CanonicalHeader({2, 44100, 7}, 4), S::kUnsupportedFormat},
        ScanCase{"ZeroRate", CanonicalHeader({2, 0, 16}, 4), S::kUnsupportedFormat},
        ScanCase{"RateFrom2To31", CanonicalHeader({2, 0x80000000u, 16}, 4), S::kUnsupportedFormat},
        ScanCase{"LargestRate", CanonicalHeader({2, 0x7FFFFFFFu, 16}, 4), S::kOk, 0x7FFFFFFF, 1},
        ScanCase{"DataSizeFrom2To31Unsigned", CanonicalHeader(kCd, 0xFFFFFFFFu), S::kOk, 44100,
                 0x3FFFFFFF}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(AssemTest, ReadsLittleEndian) {
  const unsigned char b[] = {0x34, 0x12, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x80};
  EXPECT_EQ(Assem2(std::span(b).first<2>()), 0x1234);
  EXPECT_EQ(Assem2(std::span(b).subspan<2, 2>()), 65535);
  EXPECT_EQ(Assem4(std::span(b).first<4>()), -60876);  // 0xFFFF1234 taken as signed
  EXPECT_EQ(Assem4(std::span(b).subspan<4, 4>()), -2147483648LL);
}

}  // namespace
}  // namespace pellorin

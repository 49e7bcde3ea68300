#include "join_driver.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "cd_audio.h"
#include "file_io.h"
#include "joined_list.h"
#include "new_directory.h"
#include "program.h"
#include "sample_copy.h"
#include "signal_cleanup.h"
#include "track_list.h"
#include "wave_probe.h"

namespace pellorin {

namespace {

constexpr std::string_view kUsage =
    "Usage: pellorin-join LIST DIRECTORY\n"
    "Joins the wave files that the track list LIST names, CD audio all, into one,\n"
    "joined.wav, and writes it with its own track list, tlist.txt, into the new\n"
    "directory DIRECTORY. Run pellorin there for a cue sheet of one wave file.\n";
constexpr const char* kJoinedName = "joined.wav";
constexpr const char* kListName = "tlist.txt";

// A wave header's sizes are 32 bits, the RIFF size counting 36 bytes of
// header besides the samples.
constexpr std::uint64_t kMostSampleBytes = 0xFFFFFFFFu - 36;

// A listed file, measured and open to be copied from.
struct Input {
  std::string name;
  UniqueFd fd;
  WaveAttributes wave;
};

// On a terminal, one line saying which file is being copied and how far the
// whole is, rewritten in place and gone when the run ends, by a signal too;
// elsewhere nothing.
class Progress {
 public:
  Progress(int out, std::uint64_t total)
      : erase_{isatty(out) ? out : -1, "\r\033[K"}, total_(total) {}
  ~Progress() {
    if (shown_ < 0) return;
    WriteOnSignal(nullptr);
    WriteAll(erase_.fd, erase_.text);
  }
  void Show(const Input& input, std::size_t number, std::size_t count, std::uint64_t done) {
    const int percent = total_ == 0 ? 100 : static_cast<int>(done * 100 / total_);
    if (erase_.fd < 0 || percent == shown_) return;
    if (shown_ < 0) WriteOnSignal(&erase_);
    shown_ = percent;
    WriteAll(erase_.fd, "\rJoining " + input.name + " (" + std::to_string(number) + " of " +
                            std::to_string(count) + "): " + std::to_string(percent) + "%\033[K");
  }

 private:
  const SignalNotice erase_;  // the terminal, and what clears the line
  std::uint64_t total_;
  int shown_ = -1;
};

// A file found shorter than its header claims: before anything is made, or,
// should it shrink meanwhile, as it is copied.
std::string EndsEarly(const Input& input) {
  return "Wave file called " + input.name + " ends before its samples do\n";
}

// Why a measured wave file cannot be joined before anything is made: it is
// not CD audio, or not a regular file holding every byte its header claims.
// Empty where it can.
std::string Unjoinable(const Input& input) {
  if (const std::string found = NotCdAudio(input.wave); !found.empty()) {
    return "Not CD audio (44100 Hz, 16-bit, 2 channels, PCM) in wave file called " + input.name +
           ": " + found + "\n";
  }
  struct stat status;
  if (fstat(input.fd.get(), &status) != 0) {
    return "Cannot read wave file called " + input.name + ": " + SystemReason(errno) + "\n";
  }
  if (!S_ISREG(status.st_mode))
    return "Wave file called " + input.name + " is not a regular file\n";
  const auto end = static_cast<std::uint64_t>(input.wave.data_offset) +
                   static_cast<std::uint64_t>(input.wave.frame_count) * kCdBytesPerSample;
  return static_cast<std::uint64_t>(status.st_size) < end ? EndsEarly(input) : std::string();
}

// Writes the joined file and its list into directory: empty, or the message
// that says why not.
std::string WriteAlbum(NewDirectory& directory, const std::string& path,
                       std::span<const Input> inputs, std::uint64_t bytes, const std::string& list,
                       int out) {
  const auto cannot = [&path](const std::string& why) {
    return "Cannot make directory called " + path + ": " + why + "\n";
  };
  if (std::string why = directory.Make(path); !why.empty()) return cannot(why);
  UniqueFd joined = directory.Create(kJoinedName);
  const std::string header = WaveHeader(2, kCdSampleRate, 16, static_cast<std::uint32_t>(bytes));
  if (!joined || !WriteAll(joined.get(), header)) return cannot(SystemReason(errno));
  Progress progress(out, bytes);
  std::uint64_t before = 0;
  for (std::size_t i = 0; i < inputs.size(); ++i) {
    const Input& input = inputs[i];
    const std::uint64_t length =
        static_cast<std::uint64_t>(input.wave.frame_count) * kCdBytesPerSample;
    const CopyResult copied = CopyRange(
        input.fd.get(), static_cast<off_t>(input.wave.data_offset), joined.get(), length,
        [&](std::uint64_t done) { progress.Show(input, i + 1, inputs.size(), before + done); });
    if (copied.error == ENODATA) return EndsEarly(input);
    if (copied.reading) {
      return "Cannot read wave file called " + input.name + ": " + SystemReason(copied.error) +
             "\n";
    }
    if (copied.error != 0) return cannot(SystemReason(copied.error));
    before += length;
  }
  UniqueFd listed = directory.Create(kListName);
  if (!joined.Close() || !listed || !WriteAll(listed.get(), list) || !listed.Close()) {
    return cannot(SystemReason(errno));
  }
  const std::string why = directory.PutInPlace();
  return why.empty() ? why : cannot(why);
}

}  // namespace

int RunJoin(std::span<const std::string> args, int out) {
  if (args.size() != 2) return WriteAll(out, kUsage) ? kExitHelp : kExitFailure;
  const auto fail = [out](const std::string& message) {
    WriteAll(out, message);
    return kExitFailure;
  };
  // One line more than pellorin reads, which the joined list refuses.
  const std::optional<TrackList> list = ReadTrackList(args[0], kMaxUsedLines + 1);
  if (!list) return fail("Cannot open track list called " + args[0] + "\n");
  if (const std::optional<std::string> fault = FindListFault(list->lines)) return fail(*fault);

  // Every file is measured, and the list checked, before anything is made.
  std::vector<Input> inputs;
  std::uint64_t bytes = 0;
  for (const ListLine& line : list->lines) {
    if (line.kind != LineKind::kFile) continue;
    std::optional<OpenedFile> file = OpenInput(line.text);
    const ProbeResult probe =
        file ? ProbeWave(file->fd.get()) : ProbeResult{ProbeStatus::kCannotOpen, {}, {}};
    if (probe.status != ProbeStatus::kOk)
      return fail(DescribeProbeFailure(probe.status, line.text));
    inputs.push_back({line.text, std::move(file->fd), probe.attributes});
    const Input& input = inputs.back();
    if (const std::string why = Unjoinable(input); !why.empty()) return fail(why);
    bytes += static_cast<std::uint64_t>(input.wave.frame_count) * kCdBytesPerSample;
    if (bytes > kMostSampleBytes) {
      return fail("Joined wave file past 4 GiB with wave file called " + line.text + "\n");
    }
  }
  if (inputs.empty()) return fail("No wave file in track list called " + args[0] + "\n");
  std::vector<std::int64_t> frames(inputs.size());
  std::ranges::transform(inputs, frames.begin(),
                         [](const Input& in) { return in.wave.frame_count; });
  const JoinedList joined = JoinTrackList(list->lines, frames, kJoinedName);
  if (!joined.fault.empty()) return fail(joined.fault);

  NewDirectory directory;
  if (std::string why = WriteAlbum(directory, args[1], inputs, bytes, joined.text, out);
      !why.empty()) {
    return fail(why);
  }
  // Once the directory is in place the run has succeeded, even if the line
  // that confirms it is lost.
  WriteAll(out,
           "Wrote " + std::string(kJoinedName) + " and " + kListName + " in " + args[1] + "\n");
  return kExitSuccess;
}

}  // namespace pellorin

int main(int argc, char** argv) { return pellorin::RunProgram(argc, argv, pellorin::RunJoin); }

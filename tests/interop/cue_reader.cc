// Reads a cue sheet with libcue and prints what it understood, one track a
// line: file name, INDEX 01 position and pregap length (0 for none), both in
// CD frames.
//
//   cue_reader CUE-FILE
#include <libcue.h>

#include <cstdio>
#include <memory>

int main(int argc, char** argv) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(
      argc == 2 ? std::fopen(argv[1], "r") : nullptr, &std::fclose);
  std::unique_ptr<Cd, void (*)(Cd*)> cd(file ? cue_parse_file(file.get()) : nullptr, &cd_delete);
  if (!cd) return 1;
  for (int i = 1; i <= cd_get_ntrack(cd.get()); ++i) {
    const Track* track = cd_get_track(cd.get(), i);
    const char* name = track_get_filename(track);
    long pregap = track_get_zero_pre(track);
    std::printf("%s\t%ld\t%ld\n", name ? name : "(none)", track_get_index(track, 1),
                pregap < 0 ? 0 : pregap);
  }
  return 0;
}

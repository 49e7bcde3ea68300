// Reads a cue sheet with libburn, the engine of several CD burners, and
// prints each track's size and pregap in sectors (2352 bytes, 75 to the
// second), a track a line. libburn says why it refuses a sheet on standard
// error.
//
//   burn_reader CUE-FILE
//
// libburn tells no one a track's pregap, but its cue reader gives it through
// the exported setter, which this program defines too (it is linked with
// -rdynamic) and hands on to libburn's own.
#include <dlfcn.h>
#include <libburn/libburn.h>

#include <cstdio>
#include <map>
#include <memory>

using namespace burn;

namespace {
std::map<burn_track*, int> pregaps;
}

extern "C" int burn_track_set_pregap_size(burn_track* track, int size, int flag) {
  using Setter = int (*)(burn_track*, int, int);
  static const auto libburns = reinterpret_cast<Setter>(dlsym(RTLD_NEXT, __func__));
  pregaps[track] = size;
  return libburns(track, size, flag);
}

int main(int argc, char** argv) {
  char queue[] = "NEVER", print[] = "SORRY", prefix[] = "libburn: ";
  if (argc != 2 || burn_initialize() == 0) return 2;
  burn_msgs_set_severities(queue, print, prefix);
  int read = 0;
  {
    std::unique_ptr<burn_session, void (*)(burn_session*)> session(burn_session_create(),
                                                                   &burn_session_free);
    int text_packs = 0, count = 0;
    read = burn_session_by_cue_file(session.get(), argv[1], 0, nullptr, nullptr, &text_packs, 1);
    burn_track** tracks = burn_session_get_tracks(session.get(), &count);
    for (int i = 0; read > 0 && i < count; ++i) {
      std::printf("%d\t%d\n", burn_track_get_sectors(tracks[i]), pregaps[tracks[i]]);
    }
  }
  burn_finish();
  return read > 0 ? 0 : 1;
}

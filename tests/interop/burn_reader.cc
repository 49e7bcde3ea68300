// Reads a cue sheet with libburn, the engine of several CD burners, and
// prints the size of each track in sectors (2352 bytes, 75 to the second),
// one a line. libburn says why it refuses a sheet on standard error.
//
//   burn_reader CUE-FILE
#include <libburn/libburn.h>

#include <cstdio>
#include <memory>

using namespace burn;

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
    for (int i = 0; read > 0 && i < count; ++i)
      std::printf("%d\n", burn_track_get_sectors(tracks[i]));
  }
  burn_finish();
  return read > 0 ? 0 : 1;
}

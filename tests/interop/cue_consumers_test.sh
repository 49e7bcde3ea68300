#!/usr/bin/env bash
# Runs pellorin on real CD-quality wave files and checks that burners take
# the sheet and put every track where the list puts it.
#
#   cue_consumers_test.sh CONSUMER PELLORIN [HELPER]
#
# CONSUMER is libburn: libburn, through HELPER, the reader built against it,
# and cdrdao read the album pellorin-join made (pellorin-join is beside
# PELLORIN); or example: cdrdao reads the bundled example album, made by the
# HELPER make_example_album. Exits 77 (skipped) when a tool is missing,
# except under CI=true.
set -euo pipefail
consumer=$1 pellorin=$(realpath "$2") helper=${3:+$(realpath "$3")}
source_dir=$(realpath "$(dirname "$0")/../..")
source "$source_dir/tests/lib.sh"

needs cdrdao
[[ -x $helper ]] || skip "built without $consumer"

work=$(mktemp -d)
on_exit "cd / && rm -rf '$work'"
cd "$work"

# waves NAME SECONDS ...: tones in CD audio.
waves() { while (($#)); do sox -r 44100 -b 16 -c 2 -n "$1" synth "$2" sine 440 vol 0.2; shift 2; done; }

case $consumer in
  libburn)
    # The list of one file that pellorin-join makes, of files whose lengths
    # are no whole CD frames, with a split and a pregap: libburn gives each
    # track the sectors up to where the next starts (the last rounded up) and
    # its pregap, and cdrdao starts each at the same frame, shifted by the
    # pregaps before it, which it plays as silence. The samples are those sox
    # joins.
    needs sox
    waves a.wav 100000s b.wav 130000s c.wav 88300s
    printf '%s\n' a.wav b.wav 'S 00:01:00' 'P 00:00:20' c.wav >join.txt
    "$(dirname "$pellorin")/pellorin-join" join.txt joined >/dev/null && cd joined && "$pellorin" >/dev/null
    got=$("$helper" output.cue) && [[ $got == $'170\t0\n75\t0\n146\t20\n151\t0' ]] ||
      fail $'libburn read sizes and pregaps\n'"$got"
    got=$(cdrdao show-toc output.cue 2>/dev/null | grep -o 'START.*' | tr -s ' ' | paste -sd ' ')
    [[ $got == 'START 00:00:00( 0) START 00:02:20( 170) START 00:03:40( 265) START 00:05:36( 411)' ]] ||
      fail "cdrdao started the tracks at $got"
    cmp <(tail -c +45 joined.wav) <(sox ../a.wav ../b.wav ../c.wav -t raw -) || fail "the samples are not those sox joins" ;;
  example)
    # The bundled example prints what the README shows, and every track
    # lasts 4 seconds, so that cdrdao reads the sheet without a warning.
    mkdir example && cd example && "$helper" .
    got=$("$pellorin" "$source_dir/example/album.txt" album.cue && echo "--- album.cue ---" && cat album.cue)
    want=$(awk '/^## Try it/ { on = 1 } on && /^    File Lengths/ { take = 1 } take && /^[^ ]/ { exit }
      take { print substr($0, 5) }' "$source_dir/README.md")
    [[ ${got#$'\n'} == "$want" ]] || fail $'the example printed\n'"$got"$'\nthe README shows\n'"$want"
    # cdrdao warns any user but root that it cannot schedule in real time,
    # which says nothing of the sheet. Its home is here, so that no runner's
    # settings file, nor the lack of a home, changes what it says.
    HOME=$PWD cdrdao read-test album.cue >/dev/null 2>err || fail "cdrdao read-test failed: $(cat err)"
    ! grep -v -x "WARNING: No super user permission to setup real time scheduling." err | grep WARNING ||
      fail "cdrdao warned" ;;
esac

checked
echo "$consumer read the sheet as intended"

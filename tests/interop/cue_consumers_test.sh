#!/usr/bin/env bash
# Runs pellorin on real CD-quality wave files and checks that one consumer of
# cue sheets reads what it wrote as intended.
#
#   cue_consumers_test.sh CONSUMER PELLORIN [CUE_READER]
#
# CONSUMER is cueprint, libcue, cdrdao or sox. Exits 77 (skipped) when the
# consumer or sox, which makes the wave files, is missing, except under CI=true.
set -euo pipefail
consumer=$1 pellorin=$(realpath "$2") cue_reader=${3:+$(realpath "$3")}

skip() { echo "skipped: $*"; [[ ${CI:-} == true ]] && exit 1; exit 77; }
for tool in sox "$consumer"; do
  [[ $tool == libcue ]] && { [[ -x $cue_reader ]] || skip "built without libcue"; continue; }
  command -v "$tool" >/dev/null || skip "$tool is not installed"
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
failures=0
fail() { echo "FAIL [$consumer]: $*"; failures=$((failures + 1)); }

# waves NAME SECONDS ...: 44.1 kHz 16-bit stereo tones.
waves() { while (($#)); do sox -n -r 44100 -b 16 -c 2 "$1" synth "$2" sine 440 vol 0.2; shift 2; done; }

# The worked example with CR LF line ends, names with blanks, splits followed
# by pregaps, and nineteen tracks in all. Every track is expected as its file
# name, INDEX 01 and pregap, both in CD frames.
waves intro.wav 10 long.wav 30.5 last.wav 5.3 'my song.wav' 8 'b side.wav' 4.5
printf 'intro.wav\r\nP 00:02:00\r\nlong.wav\r\nS 00:10:00\r\nS 00:20:50\r\nP 00:01:00\r\nlast.wav\r\n' >tlist.txt
printf '%s\n' 'my song.wav' 'S 00:02:00' 'P 00:00:30' 'S 00:05:10' 'P 00:01:05' 'b side.wav' 'P 00:00:10' >>tlist.txt
expected=$(printf '%s\t%s\t%s\n' intro.wav 0 150 long.wav 0 0 long.wav 750 0 long.wav 1550 75 last.wav 0 0 \
  'my song.wav' 0 0 'my song.wav' 150 30 'my song.wav' 385 80 'b side.wav' 0 10
  for i in $(seq -w 1 10); do waves "t$i.wav" 4 && echo "t$i.wav" >>tlist.txt && printf 't%s.wav\t0\t0\n' "$i"; done)
tracks=$(wc -l <<<"$expected")

"$pellorin" >report || { echo "pellorin failed: $(cat report)"; exit 1; }
case $consumer in
  cueprint)
    out=$(cueprint output.cue 2>err) || fail "cueprint failed"
    [[ ! -s err ]] || fail "cueprint complained: $(cat err)"
    grep -qx "no. of tracks:	$tracks" <<<"$out" || fail "cueprint did not see $tracks tracks" ;;
  libcue)
    got=$("$cue_reader" output.cue) || fail "libcue could not read the sheet"
    [[ $got == "$expected" ]] || fail $'libcue read\n'"$got"$'\nexpected\n'"$expected" ;;
  cdrdao)
    out=$(cdrdao show-toc output.cue 2>err) || fail "cdrdao rejected the sheet: $(cat err)"
    seen=$(grep -cE '^TRACK +[0-9]+ +Mode AUDIO' <<<"$out" || true)
    [[ $seen == "$tracks" ]] || fail "cdrdao listed $seen tracks, expected $tracks" ;;
  sox)
    # A row may be one CD frame short of the exact length, where the
    # single-precision steps land just under a whole frame.
    rows=0
    while IFS=$'\t' read -r _ name length; do
      rows=$((rows + 1))
      exact=$(($(soxi -s "$name") * 75 / $(soxi -r "$name")))
      IFS=: read -r m s f <<<"$length"
      printed=$(((m * 60 + s) * 75 + f))
      ((printed == exact || printed == exact - 1)) || fail "$name prints $length, sox says $exact frames"
    done < <(grep -E '^[0-9]+	' report)
    files=$(cut -f1 <<<"$expected" | uniq | wc -l)
    ((rows == files)) || fail "the report has $rows rows for $files files" ;;
esac

((failures == 0)) || { echo "$failures check(s) failed"; exit 1; }
echo "$consumer read the sheet as intended"

#!/usr/bin/env bash
# Runs pellorin on real CD-quality wave files and checks that one consumer of
# cue sheets reads what it wrote as intended.
#
#   cue_consumers_test.sh CONSUMER PELLORIN [CUE_READER]
#
# CONSUMER is cueprint, libcue, cdrdao or sox. Exits 77 (skipped) when the
# consumer or sox, which makes the wave files, is not installed, except under
# CI=true.
set -euo pipefail

consumer=$1
pellorin=$(realpath "$2")
cue_reader=${3:+$(realpath "$3")}
readonly SKIP=77

# In CI every consumer is installed, so a missing one is a failure there.
skip() {
  echo "skipped: $*"
  [[ ${CI:-} == true ]] && exit 1
  exit "$SKIP"
}
need() { command -v "$1" >/dev/null || skip "$1 is not installed"; }
need sox
case $consumer in
  cueprint) need cueprint ;;
  cdrdao) need cdrdao ;;
  libcue) [[ -x $cue_reader ]] || skip "built without libcue" ;;
  sox) need soxi ;;
  *) echo "unknown consumer $consumer"; exit 2 ;;
esac

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL [$scenario/$consumer]: $*"; failures=$((failures + 1)); }

# make_wave NAME SECONDS
make_wave() { sox -n -r 44100 -b 16 -c 2 "$work/$scenario/$1" synth "$2" sine 440 vol 0.2; }

# Each scenario writes its wave files and tlist.txt, and prints what every
# track should be: file name, INDEX 01 and pregap in CD frames.
scenario_worked_example() {
  make_wave intro.wav 10
  make_wave long.wav 30.5
  make_wave last.wav 5.3
  printf 'intro.wav\r\nP 00:02:00\r\nlong.wav\r\nS 00:10:00\r\nS 00:20:50\r\nP 00:01:00\r\nlast.wav\r\n' \
    >"$work/$scenario/tlist.txt"
  printf '%s\t%s\t%s\n' intro.wav 0 150 long.wav 0 0 long.wav 750 0 long.wav 1550 75 last.wav 0 0
}

scenario_blanks_splits_and_pregaps() {
  make_wave 'my first song.wav' 8
  make_wave 'another song.wav' 4.5
  printf '%s\n' 'my first song.wav' 'S 00:02:00' 'P 00:00:30' 'S 00:05:10' 'P 00:01:05' \
    'another song.wav' 'P 00:00:10' >"$work/$scenario/tlist.txt"
  printf '%s\t%s\t%s\n' 'my first song.wav' 0 0 'my first song.wav' 150 30 \
    'my first song.wav' 385 80 'another song.wav' 0 10
}

scenario_fifteen_tracks() {
  for i in $(seq -w 1 12); do
    make_wave "t$i.wav" 4
    echo "t$i.wav" >>"$work/$scenario/tlist.txt"
    printf '%s\t%s\t%s\n' "t$i.wav" 0 0
  done
  make_wave t13.wav 12
  printf '%s\n' t13.wav 'S 00:04:00' 'S 00:08:00' >>"$work/$scenario/tlist.txt"
  printf '%s\t%s\t%s\n' t13.wav 0 0 t13.wav 300 0 t13.wav 600 0
}

check() {
  local dir=$work/$scenario expected=$1 tracks
  tracks=$(wc -l <<<"$expected")
  case $consumer in
    cueprint)
      local out err
      out=$(cd "$dir" && cueprint output.cue 2>"$work/err") || fail "cueprint failed"
      [[ ! -s $work/err ]] || fail "cueprint wrote to standard error: $(cat "$work/err")"
      grep -qx "no. of tracks:	$tracks" <<<"$out" || fail "cueprint did not see $tracks tracks"
      ;;
    libcue)
      local got
      got=$("$cue_reader" "$dir/output.cue") || fail "libcue could not read the sheet"
      [[ $got == "$expected" ]] || fail "libcue read"$'\n'"$got"$'\n'"expected"$'\n'"$expected"
      ;;
    cdrdao)
      local out seen
      out=$(cd "$dir" && cdrdao show-toc output.cue 2>"$work/err") ||
        fail "cdrdao rejected the sheet: $(cat "$work/err")"
      seen=$(grep -cE '^TRACK +[0-9]+ +Mode AUDIO' <<<"$out" || true)
      [[ $seen == "$tracks" ]] || fail "cdrdao listed $seen tracks, expected $tracks"
      ;;
    sox)
      # A row may be one CD frame short of the exact length, where the
      # single-precision steps land just under a whole frame.
      local number name length samples rate exact printed rows=0
      while IFS=$'\t' read -r number name length; do
        rows=$((rows + 1))
        samples=$(soxi -s "$dir/$name")
        rate=$(soxi -r "$dir/$name")
        exact=$((samples * 75 / rate))
        IFS=: read -r m s f <<<"$length"
        printed=$(((m * 60 + s) * 75 + f))
        ((printed == exact || printed == exact - 1)) ||
          fail "$name prints $length ($printed frames), sox says $exact frames"
      done < <(grep -E '^[0-9]+	' "$work/report")
      local files
      files=$(cut -f1 <<<"$expected" | uniq | wc -l)
      ((rows == files)) || fail "the report has $rows rows for $files files"
      ;;
  esac
}

for scenario in worked_example blanks_splits_and_pregaps fifteen_tracks; do
  mkdir "$work/$scenario"
  expected=$("scenario_$scenario")
  if ! (cd "$work/$scenario" && "$pellorin" >"$work/report"); then
    fail "pellorin failed: $(cat "$work/report")"
    continue
  fi
  check "$expected"
done

if ((failures > 0)); then
  echo "$failures check(s) failed"
  exit 1
fi
echo "$consumer read every sheet as intended"

#!/usr/bin/env bash
# Two builds of pellorin print the same lengths report and total: on the
# worked example, next to the rounding steps of the arithmetic at the common
# sample rates, for lengths no album has, and for a 3 GiB file; and both
# replace a sheet dated after 2038. CI runs it against a 32-bit x86
# build, whose x87 unit keeps results wider than the program states.
#
#   length_report_digits.sh 'COMMAND A' 'COMMAND B'
#
# Each command is a program, or a program and its emulator, by absolute path.
set -euo pipefail
a=$1 b=$2
source "$(dirname "$(realpath "$0")")/lib.sh"
work=$(mktemp -d)
on_exit "rm -rf '$work'"
cd "$work"

# add LIST RATE FRAMES: one more 8-bit mono file, named in LIST.txt
files=0
add() { files=$((files + 1)); wav "$2" "$3" 1 8 >"$files.wav"; echo "$files.wav" >>"$1.txt"; }

add example 44100 10000000; add example 44100 8165556; add example 48000 2928000
for rate in 8000 11025 22050 32000 44100 48000 88200 96000 176400 192000 352800 384000; do
  for length in "0 0 1" "0 5 11" "1 1 0" "2 43 71" "3 5 11" "5 56 39" "6 59 74" "59 59 74" "79 59 74"; do
    read -r m s f <<<"$length"
    frames=$(((m * 60 + s) * rate + f * rate / 75))
    for step in -1 0 1; do add "$rate" "$rate" $((frames + step)); done
  done
done
for wave in "1 1020962610" "1 4294967295" "3 4294967295" "16777217 4294967295" "2147483647 4294967295"; do
  add absurd $wave
done
for _ in $(seq 127); do add absurd_total 2000 4294967295; done
# Past 32 bits: a file of 3 GiB, and every file dated 2040, the old sheet too.
wav 44100 805306368 >big.wav && truncate -s 3G big.wav && echo big.wav >big.txt
touch -d 2040-01-01 ./*
run() { printf old >output.cue && touch -d 2040-01-01 output.cue && $1 "$2"; }

for list in *.txt; do
  expected=$(run "$a" "$list") || { echo "FAIL: $a failed on $list: $expected"; exit 1; }
  diff <(echo "$expected") <(run "$b" "$list") || fail "the builds differ on $list"
done
checked
echo "both builds print the same report for $files lengths in $(ls *.txt | wc -l) lists"

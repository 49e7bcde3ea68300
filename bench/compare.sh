#!/usr/bin/env bash
# Times pellorin on 128 wave files against the bare I/O it needs (reading the
# first 15034 bytes of each file) and against a peer that also reads wave
# headers and prints lengths. Two sets: tags near offset 15000 behind a JUNK
# chunk, and canonical 44-byte headers; every file is extended to its
# declared 700 MB of samples with truncate, so it is large but takes no disk.
# The same headers in files of 1 MB show that the run's time does not depend
# on the files' sizes. Given a BASELINE build as well, it times that one in
# the same run, so that the two can be compared on the same load.
#
#   bench/compare.sh [PELLORIN [BASELINE]]      (default: build/pellorin)
#
# Needs hyperfine, shntool, python3, strace, valgrind and GNU time
# (/usr/bin/time).
set -euo pipefail

pellorin=$(realpath "${1:-build/pellorin}")
baseline=${2:+$(realpath "$2")}
for tool in hyperfine shntool python3 strace valgrind /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "compare.sh needs $tool" >&2; exit 2; }
done

readonly FILES=128 DATA_SIZE=700000000 LOOP=20
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

source "$(dirname "$(realpath "$0")")/../tests/wave_header.sh"  # le

header() {  # header JUNK_BYTES: a 44.1 kHz 16-bit stereo header, JUNK chunk first if any
  local junk=$1
  printf RIFF; le $((36 + junk + (junk ? 8 : 0) + DATA_SIZE)) 4; printf WAVE
  if ((junk)); then printf JUNK; le "$junk" 4; head -c "$junk" /dev/zero; fi
  printf 'fmt '; le 16 4; le 1 2; le 2 2; le 44100 4; le 176400 4; le 4 2; le 16 2
  printf data; le "$DATA_SIZE" 4
}

make_set() {  # make_set NAME JUNK_BYTES
  local dir=$work/$1 i
  mkdir "$dir"
  header "$2" >"$dir/proto"
  local size=$(($(stat -c %s "$dir/proto") + DATA_SIZE))
  mkdir "$dir/small"
  for ((i = 1; i <= FILES; i++)); do
    cp "$dir/proto" "$dir/small/track$i.wav"
    truncate -s 1M "$dir/small/track$i.wav"
    cp "$dir/proto" "$dir/track$i.wav"
    truncate -s "$size" "$dir/track$i.wav"
    echo "track$i.wav" >>"$dir/tlist.txt"
  done
  cp "$dir/tlist.txt" "$dir/small/"
  rm "$dir/proto"
}

median() {  # median JSON INDEX: seconds per single run
  python3 -c 'import json,sys; r=json.load(open(sys.argv[1]))["results"][int(sys.argv[2])]; print(r["median"] / int(sys.argv[3]))' "$@" "$LOOP"
}

loop() { echo "for i in \$(seq $LOOP); do $1 >/dev/null; done"; }

instructions() {  # instructions PROGRAM: what one run of it executes, kernel aside
  valgrind --tool=callgrind --callgrind-out-file=/dev/null "$1" 2>&1 >/dev/null |
    awk '/Collected/ { print $NF }'
}

compare() {  # compare NAME JUNK_BYTES
  make_set "$1" "$2"
  cd "$work/$1"
  local files
  files=$(printf 'track%d.wav ' $(seq "$FILES"))
  hyperfine --style none --warmup 3 --runs ${RUNS:-30} --export-json "$work/$1.json" \
    -n pellorin "$(loop "$pellorin")" \
    -n "head -c 15034" "$(loop "head -c 15034 -q $files")" \
    -n "shntool len" "$(loop "shntool len $files")" \
    -n "pellorin, 1 MB files" "cd small && $(loop "$pellorin")" \
    ${baseline:+-n baseline "$(loop "$baseline")"} >/dev/null
  local a b c d e=0 peak
  a=$(median "$work/$1.json" 0)
  b=$(median "$work/$1.json" 1)
  c=$(median "$work/$1.json" 2)
  d=$(median "$work/$1.json" 3)
  [[ -z $baseline ]] || e=$(median "$work/$1.json" 4)
  peak=$(/usr/bin/time -v "$pellorin" 2>&1 >/dev/null | awk -F': ' '/Maximum resident/ {print $2}')
  # Path lookups: system calls that name a file, not those on a descriptor.
  strace -qq -e trace=%file -o "$work/trace" "$pellorin" >/dev/null
  lookups=$(grep -cvE '^(execve|[a-z0-9_]+\([0-9]+, "",)' "$work/trace")
  # Instructions, which unlike times do not move with the machine's load.
  local ia ie=0
  ia=$(instructions "$pellorin")
  [[ -z $baseline ]] || ie=$(instructions "$baseline")
  python3 - "$1" "$a" "$b" "$c" "$d" "$e" "$peak" "$lookups" "$ia" "$ie" <<'PY'
import sys
name, a, b, c, d, e, peak, lookups, ia, ie = sys.argv[1], *map(float, sys.argv[2:])
print(f"{name}: 128 files of 700 MB")
print(f"  (a) pellorin        {a * 1e3:8.3f} ms")
print(f"  (b) head -c 15034   {b * 1e3:8.3f} ms")
print(f"  (c) shntool len     {c * 1e3:8.3f} ms")
print(f"      pellorin on the same headers in files of 1 MB: {d * 1e3:.3f} ms")
print(f"  a/b = {a / b:.2f}   a/c = {a / c:.2f}   peak memory of (a): {peak / 1024:.2f} MiB")
print(f"  path lookups of (a): {lookups:.0f} for 128 wave files, the list and the sheet")
print(f"  instructions of (a), as valgrind counts them: {ia:.0f}")
if e:
    print(f"  (e) baseline        {e * 1e3:8.3f} ms   a/e = {a / e:.2f}")
    print(f"      instructions of (e): {ie:.0f}   a/e = {ia / ie:.2f}")
PY
  cd - >/dev/null
}

linkage=static
readelf -d "$pellorin" | grep -q '(NEEDED)' && linkage=dynamic
echo "$pellorin, linked $linkage${baseline:+; baseline $baseline}"
echo "$(nproc) cores: $(awk -F': ' '/^model name/ { print $2; exit }' /proc/cpuinfo)"
echo "medians of ${RUNS:-30} timings of $LOOP runs each, per run"
echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
compare far-tags 14956
compare canonical 0

# Against the baseline, single runs without a shell between, in both orders,
# since whichever hyperfine times first tends to come out slower here.
if [[ -n $baseline ]]; then
  cd "$work/canonical"
  for order in "$pellorin $baseline" "$baseline $pellorin"; do
    hyperfine -N --style none --warmup 20 --runs 400 --export-json "$work/order.json" $order >/dev/null
    python3 - "$work/order.json" "$pellorin" <<'PY'
import json, sys
results = {r["command"]: r["median"] for r in json.load(open(sys.argv[1]))["results"]}
a = results.pop(sys.argv[2])
e = results.popitem()[1]
print(f"canonical, single runs: (a) {a * 1e3:.3f} ms, (e) {e * 1e3:.3f} ms, a/e = {a / e:.3f}")
PY
  done
  cd - >/dev/null
fi
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"

#!/usr/bin/env bash
# Times pellorin-join against cat joining the same wave files into one, in
# one run, in both orders, since whichever hyperfine times first tends to come
# out slower. The album: 12 files of CD audio, 40 MB each (about four minutes),
# of random samples, in a directory of the file system TMPDIR is on; both
# write there too, or into the directory OUT, which may be on another file
# system (where the kernel cannot copy between them, pellorin-join copies
# through a buffer).
#
#   [OUT=DIRECTORY] bench/join.sh [PELLORIN-JOIN]      (default: build/pellorin-join)
#
# Needs hyperfine, python3 and GNU time (/usr/bin/time).
set -euo pipefail

join=$(realpath "${1:-build/pellorin-join}")
for tool in hyperfine python3 /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "join.sh needs $tool" >&2; exit 2; }
done
source "$(dirname "$(realpath "$0")")/../tests/wave_header.sh"  # wav

readonly FILES=12 BYTES=40000000
work=$(mktemp -d)
out=$(mktemp -d -p "${OUT:-$work}")
trap 'rm -rf "$work" "$out"' EXIT
cd "$work"
for i in $(seq "$FILES"); do
  { wav 44100 $((BYTES / 4)) && head -c "$BYTES" /dev/urandom; } >"t$i.wav"
  echo "t$i.wav" >>album.txt
done
files=$(printf 't%d.wav ' $(seq "$FILES"))

echo "$join"
echo "$(nproc) cores: $(awk -F': ' '/^model name/ { print $2; exit }' /proc/cpuinfo)"
fs() { df -T "$1" | awk 'NR == 2 { print $2 }'; }
echo "$FILES files of $((BYTES / 1000000)) MB on $(fs .), joined on $(fs "$out"), medians of ${RUNS:-20} runs"
echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
join_run="$join album.txt $out/album >/dev/null" cat_run="cat $files >$out/one.wav"
for order in join cat; do
  if [[ $order == join ]]; then first=$join_run second=$cat_run; else first=$cat_run second=$join_run; fi
  hyperfine --style none --warmup 2 --runs "${RUNS:-20}" --prepare "rm -rf $out/album $out/one.wav" \
    --export-json "$work/$order.json" "$first" "$second" >/dev/null 2>&1
  python3 - "$work/$order.json" "$join_run" "$order" <<'PY'
import json, sys
results = {r["command"]: r["median"] for r in json.load(open(sys.argv[1]))["results"]}
j = results.pop(sys.argv[2])
c = results.popitem()[1]
print(f"{sys.argv[3]} timed first: pellorin-join {j * 1e3:.1f} ms, cat {c * 1e3:.1f} ms, ratio {j / c:.3f}")
PY
done
rm -rf "$out/album"
peak=$(/usr/bin/time -v "$join" album.txt "$out/album" 2>&1 >/dev/null | awk -F': ' '/Maximum resident/ { print $2 }')
echo "peak memory of pellorin-join: $peak KiB"
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"

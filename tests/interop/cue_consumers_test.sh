#!/usr/bin/env bash
# Runs pellorin on real CD-quality wave files and checks that one consumer of
# cue sheets reads what it wrote as intended.
#
#   cue_consumers_test.sh CONSUMER PELLORIN [HELPER]
#
# CONSUMER is libcue, libburn, cdrdao, sox or mpv; example: the bundled example
# album, made by the HELPER make_example_album, read by cdrdao; or recipe: the
# README's lines that join an album into one wave file, read by libburn and
# cdrdao. For libcue, libburn and recipe, HELPER is the reader built against
# the library. Exits 77 (skipped) when the consumer or sox, which makes the
# wave files, is missing, except under CI=true.
set -euo pipefail
consumer=$1 pellorin=$(realpath "$2") helper=${3:+$(realpath "$3")}
source_dir=$(realpath "$(dirname "$0")/../..")
source "$source_dir/tests/lib.sh"

needs sox
case $consumer in
  lib*) [[ -x $helper ]] || skip "built without $consumer" ;;
  example) needs cdrdao ;;
  recipe) [[ -x $helper ]] || skip "built without libburn"; needs cdrdao soxi ;;
  *) needs "$consumer" ;;
esac

work=$(mktemp -d)
on_exit "cd / && rm -rf '$work'"
cd "$work"

# tone NAME SECONDS [FORMAT]: a tone, in CD audio unless sox's format options
# say otherwise; waves NAME SECONDS ...: tones in CD audio. SECONDS may be a
# count of samples, as 100s.
tone() { local format=${3:--r 44100 -b 16 -c 2}; sox $format -n "$1" synth "$2" sine 440 vol 0.2; }
waves() { while (($#)); do tone "$1" "$2"; shift 2; done; }

# The worked example with CR LF line ends, names with blanks, splits followed
# by pregaps, and nineteen tracks in all. Every track is expected as its file
# name, INDEX 01 and pregap, both in CD frames.
waves intro.wav 10 long.wav 30.5 last.wav 5.3 'my song.wav' 8 'côté b.wav' 4.5
printf 'intro.wav\r\nP 00:02:00\r\nlong.wav\r\nS 00:10:00\r\nS 00:20:50\r\nP 00:01:00\r\nlast.wav\r\n' >album.txt
printf '%s\n' 'my song.wav' 'S 00:02:00' 'P 00:00:30' 'S 00:05:10' 'P 00:01:05' 'côté b.wav' 'P 00:00:10' >>album.txt
expected=$(printf '%s\t%s\t%s\n' intro.wav 0 150 long.wav 0 0 long.wav 750 0 long.wav 1550 75 last.wav 0 0 \
  'my song.wav' 0 0 'my song.wav' 150 30 'my song.wav' 385 80 'côté b.wav' 0 10
  for i in $(seq -w 1 10); do waves "t$i.wav" 4 && echo "t$i.wav" >>album.txt && printf 't%s.wav\t0\t0\n' "$i"; done)
tracks=$(wc -l <<<"$expected")
# One file with splits and pregaps, a pregap on track 1 too, and a length that
# is no whole number of sectors: 30.5 s.
printf '%s\n' long.wav 'P 00:03:00' 'S 00:10:00' 'S 00:20:50' 'P 00:01:00' >one.txt

"$pellorin" album.txt output.cue >report && "$pellorin" one.txt one.cue >/dev/null ||
  { echo "pellorin failed: $(cat report)"; exit 1; }
# quoted TEXT: the README quotes what a consumer printed.
quoted() { grep -qF "$1" "$source_dir/README.md" || fail "the README does not quote: $1"; }
# readme_block MARKER: the indented lines behind the line <!-- MARKER --> of
# the README, as a user would copy them.
readme_block() {
  awk -v m="<!-- $1 -->" '$0 == m { on = 1; next } on && /^    / { print substr($0, 5); next } on { exit }' \
    "$source_dir/README.md"
}
# chapters CUE: where mpv starts each chapter, and why it stopped playing.
chapters() {
  printf '%s\n' 'mp.register_event("end-file", function(e) print("end: " .. e.reason) end)' \
    'mp.register_event("file-loaded", function() for _, c in ipairs(mp.get_property_native(' \
    '"chapter-list")) do print(string.format("%.3f", c.time)) end end)' >chapters.lua
  mpv --no-config --ao=null --ao-null-untimed --vo=null --msg-level=all=no,chapters=info \
    --script=chapters.lua "$1" | sed 's/^\[chapters\] //; s/ *$//'
}
case $consumer in
  libcue)
    got=$("$helper" output.cue) || fail "libcue could not read the sheet"
    [[ $got == "$expected" ]] || fail $'libcue read\n'"$got"$'\nexpected\n'"$expected" ;;
  cdrdao)
    out=$(cdrdao show-toc output.cue 2>err) || fail "cdrdao rejected the sheet: $(cat err)"
    seen=$(grep -cE '^TRACK +[0-9]+ +Mode AUDIO' <<<"$out" || true)
    [[ $seen == "$tracks" ]] || fail "cdrdao listed $seen tracks, expected $tracks"
    cdrdao show-toc one.cue &>/dev/null || fail "cdrdao rejected a sheet of one file"
    # Without --force, cdrdao takes no track shorter than the 4 seconds a CD asks for.
    ! cdrdao read-test output.cue >/dev/null 2>err || fail "cdrdao read-test took a 2-second track"
    grep -qx "WARNING: Track 6: Length is shorter than 4 seconds." err || fail "read-test: $(cat err)"
    # Files that are not CD audio (44.1 kHz, 16-bit, stereo PCM), ten seconds
    # long: sox's options for each, and what cdrdao says of it. cdrdao takes
    # it once sox has converted it.
    while IFS=: read -r name options message; do
      tone "$name.wav" 10 "$options" && echo "$name.wav" >"$name.txt"
      "$pellorin" "$name.txt" "$name.cue" >/dev/null
      ! cdrdao show-toc "$name.cue" &>err || fail "cdrdao took $name.wav"
      grep -qxF "ERROR: $name.wav: $message" err && grep -qxF "ERROR: Header of audio file \"$name.wav\" is corrupted." err ||
        fail "cdrdao refused $name.wav with: $(cat err)"
      quoted "$message"
    done <<'TABLE'
r48:-r 48000 -b 16 -c 2:found sampling rate 48000, require 44100.
mono:-r 44100 -b 16 -c 1:found 1 channel(s), require 2 channels.
b8:-r 44100 -b 8 -c 2:found 8 bits per sample, require 16.
b24:-r 44100 -b 24 -c 2:not in PCM format.
TABLE
    # The README's conversion, as written there, of a list of all four.
    mkdir convert && mv r48.wav mono.wav b8.wav b24.wav convert/ && cd convert
    printf '%s\n' r48.wav mono.wav b8.wav b24.wav >tlist.txt
    (PATH=$(dirname "$pellorin"):$PATH && eval "$(readme_block conversion)") >/dev/null
    (cd cd && cdrdao show-toc output.cue &>err) || fail "cdrdao refused the converted files: $(cat cd/err)"
    cd "$work"
    # cdrdao takes a file name of 147 bytes and aborts on one of 148.
    for n in 143 144; do
      waves "$(printf "%0${n}d" 0).wav" 4 && printf "%0${n}d.wav\n" 0 >"$n.txt"
      "$pellorin" "$n.txt" "$n.cue" >/dev/null && got=0 && cdrdao show-toc "$n.cue" &>/dev/null || got=$?
      echo "$got"
    done >statuses
    [[ $(cat statuses) == $'0\n134' ]] || fail "cdrdao read names of 147 and 148 bytes with status $(cat statuses)"
    # Lines as a hand-written list may give them, behind long.wav: whether
    # cdrdao show-toc takes the sheet, and what it says.
    while IFS='|' read -r line status message; do
      printf 'long.wav\n%s\n' "$line" >t.txt && "$pellorin" t.txt t.cue >/dev/null
      got=0 && cdrdao show-toc t.cue &>err || got=$?
      [[ $got == "$status" ]] && grep -qF "$message" err || fail "cdrdao read $line as: $(cat err)"
      ((status == 0)) || quoted "$message"
    done <<'TABLE' ;;
S 1:10|0|START  00:01:10(    85)
S 00:05|0|START  00:00:05(     5)
S10:00:05|0|START  00:00:05(     5)
S 00:40:00|1|ERROR: Start position 1764000 exceeds available data of file "long.wav".
S 00:05:75|1|Timecode out of range
Side B|1|Unknown command
Pause: none|1|Unknown command
TABLE
  libburn)
    # libburn takes one FILE a sheet, with the message the README quotes. A
    # sheet of one file gives tracks of the sizes it means, the last rounded
    # up to a whole sector, and the pregaps of its P lines.
    message="In cue sheet file: Multiple occurrences of FILE"
    ! "$helper" output.cue 2>err || fail "libburn read a sheet of several files"
    grep -qF "$message" err || fail "libburn refused the sheet with: $(cat err)"
    quoted "$message"
    # Nor a time not written mm:ss:ff.
    message="Inappropriate cue sheet file index time point '1:10'"
    printf 'long.wav\nS 1:10\n' >t.txt && "$pellorin" t.txt t.cue >/dev/null
    ! "$helper" t.cue 2>err && grep -qF "$message" err || fail "libburn read S 1:10 as: $(cat err)"
    quoted "$message"
    got=$("$helper" one.cue 2>err) || fail "libburn failed: $(cat err)"
    [[ $got == $'750\t225\n800\t0\n738\t75' ]] || fail $'libburn read sizes and pregaps\n'"$got"
    # Ten seconds at 48 kHz are sized by their bytes, as 817 sectors; 24 bits are refused.
    tone r48.wav 10 '-r 48000 -b 16 -c 2' && tone b24.wav 10 '-r 44100 -b 24 -c 2'
    for f in r48 b24; do echo "$f.wav" >"$f.txt" && "$pellorin" "$f.txt" "$f.cue" >/dev/null; done
    [[ $("$helper" r48.cue) == $'817\t0' ]] && ! "$helper" b24.cue 2>/dev/null ||
      fail "libburn read files that are not CD audio otherwise" ;;
  sox)
    # Given its input as output, sox empties the file, and says nothing.
    waves same.wav 1 && sox same.wav -b 8 same.wav 2>/dev/null
    [[ $(stat -c %s same.wav) == 44 ]] || fail "sox converted a file in place to $(stat -c %s same.wav) bytes"
    # A header written through a pipe keeps its placeholder size, and so a
    # wrong length, which sox mends by writing the file again.
    sox -n -t wav - synth 1 sine 440 vol 0.2 2>/dev/null | cat >piped.wav && sox piped.wav mended.wav
    printf '%s\n' piped.wav mended.wav >mend.txt
    got=$("$pellorin" mend.txt mend.cue | grep -o '[0-9:]*$' | head -2)
    [[ $got == $'186:24:59\n0:1:0' ]] || fail $'the piped and mended files measured\n'"$got" ;;
  mpv)
    # One chapter a track, where the file lengths before it and its INDEX
    # position put it, played on to the end of the last file.
    want=$(printf '%.3f\n' 0 10 20 30.667 40.5 45.8 47.8 50.933 53.8 $(seq 58.3 4 94.3); echo "end: eof")
    got=$(chapters output.cue) && [[ $got == "$want" ]] || fail $'mpv played\n'"$got"$'\nexpected\n'"$want"
    got=$(chapters one.cue) && [[ $got == $'0.000\n10.000\n20.667\nend: eof' ]] || fail "mpv played $got"
    # The README's way to list where the chapters start.
    listed=$(grep -o "mpv --ao=null [^\`]*" "$source_dir/README.md" | sed 's/^mpv/mpv --no-config/; s/output.cue/one.cue/')
    got=$(eval "$listed" 2>/dev/null | grep '^\[')
    [[ $got == '[{"title":"","time":0.000000},{"title":"","time":10.000000},{"title":"","time":20.666667}]' ]] ||
      fail "the README's chapter list printed $got" ;;
  example)
    # The bundled example prints what the README shows, and every track
    # lasts 4 seconds, so that cdrdao reads the sheet without a warning.
    mkdir example && cd example && "$helper" .
    got=$("$pellorin" "$source_dir/example/album.txt" album.cue && echo "--- album.cue ---" && cat album.cue)
    want=$(awk '/^## Try it/ { on = 1 } on && /^    File Lengths/ { take = 1 } take && /^[^ ]/ { exit }
      take { print substr($0, 5) }' "$source_dir/README.md")
    [[ ${got#$'\n'} == "$want" ]] || fail $'the example printed\n'"$got"$'\nthe README shows\n'"$want"
    # cdrdao warns any user but root that it cannot schedule in real time,
    # which says nothing of the sheet.
    cdrdao read-test album.cue >/dev/null 2>err || fail "cdrdao read-test failed: $(cat err)"
    ! grep -v -x "WARNING: No super user permission to setup real time scheduling." err | grep WARNING ||
      fail "cdrdao warned" ;;
  recipe)
    # The README's lines, as written there, on files whose lengths are no
    # whole CD frames, with a split line and a pregap in the second file.
    # libburn gives each track the sectors up to where the next starts (the
    # last rounded up), with its pregap; cdrdao starts each track at the same
    # place, shifted by the pregaps before it, which it plays as silence.
    mkdir recipe && cd recipe
    waves a.wav 100000s b.wav 130000s c.wav 88300s
    printf '%s\n' a.wav b.wav 'S 00:01:00' 'P 00:00:20' c.wav >album.txt
    eval "$(readme_block 'one-file recipe')"
    "$pellorin" one.txt one.cue >/dev/null
    got=$("$helper" one.cue) && [[ $got == $'170\t0\n75\t0\n146\t20\n151\t0' ]] ||
      fail $'libburn read sizes and pregaps\n'"$got"
    got=$(cdrdao show-toc one.cue 2>/dev/null | grep -o 'START.*' | tr -s ' ')
    [[ $got == $'START 00:00:00( 0)\nSTART 00:02:20( 170)\nSTART 00:03:40( 265)\nSTART 00:05:36( 411)' ]] ||
      fail $'cdrdao started the tracks at\n'"$got" ;;
esac

checked
echo "$consumer read the sheet as intended"

#!/usr/bin/env bash
# End-to-end runs of the built program.
#
#   driver_test.sh PELLORIN [sanitized]
#
# Each case runs its script in a fresh directory that holds t.wav (one second
# long), l.txt (naming t.wav) and an old output.cue. Everything the script
# prints, standard error included, must be what printf makes of the case's
# format and arguments. In a script $P is the program, `wav RATE FRAMES` prints
# a 16-bit stereo header (wave_header.sh), and `fails 'COMMAND'` runs a command
# that must fail: it prints what the command printed, its status, and
# "unchanged" if every file is as it was before.
set -u
export P
P=$(realpath "$1")
sanitized=${2:-}
failures=0

source "$(dirname "$(realpath "$0")")/wave_header.sh"
state() { ls -A; find . -type f -exec cksum {} + | sort; }
fails() { local before; before=$(state); eval "$1"; echo $?; [ "$before" = "$(state)" ] && echo unchanged; }
export -f le wav state fails

# A case that cannot run here is skipped, except in CI, which must run them all.
skip() {
  echo "skipped $1: $2"
  [[ ${CI:-} != true ]] || failures=$((failures + 1))
}

# check NAME SCRIPT FORMAT [ARGUMENT...]
check() {
  local name=$1 script=$2 dir expected got
  shift 2
  case $name in
    OutOfMemory) [[ -z $sanitized ]] || { skip "$name" "sanitizers need more memory"; return; } ;;
    Interrupted) command -v strace >/dev/null || { skip "$name" "strace is not installed"; return; } ;;
  esac
  expected=$(printf "$@"; echo .)
  dir=$(mktemp -d) && chmod 777 "$dir" && cd "$dir" || exit 1  # some scripts run as nobody
  wav 44100 44100 >t.wav && echo t.wav >l.txt && printf 'old sheet' >output.cue
  got=$(bash -c "$script" 2>&1; echo .)
  cd / && chmod -R u+w "$dir" && rm -rf "$dir"
  [[ $got == "$expected" ]] && echo "ok $name" && return
  echo "FAIL $name:" && diff <(printf %s "${expected%.}") <(printf %s "${got%.}")
  failures=$((failures + 1))
}

# A report's rows are given as printf %b takes them; the last line feed is cut.
report() { printf '\nFile Lengths \t\t\tmin:sec:frames\n\n%b\nTotal Time:  %s' "$1" "$2"; }
report1=$(report '1\tt.wav\t\t0:1:0\n' '0 min : 1 sec')
sheet1='FILE "t.wav" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n'

# Ignored lines and pregaps, a byte order mark, CR LF and blank lines leave
# the sheet exactly as the bare list gives it.
check WorkedExample '
wav 44100 10000000 >intro.wav; wav 44100 8165556 >long.wav; wav 48000 2928000 >last.wav
printf "\xEF\xBB\xBFintro.wav\r\nP 00:02:00\r\nP 00:09:00\r\nlong.wav\r\n\r\nS 01:10:00\r\n" >tlist.txt
printf "S 02:31:50\r\nP 00:01:00\r\nlast.wav\r\nmastered 2026\r\nP 1\r\n" >>tlist.txt
$P; echo $?; cat output.cue' '%s\n\nWrote cue file called output.cue\n0
FILE "intro.wav" WAVE\n  TRACK 01 AUDIO\n    PREGAP 00:02:00\n    INDEX 01 00:00:00
FILE "long.wav" WAVE\n  TRACK 02 AUDIO\n    INDEX 01 00:00:00
  TRACK 03 AUDIO\n    INDEX 01 01:10:00\n  TRACK 04 AUDIO\n    PREGAP 00:01:00\n    INDEX 01 02:31:50
FILE "last.wav" WAVE\n  TRACK 05 AUDIO\n    INDEX 01 00:00:00\n' \
  "$(report '1\tintro.wav\t\t3:46:56\n2\tlong.wav\t\t3:5:11\n3\tlast.wav\t\t1:1:0\n' '7 min : 52 sec')"

# tlist.txt wins over the first argument; only a second one names the sheet.
check FileChoice '
run() { rm -f *.cue; $P "$@" >/dev/null; grep -Ho "^FILE \".\.wav" *.cue; }
cp t.wav o.wav; echo o.wav >other.txt; mv l.txt tlist.txt
run; run x; run x my.cue; run x my.cue x; rm tlist.txt
run other.txt; run other.txt my.cue; run other.txt my.cue x' '%s:FILE "%s\n' \
  output.cue t.wav output.cue t.wav my.cue t.wav output.cue t.wav \
  output.cue o.wav my.cue o.wav output.cue o.wav

# With neither, the help text.
check HelpWithNothingToRead 'rm l.txt output.cue; $P; echo $?; ls' 'Pellorin 1.0 by Quillbrack
Enter your .wav file names in a track called tlist.txt
Or, use a different list filename by entering it as
the first command line argument.
Optionally, add the name for the output .cue file as
the second command line argument.
To split a file into separate tracks, start a line with S
followed by the start time.
To add a pregap, start a line with P followed by the length
1\nt.wav\n'

# Endless streams: reading stops at a NUL byte or behind line 128.
check ListEndsAtNulOr128Lines '
$P /dev/zero; echo $?; wc -c <output.cue
{ echo t.wav; head -c 10485760 /dev/zero | tr "\0" a; printf "\nS 1\n"; yes t.wav; } |
  $P /dev/stdin >/dev/null; echo $?; grep -c FILE output.cue
grep -E "TRACK (09|10|99|100|127) " output.cue' '%s\n\nWrote cue file called output.cue\n0\n0\n0\n126
  TRACK 09 AUDIO\n  TRACK 10 AUDIO\n  TRACK 99 AUDIO\n  TRACK 100 AUDIO\n  TRACK 127 AUDIO\n' \
  "$(report '' '0 min : 0 sec')"

# A tlist.txt that is a directory counts as absent. The list is checked
# before any wave file is opened.
check InputFaults '
mkdir tlist.txt d d.wav; printf "no.wav\nS\n" >a; printf "no.wav\nx\"y.wav" >b
printf "t.wav\nt.wav " >c; echo d.wav >e
for l in d no.txt a b c e; do fails "$P $l"; done' '%s\n2\nunchanged\n' \
  'Cannot open track list called d' 'Cannot open track list called no.txt' \
  'Missing time in track list line S' 'Double quote in file name in track list line x"y.wav' \
  'Cannot find file in track list called t.wav ' 'Cannot find file in track list called d.wav'

check HeaderCutAtEveryLength '
echo cut.wav >l.txt
for n in $(seq 0 43); do head -c $n t.wav >cut.wav; $P l.txt; echo $?; done | sort | uniq -c
cat output.cue' "     44 2\n     25 Can't find data block in wave file!
     15 Can't find format chunk in wave file!\n      4 Unsupported format in wave file called cut.wav
old sheet"

# An endless first line under an address-space limit.
check OutOfMemory 'tr "\0" a </dev/zero | (ulimit -v 200000; fails "$P /dev/stdin")' \
  'Out of memory\n2\nunchanged\n'

# A 250-byte sheet name works, as the temporary file's name is short. Time
# texts are copied as they stand, quotes included.
check NoSizeLimits '
w=$(printf %0240d 0).wav; cp t.wav $w; printf "$w\nS-\"%0300d" 0 >long
$P long $(printf %0250d 0) >/dev/null; cat 000*0' \
  'FILE "%s.wav" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n  TRACK 02 AUDIO\n    INDEX 01 "%s\n' \
  "$(printf %0240d 0)" "$(printf %0300d 0)"

# Links stay links, permission bits are kept, and nothing stray is left.
check SheetReplaced '
chmod 640 output.cue; ln -s output.cue link.cue; ln -s link.cue chain.cue; ln -s new.cue dangling.cue
$P l.txt chain.cue >/dev/null; (umask 002; $P l.txt dangling.cue >/dev/null)
stat -c %a output.cue new.cue; find . -type l | sort; ls -A; cat output.cue new.cue' \
  "640\n664\n./chain.cue\n./dangling.cue\n./link.cue
chain.cue\ndangling.cue\nl.txt\nlink.cue\nnew.cue\noutput.cue\nt.wav\n$sheet1$sheet1"

# Standard output gets the sheet between the report and the confirmation; a
# FIFO is written directly.
check SheetStreamed '
mkfifo f; cat f >got & $P l.txt f >/dev/null; wait; cat got
for o in /dev/stdout out.txt; do $P l.txt $o >out.txt; echo $?; cat out.txt; done' \
  "${sheet1}0\n%s\n${sheet1}\nWrote cue file called /dev/stdout
0\n%s\n${sheet1}\nWrote cue file called out.txt\n" "$report1" "$report1"

# Under a file-size limit, over an input, in a directory the user cannot write.
check NothingWritten '
ln -s output.cue link.cue; ln t.wav hard.wav; ln -s l.txt soft; mkdir d; x=$(printf %0250d 0)
y=$(printf %0250d 1); echo old >$x; for c in link.cue $x $y; do fails "(ulimit -f 0; \$P l.txt $c)"; done
for c in /dev/full no/my.cue d l.txt t.wav hard.wav soft; do fails "$P l.txt $c"; done
chmod 666 output.cue; chmod 555 .
[ $(id -u) = 0 ] && U="setpriv --reuid=nobody --regid=nogroup --clear-groups"; fails "$U $P l.txt"' \
  "${report1//%/%%}\nCannot write cue file called %s\n2\nunchanged\n" link.cue "$(printf %0250d 0)" \
  "$(printf %0250d 1)" /dev/full no/my.cue d l.txt t.wav hard.wav soft output.cue

# Nothing is written when the report cannot be printed, and there is nowhere
# to say why. Once the sheet is in place, though, losing the confirmation
# (past a file-size limit here) does not fail the run.
check StandardOutputUnwritable '
mkfifo f; exec 3<>f 4>f 3<&-; for out in ">&4" ">&-" ">/dev/full"; do fails "$P l.txt $out"; done
head -c 938 /dev/zero >out; (ulimit -f 1; $P l.txt >>out); echo $?; wc -c <out; cat output.cue' \
  "2\nunchanged\n2\nunchanged\n2\nunchanged\n0\n1024\n$sheet1"

# Interrupts while the temporary sheet exists: strace delivers each signal
# as the program sets the sheet's permission bits, the last step before the
# rename. Each run ends by its signal and leaves nothing behind.
check Interrupted '
ulimit -c 0; for s in INT TERM HUP QUIT; do
  env --default-signal strace -o /dev/null -e trace=fchmod -e inject=fchmod:signal=$s $P l.txt >/dev/null
  echo $?; done 2>/dev/null; ls -A; cat output.cue' '130\n143\n129\n131\nl.txt\noutput.cue\nt.wav\nold sheet'

# Interrupts at random moments: whenever a signal lands, the sheet is the old
# one or the whole new one, and nothing is left beside it.
check InterruptedAnyTime '
{ echo t.wav; for i in $(seq 127); do printf "S %050000d\n" 0; done; } >big
$P big full.cue >/dev/null; ulimit -c 0
for i in $(seq 20); do env --default-signal $P big >/dev/null & sleep 0.0$((RANDOM % 10))
  kill -$(shuf -n1 -e INT TERM HUP QUIT) $! 2>/dev/null; wait $!; done 2>/dev/null
ls -A; cmp -s output.cue full.cue || [ "$(cat output.cue)" = "old sheet" ] || echo torn' \
  'big\nfull.cue\nl.txt\noutput.cue\nt.wav\n'

((failures == 0)) || { echo "$failures case(s) failed"; exit 1; }

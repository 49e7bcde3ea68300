#!/usr/bin/env bash
# End-to-end runs of the built program.
#
#   driver_test.sh PELLORIN [sanitized]
#
# CASES, a regular expression, picks the cases to run by name.
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
export sanitized=${2:-}
failures=0
# LeakSanitizer cannot work under strace, which some cases run the program in.
[[ -z $sanitized ]] || export ASAN_OPTIONS=detect_leaks=0

source "$(dirname "$(realpath "$0")")/wave_header.sh"
state() { ls -A; find . -type f -exec cksum {} + | sort; }
fails() { local before; before=$(state); eval "$1"; echo $?; [ "$before" = "$(state)" ] && echo unchanged; }
# await CONDITION WHAT: until the command CONDITION succeeds, for at most a
# minute however busy the machine is; then it says what it waited for.
await() {
  local end=$((SECONDS + 60))
  until eval "$1"; do ((SECONDS < end)) || { echo "gave up waiting for $2"; return 1; }; sleep 0.01; done
}
as_nobody() { setpriv --reuid=nobody --regid=nogroup --clear-groups "$@"; }
export -f le wav state fails await as_nobody

# A case that cannot run here for want of a tool or a privilege is skipped,
# except in CI, which must run them all.
skip() {
  echo "skipped $1: $2"
  [[ ${CI:-} != true ]] || failures=$((failures + 1))
}

# check NAME SCRIPT FORMAT [ARGUMENT...]
check() {
  local name=$1 script=$2 dir expected got
  shift 2
  [[ $name =~ ${CASES:-.} ]] || return 0
  case $name in
    OutOfMemory*) [[ -z $sanitized ]] || { echo "skipped $name: sanitizers need more memory"; return; } ;;
    Interrupted | OneLookupPerInput | AccessControlLists)
      command -v strace >/dev/null || { skip "$name" "strace is not installed"; return; } ;;&
    # An ordinary user's run skips these, in CI too.
    OtherUsers | AccessControlLists | KernelsOwnRules)
      [[ $(id -u) == 0 ]] || { echo "skipped $name: only root can act as other users"; return; } ;;&
    AccessControlLists) command -v setfacl >/dev/null || { skip "$name" "acl is not installed"; return; } ;;
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
run; run --help; run x my.cue; run x my.cue x; rm tlist.txt
run other.txt; run other.txt my.cue; run other.txt my.cue x' '%s:FILE "%s\n' \
  output.cue t.wav output.cue t.wav my.cue t.wav output.cue t.wav \
  output.cue o.wav my.cue o.wav output.cue o.wav

# With neither, the help text; status 2 where it cannot be printed.
check HelpWithNothingToRead 'rm l.txt output.cue; $P >/dev/full; echo $?; $P; echo $?; ls' '2
Pellorin 1.0 by Quillbrack
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
# before any wave file is opened. A UTF-16 list ends at its first NUL.
check InputFaults '
mkdir tlist.txt d d.wav; printf "no.wav\nS\n" >a; printf "no.wav\nx\"y.wav" >b
printf "t.wav\nt.wav " >c; echo d.wav >e; printf "\xff\xfet\0.\0w\0a\0v\0" >u
for l in d no.txt a b c e u; do fails "$P $l"; done' '%s\n2\nunchanged\n' \
  'Cannot open track list called d' 'Cannot open track list called no.txt' \
  'Missing time in track list line S' 'Double quote in file name in track list line x"y.wav' \
  'Cannot find file in track list called t.wav ' 'Cannot find file in track list called d.wav' \
  $'Cannot find file in track list called \xff\xfet'

check HeaderCutAtEveryLength '
echo cut.wav >l.txt
for n in $(seq 0 43); do head -c $n t.wav >cut.wav; $P l.txt; echo $?; done | sort | uniq -c
cat output.cue' "     44 2\n     25 Can't find data block in wave file!
     15 Can't find format chunk in wave file!\n      4 Unsupported format in wave file called cut.wav
old sheet"

# An endless first line under an address-space limit.
check OutOfMemory 'tr "\0" a </dev/zero | (ulimit -v 200000; fails "$P /dev/stdin")' \
  'Out of memory\n2\nunchanged\n'

# Address-space limits from too little to start the program at all (the kernel
# or the C library fail before it runs) up to enough for the whole run.
check OutOfMemoryAtStartUp '
ulimit -c 0; ran=$($P l.txt); printf "old sheet" >output.cue
for kb in $(seq 512 8 2560); do
  before=$(state); out=$(ulimit -v $kb; exec $P l.txt 2>&1); status=$?
  case $status:$out in
    "127:Fatal glibc error: Cannot allocate TLS block" | 139:) outcome="not started" ;;
    "2:Out of memory") outcome="Out of memory" ;;
    "0:$ran") outcome=ran ;;
    *) outcome="status $status: $out" ;;
  esac
  [ $status = 0 ] || [ "$before" = "$(state)" ] || outcome="$outcome, and files changed"
  echo "$outcome"
done 2>/dev/null | uniq' 'not started\nOut of memory\nran\n'

# A 250-byte sheet name works, as the temporary file's name is short. Time
# texts are copied as they stand, quotes included.
check NoSizeLimits '
w=$(printf %0240d 0).wav; cp t.wav $w; printf "$w\nS-\"%0300d" 0 >long
$P long $(printf %0250d 0) >/dev/null; cat 000*0' \
  'FILE "%s.wav" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n  TRACK 02 AUDIO\n    INDEX 01 "%s\n' \
  "$(printf %0240d 0)" "$(printf %0300d 0)"

# Links stay links, as many as the kernel follows; permission bits are kept,
# and nothing stray is left. Any path the kernel takes will do.
check SheetReplaced '
chmod 640 output.cue; mkdir c; ln -s ../output.cue c/1; for i in $(seq 2 40); do ln -s $((i - 1)) c/$i; done
ln -s new.cue dangling.cue; $P l.txt c/40 >/dev/null; (umask 002; $P l.txt dangling.cue >/dev/null)
stat -c %a output.cue new.cue; find . -type l | wc -l; ls -A; cat output.cue new.cue
d=$(printf "%0250d/" $(seq 16)); mkdir -p $d; $P l.txt $d$(printf %064d 0).cue | tail -1 | wc -c
cat $d*.cue' "640\n664\n41\nc\ndangling.cue\nl.txt\nnew.cue\noutput.cue\nt.wav\n$sheet1$sheet1%s\n$sheet1" \
  $((23 + 16 * 251 + 68))

# Standard output gets the sheet between the report and the confirmation; a
# FIFO is written directly.
check SheetStreamed '
mkfifo f; cat f >got & $P l.txt f >/dev/null; wait; cat got
for o in /dev/stdout out.txt; do $P l.txt $o >out.txt; echo $?; cat out.txt; done' \
  "${sheet1}0\n%s\n${sheet1}\nWrote cue file called /dev/stdout
0\n%s\n${sheet1}\nWrote cue file called out.txt\n" "$report1" "$report1"

# Under a file-size limit, over an input (also as /proc names it), past the
# links the kernel follows, in a directory the user cannot write.
check NothingWritten '
ln -s output.cue link.cue; ln t.wav hard.wav; ln -s l.txt soft; mkdir d; x=$(printf %0250d 0)
y=$(printf %0250d 1); echo old >$x; for c in link.cue $x $y; do fails "(ulimit -f 0; \$P l.txt $c)"; done
ln -s output.cue 1; for i in $(seq 2 41); do ln -s $((i - 1)) $i; done; ln -s no gone
for c in /dev/full gone/my.cue d l.txt t.wav hard.wav soft 41; do fails "$P l.txt $c"; done
fails "$P l.txt /proc/self/fd/3 3<l.txt"; exec 5>>gone.cue; rm gone.cue; fails "$P l.txt /proc/self/fd/5"
chmod 666 output.cue; chmod 555 .
[ $(id -u) = 0 ] && U=as_nobody; fails "$U $P l.txt"' \
  "${report1//%/%%}\nCannot write cue file called %s\n2\nunchanged\n" link.cue "$(printf %0250d 0)" \
  "$(printf %0250d 1)" /dev/full gone/my.cue d l.txt t.wav hard.wav soft 41 /proc/self/fd/3 \
  /proc/self/fd/5 output.cue

# A link swapped under running programs, between a wave file and a sheet or a
# device, never leads one to write over the wave file, nor leaves anything.
check LinkRace '
cp t.wav t.orig; cp l.txt l.orig; runs=$([ -n "$sanitized" ] && echo 300 || echo 1500)
for end in /dev/null real.cue; do
  perl -e "while (1) { symlink q(t.wav), q(a); rename q(a), q(link.cue); symlink q($end), q(b); rename q(b), q(link.cue) }" &
  for i in $(seq $runs); do $P l.txt link.cue >/dev/null; done; kill $!; wait $!
done 2>/dev/null
cmp t.wav t.orig && cmp l.txt l.orig && echo inputs unchanged; ls -A | grep pellorin' 'inputs unchanged\n'

# A sheet of another user keeps its owner, group and mode, but for set-ID
# bits where root cannot give them back, and for what a group that cannot be
# kept would gain.
check OtherUsers '
chown nobody:nogroup output.cue; chmod 6640 output.cue; $P l.txt >/dev/null; stat -c "%U:%G %a" output.cue
chown root:nogroup output.cue; chmod 6664 output.cue; as_nobody $P l.txt >/dev/null; stat -c "%U:%G %a" output.cue
chown nobody:audio output.cue; chmod 640 output.cue; as_nobody $P l.txt >/dev/null; stat -c "%U:%G %a" output.cue' \
  'nobody:nogroup 6640\nnobody:nogroup 664\nnobody:nogroup 600\n'

# The kernel'"'"'s rules, kept where the kernel is not asked to keep them:
# another user'"'"'s link in a sticky directory is not followed, with
# fs.protected_symlinks off, in a directory part of the name or on the way to
# a FIFO; a file of a file system unmounted meanwhile is not found again by
# its old name elsewhere. An append-only directory gets a new sheet, and
# nothing stray when one cannot be replaced. Without /proc, a sheet that may
# only be written is replaced.
check KernelsOwnRules '
protected=$(sysctl -n fs.protected_symlinks); sysctl -qw fs.protected_symlinks=0
mkdir -m 1777 shared; mkdir victim; echo victim >victim/output.cue; mkfifo fifo; chown -R daemon victim fifo
as_nobody ln -s ../victim shared/evil; as_nobody ln -s ../fifo shared/f1; ln -s f1 shared/f2
for c in shared/evil/output.cue shared/f2; do fails "timeout 60 $P l.txt $c"; done
sysctl -qw fs.protected_symlinks=$protected
[ -e /output.cue ] || unshare -m sh -c "mkdir m && mount -t tmpfs t m && exec 5>m/output.cue &&
  umount -l m && rmdir m && exec $P l.txt /proc/self/fd/5" | tail -1; ls /output.cue
mkdir a; chattr +a a; for i in 1 2; do $P l.txt a/new.cue | tail -1; done; ls -A a; chattr -a a
chmod 200 output.cue; [ -n "$sanitized" ] && $P l.txt | tail -1 ||  # ASan needs /proc
  unshare -m sh -c "umount -l /proc && exec $P l.txt" | tail -1; stat -c %a output.cue' \
  "%s\nCannot write cue file called %s\n2\nunchanged\n%s\nCannot write cue file called %s\n2\nunchanged
Cannot write cue file called /proc/self/fd/5\nls: cannot access '/output.cue': No such file or directory
Wrote cue file called a/new.cue\nCannot write cue file called a/new.cue\nnew.cue
Wrote cue file called output.cue\n200\n" "$report1" shared/evil/output.cue "$report1" shared/f2

# An access ACL is kept exactly, with the mode, by root and by the sheet's
# owner, also without /proc; an ACL that cannot be given fails the run. A
# sheet without one gets none from the directory's default ACL, and a new
# sheet gets what touch gives, under a default ACL or a umask.
check AccessControlLists '
acl() { getfacl -cp "$1"; stat -c %a "$1"; }
kept() { local before; before=$(acl output.cue); "$@" >/dev/null; [ "$(acl output.cue)" = "$before" ] && echo kept; }
setfacl -m u:nobody:rw,g::r output.cue; kept $P l.txt; chown nobody output.cue; kept as_nobody $P l.txt
[ -n "$sanitized" ] && echo kept || kept unshare -m sh -c "umount -l /proc && exec $P l.txt"  # ASan needs /proc
fails "strace -o /dev/null -e inject=fsetxattr:error=EPERM $P l.txt"
mkdir d; setfacl -d -m u:nobody:rw d; touch d/old.cue; setfacl -b d/old.cue; $P l.txt d/old.cue >/dev/null; acl d/old.cue
(umask 027; $P l.txt d/new.cue; $P l.txt new.cue; touch d/touched touched) >/dev/null
[ "$(acl d/new.cue)" = "$(acl d/touched)" ] && [ "$(acl new.cue)" = "$(acl touched)" ] && echo as touch' \
  "kept\nkept\nkept\n%s\nCannot write cue file called output.cue\n2\nunchanged
user::rw-\ngroup::r--\nother::r--\n\n644\nas touch\n" "$report1"

# A terminal may be list and sheet at once, and a typed list ends at the first
# end-of-file, here while what types it stays open.
check TerminalAsListAndSheet '
exec 3< <(printf "t.wav\n\004"; exec sleep infinity)
timeout 60 script -qec "$P /dev/stdin /dev/stdout" /dev/null <&3 | tr -d "\r"
[ ${PIPESTATUS[0]} = 124 ] && echo "gave up waiting for the run to end"; kill $!' \
  "t.wav\n%s\n${sheet1}\nWrote cue file called /dev/stdout\n" "$report1"

# Nothing is written when the report cannot be printed, and there is nowhere
# to say why. Once the sheet is in place, though, losing the confirmation
# (past a file-size limit here) does not fail the run.
check StandardOutputUnwritable '
mkfifo f; exec 3<>f 4>f 3<&-; for out in ">&4" ">&-" ">/dev/full"; do fails "$P l.txt $out"; done
head -c 938 /dev/zero >out; (ulimit -f 1; $P l.txt >>out); echo $?; wc -c <out; cat output.cue' \
  "2\nunchanged\n2\nunchanged\n2\nunchanged\n0\n1024\n$sheet1"

# Signals while the temporary sheet exists: strace delivers each one as the
# program has linked it under its hidden name, the last step before the
# rename.
# Every signal that would end the run ends it and leaves the old sheet alone,
# but SIGPIPE and SIGXFSZ, which are ignored so that writes fail instead, and
# the two the C library keeps to itself, which wait until the sheet is in
# place. Nothing is left beside it, also when its directory is renamed.
check Interrupted '
ulimit -c 0; $P l.txt new.cue >/dev/null
traced() { env --default-signal strace -o /dev/null -e trace=linkat -e inject=linkat:signal=$1 "${@:2}"; }
for s in $(seq 64); do
  case $s in 9 | 17 | 18 | 19 | 20 | 21 | 22 | 23 | 28) continue ;; esac  # not ending the run, or uncatchable
  case $s in 13 | 25) want="0 new" ;; 32 | 33) want="$((128 + s)) new" ;; *) want="$((128 + s)) old" ;; esac
  printf "old sheet" >output.cue; traced $s $P l.txt >/dev/null; got="$? old"
  cmp -s output.cue new.cue && got="${got% old} new"; [ "$got" = "$want" ] || echo "signal $s: $got, not $want"
done 2>/dev/null; ls -A
mkdir d; mv output.cue d; traced STOP $P l.txt d/output.cue &>/dev/null & tracer=$!
await "compgen -G d/.pellorin-\* >/dev/null" "the temporary sheet"; program=$(pgrep -xf "$P l.txt d/output.cue")
mv d e; kill -TERM $program; await "kill -CONT $program; ! kill -0 $program" "the run to end" 2>/dev/null
wait $tracer; echo $?; ls -A e' \
  'l.txt\nnew.cue\noutput.cue\nt.wav\n143\noutput.cue\n'

# Each input is looked up by name once; the sheet once, and renamed onto once.
check OneLookupPerInput '
cp t.wav u.wav; printf "t.wav\nu.wav\n" >l.txt; strace -o trace -e trace=%file $P l.txt >/dev/null
for name in l.txt t.wav u.wav output.cue; do echo $name $(grep -v ^execve trace | grep -c "\"$name\""); done' \
  'l.txt 1\nt.wav 1\nu.wav 1\noutput.cue 2\n'

((failures == 0)) || { echo "$failures case(s) failed"; exit 1; }

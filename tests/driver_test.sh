#!/usr/bin/env bash
# End-to-end runs of the built program, one scenario a function.
#
#   driver_test.sh SCENARIO PELLORIN
#
# Every scenario starts in a directory that holds t.wav (one second of CD
# audio, silent), l.txt (naming t.wav) and an old output.cue. $J is
# pellorin-join, beside pellorin. A trailing comment on a scenario's first
# line gives its ctest labels.
source "$(dirname "$(realpath "$0")")/lib.sh"

setup() {
  export J && J=$(dirname "$P")/pellorin-join
  { wav 44100 44100 && head -c 176400 /dev/zero; } >t.wav && echo t.wav >l.txt && echo 'old sheet' >output.cue
}

# Whether process $1 has ended.
gone() { ! kill -0 "$1" 2>/dev/null; }

# Ignored lines and pregaps, a byte order mark, CR LF and blank lines leave
# the sheet exactly as the bare list gives it.
WorkedExample() {
  wav 44100 10000000 >intro.wav && wav 44100 8165556 >long.wav && wav 48000 2928000 >last.wav
  printf '\xEF\xBB\xBFintro.wav\r\nP 00:02:00\r\nP 00:09:00\r\nlong.wav\r\n\r\nS 01:10:00\r\n' >tlist.txt
  printf 'S 02:31:50\r\nP 00:01:00\r\nlast.wav\r\nmastered 2026\r\nP 1\r\n' >>tlist.txt
  "$P"; echo $?
  cat output.cue
  expect <<'EOF'

File Lengths 			min:sec:frames

1	intro.wav		3:46:56
2	long.wav		3:5:11
3	last.wav		1:1:0

Total Time:  7 min : 52 sec

Wrote cue file called output.cue
0
FILE "intro.wav" WAVE
  TRACK 01 AUDIO
    PREGAP 00:02:00
    INDEX 01 00:00:00
FILE "long.wav" WAVE
  TRACK 02 AUDIO
    INDEX 01 00:00:00
  TRACK 03 AUDIO
    INDEX 01 01:10:00
  TRACK 04 AUDIO
    PREGAP 00:01:00
    INDEX 01 02:31:50
FILE "last.wav" WAVE
  TRACK 05 AUDIO
    INDEX 01 00:00:00
EOF
}

# tlist.txt wins over the first argument; only a second one names the sheet.
# With neither, the help text, and no sheet; status 2 where it cannot be
# printed.
FileChoice() {
  written() { rm -f ./*.cue && "$P" "$@" >/dev/null && grep -Ho '^FILE ".\.wav' ./*.cue; }
  cp t.wav o.wav && echo o.wav >other.txt && mv l.txt tlist.txt
  written && written --help && written x my.cue && rm tlist.txt
  written other.txt && written other.txt my.cue && written other.txt my.cue x
  rm ./*.cue && "$P" >/dev/full; echo $?
  "$P"; echo $?
  compgen -G '*.cue'
  expect <<'EOF'
./output.cue:FILE "t.wav
./output.cue:FILE "t.wav
./my.cue:FILE "t.wav
./output.cue:FILE "o.wav
./my.cue:FILE "o.wav
./output.cue:FILE "o.wav
2
Pellorin 1.0 by Quillbrack
Enter your .wav file names in a track called tlist.txt
Or, use a different list filename by entering it as
the first command line argument.
Optionally, add the name for the output .cue file as
the second command line argument.
To split a file into separate tracks, start a line with S
followed by the start time.
To add a pregap, start a line with P followed by the length
1
EOF
}

# Endless streams: reading stops at a NUL byte or behind line 128.
ListEndsAtNulOr128Lines() {
  "$P" /dev/zero | tail -2; wc -c <output.cue
  { echo t.wav; head -c 10485760 /dev/zero | tr '\0' a; printf '\nS 1\n'; yes t.wav; } |
    "$P" /dev/stdin | grep Total
  grep -c FILE output.cue; grep -E 'TRACK (09|10|100) ' output.cue
  expect <<'EOF'

Wrote cue file called output.cue
0
Total Time:  2 min : 6 sec
126
  TRACK 09 AUDIO
  TRACK 10 AUDIO
  TRACK 100 AUDIO
EOF
}

# A tlist.txt that is a directory counts as absent. The list is checked
# before any wave file is opened. The first line names a file, whatever it
# says. A header cut short lacks a chunk.
InputFaults() {
  mkdir tlist.txt d d.wav && head -c 30 t.wav >cut.wav && echo d.wav >e && echo cut.wav >f
  printf 'no.wav\nS\n' >a && printf 't.wav\nt.wav ' >c && printf '# My album\nt.wav\n' >g
  for list in d no.txt a c e f g; do fails "$P" "$list"; done
  expect <<'EOF'
2 unchanged: Cannot open track list called d
2 unchanged: Cannot open track list called no.txt
2 unchanged: Missing time in track list line S
2 unchanged: Cannot find file in track list called t.wav 
2 unchanged: Cannot find file in track list called d.wav
2 unchanged: Can't find data block in wave file!
2 unchanged: Cannot find file in track list called # My album
EOF
}

# Under any address-space limit a run cannot start (the kernel, the loader
# or the C library fail before it runs), says "Out of memory", or succeeds;
# an endless first line runs out of memory under any.
OutOfMemory() {
  unsanitized "run in little memory"
  local kb
  ulimit -c 0
  tr '\0' a </dev/zero | (ulimit -v 100000 && fails "$P" /dev/stdin)
  "$P" l.txt >/dev/null
  for kb in $(seq 512 32 6144); do (ulimit -v "$kb" && fails "$P" l.txt) 2>/dev/null; done |
    sed -E 's/^(127|139) unchanged: .*/not started/' | uniq
  expect <<'EOF'
2 unchanged: Out of memory
not started
2 unchanged: Out of memory
0 unchanged: Wrote cue file called output.cue
EOF
}

# Links stay links, as many as the kernel follows; permission bits are kept,
# and nothing stray is left. Any path the kernel takes will do.
SheetReplaced() {
  local i deep out
  chmod 640 output.cue && mkdir c && ln -s ../output.cue c/1 && ln -s new.cue dangling.cue
  for i in $(seq 2 40); do ln -s $((i - 1)) "c/$i"; done
  "$P" l.txt c/40 >/dev/null && (umask 002 && "$P" l.txt dangling.cue >/dev/null)
  stat -c '%n %a' output.cue new.cue && find . -type l | wc -l && ls -A | paste -sd ' '
  deep=$(printf '%0250d/' $(seq 16)) && mkdir -p "$deep"
  out=$("$P" l.txt "$deep$(printf %064d 0).cue" | tail -1)
  echo "${out/"$deep"/<16 directories of 250 bytes>/}" | sed -E 's/0{64}/{64 zeros}/'
  cat output.cue new.cue "$deep"*.cue | grep -c '^FILE "t.wav" WAVE$'
  expect <<'EOF'
output.cue 640
new.cue 664
41
c dangling.cue l.txt new.cue output.cue t.wav
Wrote cue file called <16 directories of 250 bytes>/{64 zeros}.cue
3
EOF
}

# A FIFO is written directly. The file standard output is gets the sheet
# through it, between the report and the confirmation, and so does a pipe
# that /dev/stdout leads to; /dev/stderr, closed, is /dev/null. Nothing is
# written when the report cannot be printed, and there is nowhere to say why.
# Once the sheet is in place, though, losing the confirmation (past a
# file-size limit here) does not fail the run. A terminal may be list and
# sheet at once, and a typed list ends at the first end-of-file, here while
# what types it stays open.
StandardOutput() {
  needs script
  local out
  mkfifo f && { cat f >got & } && "$P" l.txt f >/dev/null && wait && grep -c '^FILE "t.wav"' got
  "$P" l.txt out.txt >out.txt; echo $?; tail -6 out.txt
  "$P" l.txt /dev/stdout | tail -3
  "$P" l.txt /dev/stderr 2>&- | tail -1
  for out in '>&-' '>/dev/full'; do fails eval "\"\$P\" l.txt $out"; done
  head -c 938 /dev/zero >out
  (ulimit -f 1 && "$P" l.txt >>out)
  echo "status $?, $(wc -c <out) bytes" && head -1 output.cue
  mkfifo typed
  { printf 't.wav\n\004' && exec sleep infinity; } >typed &
  timeout 60 script -qec "'$P' /dev/stdin /dev/stdout" /dev/null <typed | tr -d '\r' | tail -4
  [[ ${PIPESTATUS[0]} != 124 ]] || echo "gave up waiting for the run to end"
  expect <<'EOF'
1
0
Total Time:  0 min : 1 sec
FILE "t.wav" WAVE
  TRACK 01 AUDIO
    INDEX 01 00:00:00

Wrote cue file called out.txt
    INDEX 01 00:00:00

Wrote cue file called /dev/stdout
Wrote cue file called /dev/stderr
2 unchanged: 
2 unchanged: 
status 0, 1024 bytes
FILE "t.wav" WAVE
  TRACK 01 AUDIO
    INDEX 01 00:00:00

Wrote cue file called /dev/stdout
EOF
}

# Under a file-size limit, on a full device, in a directory that is not there,
# on a directory or a socket, over an input (also as /proc names it), past
# the links the kernel follows, in a directory the user cannot write.
NothingWritten() {
  local sheet i
  ln -s output.cue link.cue && ln t.wav hard.wav && ln -s l.txt soft && mkdir d
  perl -MIO::Socket::UNIX -e 'IO::Socket::UNIX->new(Local => "socket", Listen => 1) or die'
  fails sh -c 'ulimit -f 0 && exec "$P" l.txt link.cue'
  ln -s output.cue 1
  for i in $(seq 2 41); do ln -s $((i - 1)) "$i"; done
  ln -s no gone
  for sheet in /dev/full gone/my.cue d output.cue/. socket l.txt hard.wav soft 41; do
    fails "$P" l.txt "$sheet"
  done
  fails "$P" l.txt /proc/self/fd/7 7<l.txt
  echo other >'old.cue (deleted)' && echo old >old.cue && exec 7<>old.cue && rm old.cue
  fails "$P" l.txt /proc/self/fd/7
  chmod 666 output.cue && chmod 555 .
  if [[ $(id -u) == 0 ]]; then fails as_nobody "$P" l.txt; else fails "$P" l.txt; fi
  expect <<'EOF'
2 unchanged: Cannot write cue file called link.cue: File too large
2 unchanged: Cannot write cue file called /dev/full: No space left on device
2 unchanged: Cannot write cue file called gone/my.cue: No such file or directory
2 unchanged: Cannot write cue file called d: it is a directory
2 unchanged: Cannot write cue file called output.cue/.: Not a directory
2 unchanged: Cannot write cue file called socket: it is a socket
2 unchanged: Cannot write cue file called l.txt: it is a file this run reads
2 unchanged: Cannot write cue file called hard.wav: it is a file this run reads
2 unchanged: Cannot write cue file called soft: it is a file this run reads
2 unchanged: Cannot write cue file called 41: Too many levels of symbolic links
2 unchanged: Cannot write cue file called /proc/self/fd/7: it is a file this run reads
2 unchanged: Cannot write cue file called /proc/self/fd/7: its link leads elsewhere than the kernel's lookup of it
2 unchanged: Cannot write cue file called output.cue: Permission denied
EOF
}

# A full disk leaves the old sheet, and nothing beside it, and no joined
# album either. A file of a file
# system unmounted meanwhile is not found again by its old name, which leads
# elsewhere now: the program runs in a root of its own, where a build that
# followed that name would write root/output.cue.
FullOrUnmountedFileSystem() { # root mount
  needs_root "mount file systems"
  unsanitized "run in a root of their own"
  mkdir -p full root/proc root/m && cp "$P" l.txt t.wav root/
  ldd "$P" | grep -o '/[^ ]*' | xargs -r cp -L --parents -t root # a dynamic build's libraries
  unshare -m sh -c 'mount -t tmpfs -o size=4k tmpfs full && echo old >full/output.cue &&
    { cat /dev/zero >full/fill; } 2>/dev/null; "$P" l.txt full/output.cue | tail -1
    mount -t tmpfs -o size=100k tmpfs root/m && "$J" l.txt root/m/album && ls -A root/m && umount root/m
    cat full/output.cue; ls -A full; mount -t proc proc root/proc && mount -t tmpfs tmpfs root/m &&
    exec 7>>root/m/output.cue && umount -l root/m && chroot root /pellorin l.txt /proc/self/fd/7 | tail -1'
  ls root/output.cue
  expect <<'EOF'
Cannot write cue file called full/output.cue: No space left on device
Cannot make directory called root/m/album: No space left on device
old
fill
output.cue
Cannot write cue file called /proc/self/fd/7: its link leads elsewhere than the kernel's lookup of it
ls: cannot access 'root/output.cue': No such file or directory
EOF
}

# A sheet of another user keeps its owner, group, mode and ACL, replaced by
# root or by that user, but for set-ID bits where root cannot give them back,
# and for what a group that cannot be kept would gain. A block device that
# root names as the sheet is not written.
OtherUsers() { # root
  needs_root "act as other users"
  needs setfacl
  setfacl -m u:nobody:rw,g::r output.cue
  kept "$P" l.txt
  chown nobody output.cue && kept as_nobody "$P" l.txt
  setfacl -b output.cue && chown nobody:nogroup output.cue && chmod 6640 output.cue
  "$P" l.txt >/dev/null && stat -c '%U:%G %a' output.cue
  chown root:nogroup output.cue && chmod 6664 output.cue
  as_nobody "$P" l.txt >/dev/null && stat -c '%U:%G %a' output.cue
  chown nobody:audio output.cue && chmod 640 output.cue
  as_nobody "$P" l.txt >/dev/null && stat -c '%U:%G %a' output.cue
  # No device has this number: a build that wrote to it would say so.
  mknod block b 240 0 && fails "$P" l.txt block
  expect <<'EOF'
kept
kept
nobody:nogroup 6640
nobody:nogroup 664
nobody:nogroup 600
2 unchanged: Cannot write cue file called block: it is a block device
EOF
}

# Links are followed as the kernel follows them where fs.protected_symlinks
# is set, as Debian sets it, and the machine's own setting is shown the
# program as set, in a mount namespace of its own: not another user's link in
# a sticky directory that anyone may write to, whether it leads to a file or
# to nothing; but the runner's own link there, or one of the directory's
# owner, or another user's in a directory that is not sticky.
StickyDirectoryLinks() { # root mount
  needs_root "act as other users"
  local sheet
  protected() { unshare -m sh -c 'mount --bind on /proc/sys/fs/protected_symlinks && exec "$@"' sh "$@"; }
  echo 1 >on && mkdir -m 1777 shared own && mkdir victim && echo victim >victim/output.cue
  chown daemon victim victim/output.cue && chown nobody own && ln -s ../victim/output.cue own/mine.cue
  as_nobody sh -c 'for link in shared/old.cue own/old.cue; do ln -s ../victim/output.cue $link; done
    ln -s ../victim/new.cue shared/new.cue && ln -s victim/output.cue plain.cue'
  for sheet in shared/old.cue shared/new.cue own/mine.cue own/old.cue plain.cue; do
    echo victim >victim/output.cue && fails protected "$P" l.txt "$sheet"
  done
  expect <<'EOF'
2 unchanged: Cannot write cue file called shared/old.cue: Permission denied
2 unchanged: Cannot write cue file called shared/new.cue: Permission denied
0: Wrote cue file called own/mine.cue
0: Wrote cue file called own/old.cue
0: Wrote cue file called plain.cue
EOF
}

# An append-only directory gets a new sheet, and nothing stray where one
# cannot be replaced, also where the runner may not read the directory; one
# the runner may not write says so.
AppendOnlyDirectory() { # root
  needs_root "make a directory append-only"
  needs chattr
  mkdir -m 333 a && chattr +a a || skip_here "this file system has no append-only directories"
  "$P" l.txt a/new.cue | tail -1
  "$P" l.txt a/new.cue | tail -1
  as_nobody "$P" l.txt a/new.cue | tail -1
  mkdir b && chattr +a b && as_nobody "$P" l.txt b/new.cue | tail -1
  find a b -mindepth 1 && chattr -a a b
  expect <<'EOF'
Wrote cue file called a/new.cue
Cannot write cue file called a/new.cue: the directory only lets files be added
Cannot write cue file called a/new.cue: the directory only lets files be added
Cannot write cue file called b/new.cue: Permission denied
a/new.cue
EOF
}

acl() { getfacl -cp "$1" && stat -c %a "$1"; }
# kept COMMAND...: whether the command replaced the sheet and left the old
# sheet's ACL and mode.
kept() {
  local before
  before=$(acl output.cue)
  "$@" >/dev/null
  [[ $(acl output.cue) == "$before" ]] && grep -q '^FILE' output.cue && echo kept
}
# held N CHANGE SHEET STRACE-OPTIONS...: runs the program on SHEET under
# strace, whose options hold the Nth system call they trace until the shell
# command CHANGE has run, and prints the run's last line.
held() {
  local tracer program
  rm -f trace
  strace -o trace "${@:4}" "$P" l.txt "$3" >out 2>/dev/null &
  tracer=$!
  await awk -v n="$1" 'END { exit !(NR >= n && !/ = /) }' trace 2>/dev/null
  program=$(pgrep -xf "$P l.txt $3")
  eval "$2"
  # Once the tracer ends, the held call goes on.
  kill -KILL "$tracer" && { wait "$tracer"; } 2>/dev/null
  await gone "$program"
  tail -1 out
}

# A name changed while the run is held just before it uses the name again: a
# FIFO swapped for a hard link of the wave file is not written; a link
# removed as the kernel looks the name up leaves the file it led to alone;
# and where an unnamed file cannot be linked (no /proc), a new sheet is not
# renamed over a file that appeared meanwhile, whichever rename is used, and
# a replacing file is its maker's alone until it has the old sheet's access.
# Nor is a joined album put in place of a directory made meanwhile.
NameChangedMeanwhile() { # strace
  needs strace
  unsanitized "run under strace"
  local hold=delay_enter=60000000
  mkfifo f && mkdir v && echo important >v/file && ln -s v/file planted.cue && cp t.wav t.orig
  held 2 'rm f && ln t.wav f' f -P f -e trace=openat -e inject=openat:$hold:when=2
  held 2 'rm planted.cue' planted.cue -P planted.cue -e trace=openat -e inject=openat:$hold:when=2
  held 2 'echo mine >new.cue' new.cue -e trace=faccessat2,renameat,renameat2 \
    -e inject=faccessat2:error=ENOENT -e inject=renameat,renameat2:$hold
  held 2 'stat -c %a .pellorin-*' output.cue -e trace=faccessat2,fchown \
    -e inject=faccessat2:error=ENOENT -e inject=fchown:$hold
  P=$J held 1 'mkdir album' album -e trace=renameat,renameat2 -e inject=renameat,renameat2:$hold
  cmp t.wav t.orig && cat v/* new.cue && ls -A album && compgen -G '.pellorin-*'
  expect <<'EOF'
Cannot write cue file called f: it changed while it was being replaced
Cannot write cue file called planted.cue: its link leads elsewhere than the kernel's lookup of it
Cannot write cue file called new.cue: File exists
600
Wrote cue file called output.cue
Cannot make directory called album: File exists
important
mine
EOF
}

# The system's failures are never read as "nothing there" or "nothing to
# do": a lookup's error, an append-only state that cannot be known (the
# reason where no unnamed file can be made either), an ACL that cannot be
# written for want of space, a new sheet whose closing fails. An ACL
# refused, as by a file system that keeps none, fails the run where the sheet
# would give more without it. Where the old sheet's ACL cannot be read, the
# new sheet lets only its owner in. Where the file system can neither
# rename without replacing nor link (rclone mounts), a new sheet is renamed
# into place.
InjectedFaults() { # strace
  needs strace setfacl
  unsanitized "run under strace"
  local close
  quietly() { strace -o /dev/null "$@"; }
  setfacl -m u:nobody:rw,g::-,o::- output.cue
  fails quietly -P output.cue -e trace=openat -e inject=openat:error=EIO:when=1 "$P" l.txt
  fails quietly -e trace=statx,faccessat2 -e inject=statx:error=ENOSYS \
    -e inject=faccessat2:error=ENOENT "$P" l.txt new.cue
  # From the first close after the new sheet is made on, past a dynamic build's loader.
  strace -o trace -e trace=openat,close "$P" l.txt new.cue >/dev/null && rm new.cue
  close=$(awk '/O_TMPFILE/ { print closes + 1 } /^close/ { closes++ }' trace) && rm trace
  fails quietly -e trace=close -e inject=close:error=EIO:when="$close+" "$P" l.txt new.cue
  fails quietly -e trace=fsetxattr -e inject=fsetxattr:error=ENOSPC "$P" l.txt
  fails quietly -e trace=fsetxattr -e inject=fsetxattr:error=EPERM "$P" l.txt
  quietly -e trace=getxattr -e inject=getxattr:error=EIO:when=1 "$P" l.txt | tail -1
  getfacl -cps output.cue && stat -c %a output.cue
  quietly -e trace=faccessat2,renameat2,linkat -e inject=faccessat2:error=ENOENT \
    -e inject=renameat2:error=EINVAL -e inject=linkat:error=EIO "$P" l.txt new.cue | tail -1
  compgen -G '.pellorin-*'
  expect <<'EOF'
2 unchanged: Cannot write cue file called output.cue: Input/output error
2 unchanged: Cannot write cue file called new.cue: Function not implemented
2 unchanged: Cannot write cue file called new.cue: Input/output error
2 unchanged: Cannot write cue file called output.cue: No space left on device
2 unchanged: Cannot write cue file called output.cue: the new sheet would give others more access than the old one
Wrote cue file called output.cue
600
Wrote cue file called new.cue
EOF
}


# traced SIGNAL CALL COMMAND...: strace delivers SIGNAL as COMMAND enters the
# system call CALL. Every signal's action is reset first, by the system call
# itself: make and ninja start their children with the C library's two
# real-time signals ignored, which its own calls cannot reset.
traced() {
  perl -e 'require "syscall.ph"; my $default = "\0" x 32;
    syscall(SYS_rt_sigaction(), $_, $default, 0, 8) for 1 .. 64;
    exec { $ARGV[0] } @ARGV' strace -o /dev/null -e trace="$2" -e inject="$2:signal=$1" "${@:3}"
}

# Every signal that would end the run ends it and leaves the old sheet alone,
# but SIGPIPE and SIGXFSZ, which are ignored so that writes fail instead, and
# the two the C library keeps to itself, which wait until the sheet is in
# place; here they come as the program has linked the new sheet under its
# hidden name, the last step before the rename. A join interrupted as it
# copies leaves nothing, and on a terminal no progress line; one interrupted
# as its directory is put in place leaves all of it. Nothing is left beside
# them.
Interrupted() { # strace
  needs strace script
  unsanitized "run under strace"
  local signal status sheet call
  ulimit -c 0
  "$P" l.txt new.cue >/dev/null
  for signal in $(seq 64); do
    case $signal in 9 | 17 | 18 | 19 | 20 | 21 | 22 | 23 | 28) continue ;; esac # cannot end it
    echo 'old sheet' >output.cue
    traced "$signal" linkat "$P" l.txt >/dev/null 2>&1
    status=$?
    sheet=old && cmp -s output.cue new.cue && sheet=new
    if ((status == 128 + signal)); then status="ended by it"; else status="status $status"; fi
    echo "$status, $sheet sheet: $signal"
  done | awk -F': ' '{ by[$1] = by[$1] " " $2 } END { for (o in by) print o ":" by[o] }' | sort
  for call in copy_file_range renameat2; do
    traced TERM "$call" "$J" l.txt album >/dev/null 2>&1
    echo "joined, $call: status $?"
  done
  printf 't.wav\nt.wav\n' >twice.txt
  # script(1) runs this through the runner's $SHELL; exec, so that no shell
  # (dash would) adds its own "Terminated" line.
  script -qec "exec strace -o /dev/null -e inject=copy_file_range:signal=TERM:when=2 '$J' twice.txt x" /dev/null | cat -v && echo
  ls -A album && compgen -G '.pellorin-*'
  expect <<'EOF'
ended by it, new sheet: 32 33
ended by it, old sheet: 1 2 3 4 5 6 7 8 10 11 12 14 15 16 24 26 27 29 30 31 34 35 36 37 38 39 40 41 42 43 44 45 46 47 48 49 50 51 52 53 54 55 56 57 58 59 60 61 62 63 64
status 0, new sheet: 13 25
joined, copy_file_range: status 143
joined, renameat2: status 143
^MJoining t.wav (1 of 2): 50%^[[K^M^[[K
joined.wav
tlist.txt
EOF
}

# Each input is looked up by name once; the sheet once, and renamed onto once.
OneLookupPerInput() { # strace
  needs strace
  unsanitized "run under strace"
  strace -o trace -e trace=%file "$P" l.txt >/dev/null
  grep -v ^execve trace | grep -Eo '"[a-z]+\.[a-z]+"' | sort | uniq -c
  expect <<'EOF'
      1 "l.txt"
      2 "output.cue"
      1 "t.wav"
      1 "tlist.txt"
EOF
}

# The new directory holds the listed files' samples behind a header of CD
# audio (its list is the joined list's tests' and interop's to check). On a
# terminal the run says how far it is, on one line it rewrites; elsewhere
# nothing of it.
Joined() {
  needs script
  { wav 44100 44100 && yes u | head -c 176400; } >u.wav && printf 't.wav\nP 00:02:00\nu.wav\nS 00:00:30\n' >l.txt
  "$J" l.txt album; echo $?
  cmp album/joined.wav <(wav 44100 88200 && tail -c +45 t.wav && tail -c +45 u.wav) && echo "samples joined"
  script -qec "'$J' l.txt album2" /dev/null | cat -v
  expect <<'EOF'
Wrote joined.wav and tlist.txt in album
0
samples joined
^MJoining t.wav (1 of 2): 50%^[[K^MJoining u.wav (2 of 2): 100%^[[K^M^[[KWrote joined.wav and tlist.txt in album2^M
EOF
}

# Nothing is made where the list, a file or the directory's name is at fault,
# and the message names the line or file to fix; all of it is checked before
# the directory is looked for. The CD-audio check field by field; the 4 GiB
# bound at its edge, where the header's 36 bytes count too.
JoinRefused() {
  { wav 48000 48000 && head -c 192000 /dev/zero; } >r48.wav
  { wav 44100 44100 1 && head -c 88200 /dev/zero; } >mono.wav && wav 44100 0 2 24 x >b24.wav
  { head -c 20 t.wav && printf '\376\377' && tail -c +23 t.wav; } >ext.wav
  { wav 44100 88200 && head -c 176400 /dev/zero; } >short.wav && ln -s /dev/stdin pipe.wav
  for n in 1073741814 1073741815; do wav 44100 $n >../$n.wav && truncate -s $((44 + 4 * n)) ../$n.wav; done
  for f in r48 mono b24 ext short pipe ../1073741814 ../1073741815; do echo "$f.wav" >"${f#../}.txt"; done
  echo x.wav >missing.txt && touch empty.txt && mkdir d && { echo t.wav && yes '# note' | head -128; } >long.txt
  for list in no long missing r48 mono b24 ext 1073741815 short empty; do fails "$J" "$list.txt" no/album; done
  head -c 15100 t.wav | fails "$J" pipe.txt no/album
  fails sh -c 'ulimit -f 8 && exec "$J" 1073741814.txt album'
  for dir in d ''; do fails "$J" l.txt "$dir"; done
  fails "$J" l.txt
  expect <<'EOF'
2 unchanged: Cannot open track list called no.txt
2 unchanged: More than 128 lines at track list line # note
2 unchanged: Cannot find file in track list called x.wav
2 unchanged: Not CD audio (44100 Hz, 16-bit, 2 channels, PCM) in wave file called r48.wav: 48000 Hz, 16-bit, 2 channels, PCM
2 unchanged: Not CD audio (44100 Hz, 16-bit, 2 channels, PCM) in wave file called mono.wav: 44100 Hz, 16-bit, 1 channel, PCM
2 unchanged: Not CD audio (44100 Hz, 16-bit, 2 channels, PCM) in wave file called b24.wav: 44100 Hz, 24-bit, 2 channels, PCM
2 unchanged: Not CD audio (44100 Hz, 16-bit, 2 channels, PCM) in wave file called ext.wav: 44100 Hz, 16-bit, 2 channels, format 65534
2 unchanged: Joined wave file past 4 GiB with wave file called ../1073741815.wav
2 unchanged: Wave file called short.wav ends before its samples do
2 unchanged: No wave file in track list called empty.txt
2 unchanged: Wave file called pipe.wav is not a regular file
2 unchanged: Cannot make directory called album: File too large
2 unchanged: Cannot make directory called d: File exists
2 unchanged: Cannot make directory called : No such file or directory
1 unchanged: directory DIRECTORY. Run pellorin there for a cue sheet of one wave file.
EOF
}


scenario "$@"

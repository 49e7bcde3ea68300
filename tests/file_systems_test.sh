#!/usr/bin/env bash
# The cue sheet on file systems that keep access otherwise than the kernel's
# own: root mounts each one in a mount namespace of its own, and root and
# nobody each make a new sheet and replace a sheet of mode 0640 (with an ACL
# where the file system keeps one), on each of which sed -i succeeds too.
#
#   file_systems_test.sh ROW PELLORIN
#
# Every row checks that a run that fails leaves the old sheet, that the run
# succeeds, that the new sheet has the old one's owner, group, mode and ACL
# as the file system shows them, and that nothing is left beside it; and it
# says what each user saw, which must be what the table says.
#
# The row runs in mount and process namespaces of its own: its mounts are
# seen nowhere else, and when it ends, every file system driver it started
# ends with it, and with them every mount.
set -u
source "$(dirname "$(realpath "$0")")/lib.sh"
wanted=$1
P=$(realpath "$2")
[[ $(id -u) == 0 ]] || skip_here "only root can mount file systems"
[[ -n ${IN_NAMESPACE:-} ]] ||
  exec env IN_NAMESPACE=1 unshare --mount --pid --fork --mount-proc --propagation private bash "$0" "$@"

work=$(mktemp -d) && chmod 755 "$work" && cd "$work" || exit 1
on_exit "cd / && umount -R '$work'/* 2>/dev/null; rm -rf '$work'"
wav 44100 44100 >t.wav && echo "$work/t.wav" >l.txt && $P l.txt sheet >/dev/null || exit 1
as() { if [[ $1 == root ]]; then "${@:2}"; else as_nobody "${@:2}"; fi; }
printf '#!/bin/sh\nexec setpriv --reuid=daemon --regid=daemon --clear-groups /usr/lib/openssh/sftp-server\n' >sftp
chmod 755 sftp

# What a file gives: owner, group and mode, then its ACL's named entries.
access() { stat -c '%u %g %a' "$1"; getfacl -cpn "$1" 2>/dev/null | grep -E '^(user|group):[0-9]+:'; }

# sheets USER DIR: USER's sheets in DIR on the row's file system, and what ls
# shows of the replaced one.
sheets() {
  local user=$1 d=$2 before
  mkdir "$d" && { chown nobody:nogroup "$d"; chmod 777 "$d"; } 2>/dev/null
  as "$user" "$P" l.txt "$d/new.cue" >/dev/null
  cmp -s sheet "$d/new.cue" || fail "$user: the new sheet is not the sheet"
  as "$user" sh -c "printf old >'$d/old.cue' && chmod 640 '$d/old.cue'" 2>/dev/null
  setfacl -m u:daemon:r "$d/old.cue" 2>/dev/null
  before=$(access "$d/old.cue")
  (ulimit -f 0 && as "$user" "$P" l.txt "$d/old.cue" >/dev/null) && fail "$user: wrote past a size limit"
  [[ $(cat "$d/old.cue") == old ]] || fail "$user: a failed run changed the old sheet"
  as "$user" "$P" l.txt "$d/old.cue" >/dev/null || fail "$user: the sheet was not replaced"
  cmp -s sheet "$d/old.cue" || fail "$user: the replaced sheet is not the sheet"
  [[ $(access "$d/old.cue") == "$before" ]] || fail "$user: $before became $(access "$d/old.cue")"
  [[ $(ls -A "$d" | tr '\n' ' ') == "new.cue old.cue " ]] || fail "$user: left $(ls -A "$d")"
  echo "$user: $(stat -c "%a %U:%G" "$d/old.cue")$(getfacl -cp "$d/old.cue" 2>/dev/null | grep -q "^user:daemon" && echo " +acl")"
}

# row NAME TOOL 'MOUNT' 'ROOT'S SHEET' 'NOBODY'S SHEET': MOUNT mounts the
# file system at $m, given an empty directory $src; TOOL is the program it
# needs. Each user's sheet is what ls shows of the replaced sheet: mode, owner
# and group, and "+acl" where it kept its ACL.
row() {
  local name=$1 tool=$2 mount=$3 m=$work/$1 src=$work/$1.src
  [[ $name == "$wanted" ]] || return 0
  found=1
  needs "$tool"
  [[ -c /dev/fuse ]] || skip "there is no /dev/fuse"
  mkdir "$m" "$src"
  if ! (eval "$mount") >mount.log 2>&1; then fail "$name: cannot mount: $(cat mount.log)"; return; fi
  for user in root nobody; do sheets "$user" "$m/$user"; done >got
  printf 'root: %s\nnobody: %s\n' "$4" "$5" | diff -u - got || fail "$name"
}

# A kernel file system keeps what it is given.
row tmpfs mount 'mount -t tmpfs tmpfs "$m"' '640 root:root +acl' '640 nobody:nogroup +acl'
# A driver for USB sticks shows every file with the same mode and owner.
row fusefat fusefat 'truncate -s 16M "$src/img" && mkfs.vfat "$src/img" && fusefat -o rw+,allow_other "$src/img" "$m"' \
  '700 root:root' '700 root:root'
# One that keeps modes and owners but refuses to write ACLs.
row bindfs-xattr-ro bindfs 'bindfs --xattr-ro "$src" "$m"' '640 root:root' '640 nobody:nogroup'
# A network share whose server's user owns every file.
row sshfs sshfs 'chown daemon "$src" && sshfs -o ssh_command="$work/sftp",allow_other "x:$src" "$m"' \
  '640 daemon:daemon' '640 daemon:daemon'

[[ -n ${found:-} ]] || { echo "no row $wanted"; exit 2; }
checked
echo "ok $wanted"

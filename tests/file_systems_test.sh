#!/usr/bin/env bash
# The cue sheet on the file systems albums live on: kernel ones from loop
# images, tmpfs and overlayfs, and FUSE drivers for USB sticks, Windows disks,
# network shares and remapped directories. Root mounts each one in a mount
# namespace of its own, and root and nobody each make a new sheet, replace a
# sheet of mode 0640 (with an ACL where the file system keeps one), and have
# sed -i replace the same file.
#
#   file_systems_test.sh ROW PELLORIN
#
# Every row checks that a run that fails leaves the old sheet, that the run
# succeeds wherever sed -i does, that no one may do more with the new sheet
# than with the old one, and that nothing is left beside it; and it says what
# each user saw, which must be what the table says.
#
# The row runs in mount and process namespaces of its own: its mounts are
# seen nowhere else, and when it ends, every file system driver it started
# ends with it, and with them every mount and loop device.
set -u
source "$(dirname "$(realpath "$0")")/lib.sh"
wanted=$1
P=$(realpath "$2")
[[ $(id -u) == 0 ]] || skip_here "only root can mount file systems"
[[ -n ${IN_NAMESPACE:-} ]] ||
  exec env IN_NAMESPACE=1 unshare --mount --pid --fork --mount-proc --propagation private bash "$0" "$@"

work=$(mktemp -d) && chmod 755 "$work" && cd "$work" || exit 1
cleanup() {
  cd / || return
  umount -R "$work"/* 2>/dev/null
  losetup -j "$work/$wanted.img" -O NAME -n | xargs -r -n 1 losetup -d
  rm -rf "$work"
}
on_exit cleanup
wav 44100 44100 >t.wav && echo "$work/t.wav" >l.txt && $P l.txt sheet >/dev/null || exit 1
as() { if [[ $1 == root ]]; then "${@:2}"; else as_nobody "${@:2}"; fi; }
printf '#!/bin/sh\nexec setpriv --reuid=daemon --regid=daemon --clear-groups /usr/lib/openssh/sftp-server\n' >sftp
chmod 755 sftp

# What a file gives: owner, group and mode, then its ACL's named entries.
access() { stat -c '%u %g %a' "$1"; getfacl -cpn "$1" 2>/dev/null | grep -E '^(user|group):[0-9]+:'; }
# gains BEFORE AFTER: what the new sheet gives that the old one did not: a
# permission bit, another owner or group, or an ACL entry.
gains() {
  local before after
  read -ra before <<<"$1"
  read -ra after <<<"$2"
  ((8#${after[2]} & ~8#${before[2]})) && echo "mode ${before[2]} became ${after[2]}"
  [[ ${after[*]:0:2} == "${before[*]:0:2}" ]] || echo "${before[*]:0:2} became ${after[*]:0:2}"
  comm -13 <(tail -n +2 <<<"$1" | sort) <(tail -n +2 <<<"$2" | sort) | sed 's/^/named: /'
}

# sheets ROW USER DIR: USER's sheets in DIR on the row's file system, and
# what ls shows of the replaced one.
sheets() {
  local row=$1 user=$2 d=$3 replaced sed before after
  mkdir "$d" && { chown nobody:nogroup "$d"; chmod 777 "$d"; } 2>/dev/null
  as "$user" "$P" l.txt "$d/new.cue" >/dev/null
  cmp -s sheet "$d/new.cue" || fail "$row $user: the new sheet is not the sheet"
  for f in old.cue sed.cue; do
    as "$user" sh -c "printf old >'$d/$f' && chmod 640 '$d/$f'" 2>/dev/null
    setfacl -m u:daemon:r "$d/$f" 2>/dev/null
  done
  (ulimit -f 0 && as "$user" "$P" l.txt "$d/old.cue" >/dev/null) && fail "$row $user: wrote past a size limit"
  before=$(access "$d/old.cue")
  as "$user" "$P" l.txt "$d/old.cue" >/dev/null; replaced=$?
  as "$user" sed -i s/old/new/ "$d/sed.cue" 2>/dev/null; sed=$?
  after=$(access "$d/old.cue")
  if ((replaced == 0)); then
    cmp -s sheet "$d/old.cue" || fail "$row $user: the replaced sheet is not the sheet"
  else
    [[ $(cat "$d/old.cue") == old ]] || fail "$row $user: a failed run changed the old sheet"
  fi
  ((sed != 0 || replaced == 0)) || fail "$row $user: sed -i replaced the sheet, pellorin did not"
  [[ -z $(gains "$before" "$after") ]] || fail "$row $user: $(gains "$before" "$after")"
  [[ $(ls -A "$d" | tr '\n' ' ') == "new.cue old.cue sed.cue " ]] || fail "$row $user: left $(ls -A "$d")"
  echo "$row $user: $(stat -c "%a %U:%G" "$d/old.cue")$(getfacl -cp "$d/old.cue" 2>/dev/null | grep -q "^user:daemon" && echo " +acl")"
}

# row NAME TOOL 'MOUNT' 'ROOT'S SHEET' 'NOBODY'S SHEET': MOUNT mounts the
# file system at $m, given an empty image $img and an empty directory $src;
# TOOL is the program it needs. Each user's sheet is what ls shows of the
# replaced sheet: mode, owner and group, and "+acl" where it kept its ACL.
row() {
  local name=$1 tool=$2 mount=$3 m=$work/$1 img=$work/$1.img src=$work/$1.src
  [[ $name == "$wanted" ]] || return 0
  found=1
  needs "$tool"
  [[ -c /dev/fuse ]] || skip "there is no /dev/fuse"
  mkdir "$m" "$src" && truncate -s 320M "$img"
  if ! (eval "$mount") >mount.log 2>&1; then fail "$name: cannot mount: $(cat mount.log)"; return; fi
  for user in root nobody; do sheets "$name" "$user" "$m/$user"; done >got
  printf '%s root: %s\n%s nobody: %s\n' "$name" "$4" "$name" "$5" | diff -u - got || fail "$name"
  umount -l "$m"
}

# Kernel file systems keep what they are given.
root='640 root:root +acl' nobody='640 nobody:nogroup +acl'
row ext4 mkfs.ext4 'mkfs.ext4 -q "$img" && mount -o loop "$img" "$m"' "$root" "$nobody"
row xfs mkfs.xfs 'mkfs.xfs -q "$img" && mount -o loop "$img" "$m"' "$root" "$nobody"
row btrfs mkfs.btrfs 'mkfs.btrfs -q "$img" && mount -o loop "$img" "$m"' "$root" "$nobody"
row tmpfs mount 'mount -t tmpfs tmpfs "$m"' "$root" "$nobody"
row overlayfs mount 'mkdir "$src"/{lower,upper,work} &&
  mount -t overlay overlay -o lowerdir="$src/lower",upperdir="$src/upper",workdir="$src/work" "$m"' "$root" "$nobody"
# FUSE drivers show modes and owners of their own, or keep no ACL.
row fusefat fusefat 'mkfs.vfat "$img" && fusefat -o rw+,allow_other "$img" "$m"' '700 root:root' '700 root:root'
row exfat-fuse mount.exfat-fuse 'mkfs.exfat "$img" && mount.exfat-fuse "$(losetup -f --show "$img")" "$m"' \
  '777 root:root' '777 root:root'
row ntfs-3g ntfs-3g 'mkfs.ntfs -F -Q "$img" && ntfs-3g "$img" "$m"' '777 root:root' '777 root:root'
row ntfs-3g-permissions ntfs-3g 'mkfs.ntfs -F -Q "$img" && ntfs-3g -o permissions "$img" "$m"' \
  '640 root:root' '640 nobody:nogroup'
# The server's user owns every file.
row sshfs sshfs 'chown daemon "$src" && sshfs -o ssh_command="$work/sftp",allow_other "x:$src" "$m"' \
  '640 daemon:daemon' '640 daemon:daemon'
# No mode can be set, so the old sheet keeps the 644 it was made with.
row bindfs-chmod-deny bindfs 'bindfs --chmod-deny "$src" "$m"' '644 root:root +acl' '644 nobody:nogroup +acl'
row bindfs-xattr-ro bindfs 'bindfs --xattr-ro "$src" "$m"' '640 root:root' '640 nobody:nogroup'
row bindfs-chown-deny bindfs 'bindfs --chown-deny "$src" "$m"' "$root" "$nobody"

[[ -n ${found:-} ]] || { echo "no row $wanted"; exit 2; }
checked
echo "ok $wanted"

#!/usr/bin/env bash
# Small real file systems for the volume tests.
#
#   scratch_volumes.sh setup   <dir> [<wineprefix> <wine-runner>]
#   scratch_volumes.sh cleanup <dir> [<wineprefix> <wine-runner>]
#
# setup mounts an 8 MiB tmpfs at <dir>/freespace and a 64 MiB ext4 loop image
# (<dir>/forensic.img) at <dir>/forensic, each marked with an empty file
# ".vtx-mounted" that tells the tests the mount is theirs. With a Wine prefix,
# drive T: reaches the tmpfs and U: the ext4 mount; the prefix is made ready
# first through <wine-runner> --prepare, since Wine never gives a C: drive to
# a prefix whose "dosdevices" folder already exists when it is created. Where
# mounting is not permitted (not root, no loop devices) it mounts nothing and
# exits 0: the tests then skip with a message.
#
# cleanup unmounts both and, when the forensic test left its marker in
# <dir>/forensic.marker, scans the raw image for it: exit 1 if found.
# Both are idempotent.
set -uo pipefail

action=${1:?action}
dir=${2:?folder}
prefix=${3:-}
wine_runner=${4:-}
tmpfs_mount=$dir/freespace
ext4_mount=$dir/forensic
image=$dir/forensic.img
loop_record=$dir/forensic.loop
marker=$dir/forensic.marker

unmount_all() {
  if [[ -n $prefix ]]; then rm -f "$prefix/dosdevices/t:" "$prefix/dosdevices/u:"; fi
  mountpoint -q "$tmpfs_mount" 2>/dev/null && umount "$tmpfs_mount"
  mountpoint -q "$ext4_mount" 2>/dev/null && umount "$ext4_mount"
  if [[ -f $loop_record ]]; then
    losetup -d "$(cat "$loop_record")" 2>/dev/null
    rm -f "$loop_record"
  fi
  return 0
}

mount_tmpfs() {
  mkdir -p "$tmpfs_mount"
  mount -t tmpfs -o size=8m,mode=0777 vtx-freespace "$tmpfs_mount" 2>/dev/null || return 1
  : >"$tmpfs_mount/.vtx-mounted"
}

mount_ext4() {
  mkdir -p "$ext4_mount"
  rm -f "$image" "$marker"
  truncate -s 64M "$image" && mkfs.ext4 -q -F -m 0 -b 4096 "$image" || return 1
  local device
  device=$(losetup -f --show "$image" 2>/dev/null) || return 1
  echo "$device" >"$loop_record"
  mount -t ext4 "$device" "$ext4_mount" 2>/dev/null || return 1
  # Clusters ext4 keeps back for its own metadata would stay unwritten by a
  # free-space wipe; with none kept back, every free block is the caller's.
  local reserve=/sys/fs/ext4/$(basename "$device")/reserved_clusters
  [[ -w $reserve ]] && echo 0 >"$reserve"
  : >"$ext4_mount/.vtx-mounted"
}

map_drive() {
  local letter=$1 target=$2
  [[ -n $prefix ]] || return 0
  ln -sfn "$target" "$prefix/dosdevices/$letter:"
}

scan_image() {
  [[ -f $marker && -f $image ]] || { echo "forensic scan: no marker, nothing to scan"; return 0; }
  if grep -q -a -F -f "$marker" "$image"; then
    echo "forensic scan: FAILED, the marker is still in the raw image $image"
    return 1
  fi
  echo "forensic scan: the marker occurs nowhere in $(stat -c %s "$image") bytes of raw image"
}

case $action in
  setup)
    unmount_all
    if [[ $(id -u) -ne 0 ]]; then
      echo "scratch volumes: not root, volume tests will skip"
      exit 0
    fi
    if [[ -n $prefix ]]; then "$wine_runner" --prepare || exit 1; fi
    if mount_tmpfs; then map_drive t "$tmpfs_mount"; else echo "scratch volumes: tmpfs not permitted"; fi
    if mount_ext4; then map_drive u "$ext4_mount"; else echo "scratch volumes: loop ext4 not permitted"; fi
    exit 0
    ;;
  cleanup)
    unmount_all
    scan_image
    ;;
  *)
    echo "usage: $0 setup|cleanup <dir> [<wineprefix>]" >&2
    exit 2
    ;;
esac

#!/usr/bin/env bash
# Small real file systems for the volume tests.
#
#   scratch_volumes.sh setup|cleanup <dir> [<wineprefix> <wine-runner>]
#
# setup mounts, each marked with an empty ".vtx-mounted" (the tests' sign that
# the mount is theirs), and with a prefix maps the drive letters:
#   <dir>/freespace  8 MiB tmpfs                                          (T:)
#   <dir>/forensic   64 MiB ext4 image without journal: folder blocks    (U:)
#                    hold only current names
#   <dir>/reserve    64 MiB ext4 as mkfs makes it (journal, 5 % for root) (W:)
#   <dir>/faulty     32 MiB ext4 image whose sparse backing file sits on  (V:)
#                    a 6 MiB tmpfs (<dir>/faulty-backing): once a test
#                    fills it, writes to unbacked blocks fail as I/O errors
# The images keep no clusters back beyond the root reserve, so every free
# block can be written. The prefix is made ready first (<wine-runner>
# --prepare): Wine gives no C: drive to a prefix whose "dosdevices" already
# exists. Where mounting is not permitted it mounts nothing and exits 0; the
# tests then skip.
#
# cleanup unmounts all and scans each image for the markers tests left in
# <dir>/<image>.marker: exit 1 if one is found. Both are idempotent.
set -uo pipefail

action=${1:?action}
dir=${2:?folder}
prefix=${3:-}
wine_runner=${4:-}
images=(forensic reserve faulty)

unmount_all() {
  if [[ -n $prefix ]]; then rm -f "$prefix"/dosdevices/{t,u,v,w}:; fi
  local name
  for name in "${images[@]}"; do
    mountpoint -q "$dir/$name" 2>/dev/null && umount "$dir/$name"
    if [[ -f $dir/$name.loop ]]; then
      losetup -d "$(cat "$dir/$name.loop")" 2>/dev/null
      rm -f "$dir/$name.loop"
    fi
  done
  # The backing tmpfs last: the loop device held its image open.
  for name in freespace faulty-backing; do
    mountpoint -q "$dir/$name" 2>/dev/null && umount "$dir/$name"
  done
  return 0
}

mount_tmpfs() {
  local mount=$1 size=$2
  mkdir -p "$mount"
  mount -t tmpfs -o "size=$size,mode=0777" vtx-scratch "$mount" 2>/dev/null
}

# mount_ext4 <name> <image file> <size> <mkfs options...>
mount_ext4() {
  local name=$1 image=$2 size=$3
  shift 3
  mkdir -p "$dir/$name"
  rm -f "$image" "$dir/$name.marker"
  truncate -s "$size" "$image" && mkfs.ext4 -q -F -b 4096 "$@" "$image" || return 1
  local device
  device=$(losetup -f --show "$image" 2>/dev/null) || return 1
  echo "$device" >"$dir/$name.loop"
  mount -t ext4 -o errors=continue "$device" "$dir/$name" 2>/dev/null || return 1
  local reserve=/sys/fs/ext4/$(basename "$device")/reserved_clusters
  [[ -w $reserve ]] && echo 0 >"$reserve"
  : >"$dir/$name/.vtx-mounted"
  sync -f "$dir/$name/.vtx-mounted"
}

map_drive() {
  local letter=$1 target=$2
  [[ -n $prefix ]] || return 0
  ln -sfn "$target" "$prefix/dosdevices/$letter:"
}

scan_image() {
  local name=$1 marker=$dir/$1.marker image=$dir/$1.img
  [[ -f $marker && -f $image ]] || { echo "scan of $name: no marker, nothing to scan"; return 0; }
  if grep -q -a -F -f "$marker" "$image"; then
    echo "scan of $name: FAILED, a marker is still in the raw image $image"
    return 1
  fi
  echo "scan of $name: no marker occurs in $(stat -c %s "$image") bytes of raw image"
}

mount_faulty() {
  mount_tmpfs "$dir/faulty-backing" 6m || return 1
  mount_ext4 faulty "$dir/faulty-backing/faulty.img" 32M -m 0 -O ^has_journal
}

case $action in
  setup)
    unmount_all
    if [[ $(id -u) -ne 0 ]]; then
      echo "scratch volumes: not root, volume tests will skip"
      exit 0
    fi
    if [[ -n $prefix ]]; then "$wine_runner" --prepare || exit 1; fi
    if mount_tmpfs "$dir/freespace" 8m; then
      : >"$dir/freespace/.vtx-mounted"
      map_drive t "$dir/freespace"
    else
      echo "scratch volumes: tmpfs not permitted"
    fi
    mount_ext4 forensic "$dir/forensic.img" 64M -m 0 -O ^has_journal && map_drive u "$dir/forensic"
    mount_ext4 reserve "$dir/reserve.img" 64M && map_drive w "$dir/reserve"
    mount_faulty && map_drive v "$dir/faulty"
    [[ -f $dir/forensic/.vtx-mounted ]] || echo "scratch volumes: loop ext4 not permitted"
    exit 0
    ;;
  cleanup)
    unmount_all
    status=0
    for name in forensic reserve; do scan_image "$name" || status=1; done
    exit $status
    ;;
  *)
    echo "usage: $0 setup|cleanup <dir> [<wineprefix>]" >&2
    exit 2
    ;;
esac

#!/usr/bin/env bash
# The first run on a fresh Debian 12 machine: installs what is missing, builds
# the native module and vantrix-wipe, and wipes with live progress.
#
# As root, with loop devices, everything happens on a 256 MiB loop image
# (build/demo/disk.img) that the device manager is told about through
# VTX_DEVICE_DESCRIPTION, so no real disk is ever touched: partition 1 is
# raw, partition 2 holds ext4 with a sample folder tree (a few thousand
# files), a marker file and a deleted file. The tree and the marker file are
# wiped, partition 1 gets a three-pass wipe (checked by reading it back) and
# partition 2 its free space; a raw scan of the image before and after shows
# that the markers are gone. Without root the tree and the marker file are
# wiped in build/demo instead.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/partition_nodes.sh

bash scripts/setup.sh
echo "== building the native module, the host components and vantrix-wipe"
cmake --preset native >/dev/null
cmake --build --preset native --target vantrix-wipe

program=$PWD/build/native/bin/vantrix-wipe
work=$PWD/build/demo
image=$work/disk.img
mnt=$work/mnt
device=
markers='VANTRIX-DEMO-(PARTITION|TREE|FILE|DELETED)'

cleanup() {
  mountpoint -q "$mnt" 2>/dev/null && umount "$mnt"
  rm -rf "$work/dev"
  [[ -n $device ]] && losetup -d "$device" 2>/dev/null
  device=
}
trap cleanup EXIT

say() { printf '\n== %s\n' "$*"; }
show() {
  printf '$ vantrix-wipe %s\n' "$*"
  "$program" "$@"
}

make_tree() {
  local root=$1 d f
  for d in $(seq 1 30); do
    mkdir -p "$root/sample/dir$d/sub"
    for f in $(seq 1 100); do
      printf 'VANTRIX-DEMO-TREE %d/%d\n' "$d" "$f" >"$root/sample/dir$d/file$f.txt"
    done
    head -c $((d * 100 * 1024)) /dev/urandom >"$root/sample/dir$d/sub/blob.bin"
  done
  printf 'VANTRIX-DEMO-FILE: a secret\n' >"$root/marker.txt"
}

# A 256 MiB image: partition 1 (96 MiB, raw) and partition 2 (the rest, ext4).
make_image() {
  mkdir -p "$mnt"
  rm -f "$image" && truncate -s 256M "$image"
  printf 'label: dos\nstart=2048, size=196608, type=83\nstart=198656, type=83\n' |
    sfdisk -q "$image" >/dev/null || return 1
  device=$(losetup -f --show -P "$image" 2>/dev/null) || return 1
  partition_nodes "$device" "$work/dev" || return 1
  local name
  name=$(basename "$device")
  mkfs.ext4 -q -F "$work/dev/${name}p2" && mount "$work/dev/${name}p2" "$mnt" || return 1
  cat >"$work/disks.json" <<JSON
{"disks":[{"number":1,"system":false,"bytesPerSector":512,"totalSectors":524288,"device":"$device",
 "partitions":[
  {"number":1,"startSector":2048,"sizeBytes":100663296,"device":"$work/dev/${name}p1"},
  {"number":2,"startSector":198656,"sizeBytes":166723584,"device":"$work/dev/${name}p2","mount":"$mnt"}]}]}
JSON
  chmod 644 "$work/disks.json"  # the device manager reads only root's own description
}

scan() {
  sync
  echo "raw scan of $image for the markers:"
  grep -a -o -E "$markers" "$image" | sort | uniq -c | sed 's/^/  /' || echo "  none found"
}

rm -rf "$work" && mkdir -p "$work"
say "the wipe algorithms"
show algorithms

if [[ $(id -u) -ne 0 ]] || ! make_image; then
  cleanup
  say "no loop image here (needs root and loop devices): wiping a sample tree in $work"
  make_tree "$work"
  show folder "$work/sample"
  show file "$work/marker.txt"
  exit 0
fi

export VTX_DEVICE_DESCRIPTION=$work/disks.json
say "a 256 MiB loop image, described to the device manager"
for offset in 1 40000 150000; do
  printf 'VANTRIX-DEMO-PARTITION' | dd of="$device" bs=512 seek=$((2048 + offset)) conv=notrunc status=none
done
make_tree "$mnt"
head -c 1M /dev/urandom >"$mnt/deleted.bin"
printf 'VANTRIX-DEMO-DELETED' | dd of="$mnt/deleted.bin" bs=1 seek=4096 conv=notrunc status=none
sync && rm "$mnt/deleted.bin"
show disks
scan

say "a folder tree of $(find "$mnt/sample" -type f | wc -l) files, then one file"
show folder "$mnt/sample"
show file "$mnt/marker.txt"

say "partition 1: three passes, read back afterwards"
confirm=(--yes)
[[ -t 0 ]] && confirm=()
show partition 1 1 --algorithm eTypeUSDOD522022ME --verify "${confirm[@]}"

say "the free space of partition 2, where the deleted file's bytes still were"
show free-space 1 2 --report "$work/free-space-report.json"
umount "$mnt"

say "after the wipes"
scan
echo "the wipe report of the free-space wipe: $work/free-space-report.json"

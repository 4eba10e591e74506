#!/usr/bin/env bash
# Loop disks for the disk tests, described in <dir>/disks.json (the file
# VTX_DEVICE_DESCRIPTION names; without root or loop devices <dir>/unavailable
# says why). Layouts are in make_disks; partition nodes live in <dir>/dev.
#
#   loop_disks.sh setup|cleanup <dir>
#   loop_disks.sh wine <dir> <wineprefix> <wine-runner> <program> [args...]
#
# wine runs a program with PhysicalDrive1 on disk 1 and P: on a folder, linked
# meanwhile only, in a Wine session of its own (only a session started after
# the links knows P:); the caller holds the locks. When the program left
# <dir>/disk1.wiped, disk 1 must hold 0xFF in partition 2 and its text beside.
set -uo pipefail
source "$(dirname "$0")/../../scripts/partition_nodes.sh"

action=${1:?action}
dir=${2:?folder}
loops=$dir/loops
description=$dir/disks.json
unavailable=$dir/unavailable

give_up() {
  echo "loop disks: $*"
  echo "$*" >"$unavailable"
  exit 0
}

cleanup() {
  mountpoint -q "$dir/mounted" 2>/dev/null && umount "$dir/mounted"
  rm -rf "$dir/dev"
  if [[ -f $loops ]]; then
    while read -r device; do losetup -d "$device" 2>/dev/null; done <"$loops"
    rm -f "$loops"
  fi
  mountpoint -q "$dir/faulty-backing" 2>/dev/null && umount "$dir/faulty-backing"
  rm -f "$description" "$dir/system.json" "$dir/disk5.loop" "$unavailable" "$dir"/*.img "$dir/disk1.kept" \
    "$dir/disk1.wiped" "$dir/fifo"
}

attach() {
  local image=$1 device
  shift
  device=$(losetup -f --show -P "$@" "$image" 2>/dev/null) || return 1
  echo "$device" >>"$loops"
  echo "$device"
}

# Disk 1: 64 MiB, partition 2 at 36864 of 65600 sectors (256 requests and 64),
# a known text past its first MiB. Disk 2: 4099 sectors of 4096, partition 2 at
# 1280 of 2053. Disk 3: 8 x 256 + 64 sectors. Disk 4: one ext4 partition,
# mounted. system.json marks disk 3 and partition 2 of disk 1 as the system's.
# <dir>/fifo is a FIFO that records name as their device.
make_disks() {
  local d1 d2 d3 d4
  mkfifo "$dir/fifo" || return 1
  truncate -s 64M "$dir/disk1.img"
  printf 'label: dos\nstart=2048, size=32768, type=83\nstart=36864, size=65600, type=83\n' |
    sfdisk -q "$dir/disk1.img" >/dev/null || return 1
  d1=$(attach "$dir/disk1.img") && partition_nodes "$d1" "$dir/dev" || return 1

  truncate -s $((4099 * 4096)) "$dir/disk2.img"
  d2=$(attach "$dir/disk2.img" --sector-size 4096) || return 1
  printf 'label: dos\nstart=256, size=1024, type=83\nstart=1280, size=2053, type=83\n' |
    sfdisk -q "$d2" >/dev/null || return 1
  partition_nodes "$d2" "$dir/dev" || return 1

  truncate -s $(((8 * 256 + 64) * 512)) "$dir/disk3.img"
  d3=$(attach "$dir/disk3.img") || return 1

  truncate -s 8M "$dir/disk4.img"
  printf 'label: dos\nstart=2048, type=83\n' | sfdisk -q "$dir/disk4.img" >/dev/null || return 1
  d4=$(attach "$dir/disk4.img") && partition_nodes "$d4" "$dir/dev" || return 1
  local p4=$dir/dev/$(basename "$d4")p1
  mkfs.ext4 -q -F "$p4" && mkdir -p "$dir/mounted" && mount "$p4" "$dir/mounted" || return 1

  local n1=$dir/dev/$(basename "$d1") n2=$dir/dev/$(basename "$d2")
  cat >"$description" <<JSON
{"disks":[
 {"number":1,"bytesPerSector":512,"totalSectors":131072,"device":"$d1","partitions":[
  {"number":1,"startSector":2048,"sizeBytes":16777216,"device":"${n1}p1"},
  {"number":2,"letter":"P","startSector":36864,"sizeBytes":33587200,"device":"${n1}p2"}]},
 {"number":2,"bytesPerSector":4096,"totalSectors":4099,"device":"$d2","partitions":[
  {"number":1,"startSector":256,"sizeBytes":4194304,"device":"${n2}p1"},
  {"number":2,"startSector":1280,"sizeBytes":8409088,"device":"${n2}p2"}]},
 {"number":3,"bytesPerSector":512,"totalSectors":2112,"device":"$d3"},
 {"number":4,"bytesPerSector":512,"totalSectors":16384,"device":"$d4","partitions":[
  {"number":1,"letter":"M","startSector":2048,"sizeBytes":7340032,"device":"$p4",
   "mount":"$dir/mounted"}]}]}
JSON
  cat >"$dir/system.json" <<JSON
{"disks":[
 {"number":1,"bytesPerSector":512,"totalSectors":131072,"device":"$d1","partitions":[
  {"number":2,"letter":"P","startSector":36864,"sizeBytes":33587200,"device":"${n1}p2","system":true}]},
 {"number":3,"system":true,"bytesPerSector":512,"totalSectors":2112,"device":"$d3"}]}
JSON
  # Descriptions are test equipment: root's, writable by root alone.
  chmod 644 "$description" "$dir/system.json"
  dd of="$d1" bs=1M seek=1 count=63 iflag=fullblock conv=fsync status=none \
    < <(yes 'vantrix loop disk 1') || return 1
  kept_sums "$d1" >"$dir/disk1.kept"
  make_faulty_disk
}

# Disk 5, not described (the disk window tests make its record): 8 MiB whose
# sparse image sits on a 2 MiB tmpfs, so that writes past about 2 MiB fail.
make_faulty_disk() {
  mkdir -p "$dir/faulty-backing" &&
    mount -t tmpfs -o size=2m vtx-faulty "$dir/faulty-backing" &&
    truncate -s 8M "$dir/faulty-backing/disk5.img" &&
    attach "$dir/faulty-backing/disk5.img" >"$dir/disk5.loop"
}

# The sums of disk 1 outside partition 2 (sectors 36864 to 102463).
kept_sums() {
  dd if="$1" bs=512 count=36864 status=none | sha256sum
  dd if="$1" bs=512 skip=102464 status=none | sha256sum
}

# Partition 2 holds 0xFF from its first to its last sector, the rest is kept.
check_disk1() {
  local device
  device=$(head -n 1 "$loops")
  cmp -s <(kept_sums "$device") "$dir/disk1.kept" || { echo "disk 1: bytes beside partition 2 changed"; return 1; }
  cmp -s <(dd if="$device" bs=512 skip=36864 count=65600 status=none) \
    <(head -c $((65600 * 512)) /dev/zero | tr '\0' '\377') || { echo "disk 1: partition 2 not all 0xFF"; return 1; }
  echo "disk 1: partition 2 wiped, every other byte as before"
}

run_under_wine() {
  local prefix=$1 runner=$2 status
  shift 2
  # Links go into a ready prefix only: one made before (or while) the prefix
  # is initialised would be removed with it, or would cost it its C: drive.
  "$runner" --prepare || return 1
  if [[ -f $description ]]; then
    mkdir -p "$dir/letter-p"
    ln -sfn "$(head -n 1 "$loops")" "$prefix/dosdevices/physicaldrive1"
    ln -sfn "$dir/letter-p" "$prefix/dosdevices/p:"
  fi
  rm -f "$dir/disk1.wiped"
  bash "$(dirname "$0")/wine_session.sh" "$prefix" "$runner" "$@"
  status=$?
  rm -f "$prefix/dosdevices/physicaldrive1" "$prefix/dosdevices/p:"
  if [[ $status -eq 0 && -f $dir/disk1.wiped ]]; then check_disk1 || status=1; fi
  return $status
}

case $action in
  setup)
    mkdir -p "$dir"
    cleanup
    [[ $(id -u) -eq 0 ]] || give_up "not root: loop devices cannot be made"
    for tool in losetup sfdisk partx mkfs.ext4 mknod; do
      command -v "$tool" >/dev/null || give_up "$tool is missing (scripts/setup.sh installs it)"
    done
    if ! make_disks; then
      cleanup
      give_up "cannot attach and partition loop devices here (losetup -f, partx, mknod, mount)"
    fi
    echo "loop disks: $(tr '\n' ' ' <"$loops")described in $description"
    ;;
  wine)
    run_under_wine "${@:3}"
    ;;
  cleanup)
    cleanup
    ;;
  *) exit 2 ;;
esac

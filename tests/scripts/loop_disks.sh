#!/usr/bin/env bash
# Small loop disks for the disk and partition tests, described to the device
# manager by <dir>/disks.json (VTX_DEVICE_DESCRIPTION).
#
#   loop_disks.sh setup   <dir> [<wineprefix> <wine-runner>]
#   loop_disks.sh cleanup <dir> [<wineprefix>]
#
# setup attaches four images with `losetup -f` and describes them:
#   disk 1  64 MiB, 512-byte sectors, DOS table: partition 1 at 2048 (16 MiB),
#           partition 2 at 36864 (65600 sectors: 256 whole requests and 64 more)
#   disk 2  4099 sectors of 4096 bytes (losetup --sector-size 4096): partition 1
#           at 256 (1024 sectors), partition 2 at 1280 (2053 sectors)
#   disk 3  8 x 256 + 64 sectors of 512 bytes, no table
#   disk 4  8 MiB, one ext4 partition mounted at <dir>/mounted
# The kernel lists the partitions after `partx -a`; nothing makes their
# nodes, so they are made with mknod in <dir>/dev (never in /dev, where a
# stale node of another run could name another device) and removed by
# cleanup. With a
# Wine prefix, dosdevices/physicaldrive1 reaches disk 1 and drive P: a scratch
# folder (never a block device); a Wine session already running is waited
# for, since only a session started afterwards knows the new drive. Where
# loop devices cannot be made (not
# root, tools or devices missing) nothing is described and the reason is left
# in <dir>/unavailable; the tests then skip with it.
#
# cleanup unmounts, removes the nodes and links and detaches the devices.
# Both are idempotent.
set -uo pipefail

action=${1:?action}
dir=${2:?folder}
prefix=${3:-}
wine_runner=${4:-}
loops=$dir/loops
description=$dir/disks.json
unavailable=$dir/unavailable

give_up() {
  echo "loop disks: $*"
  echo "$*" >"$unavailable"
  exit 0
}

cleanup() {
  if [[ -n $prefix ]]; then rm -f "$prefix/dosdevices/physicaldrive1" "$prefix/dosdevices/p:"; fi
  mountpoint -q "$dir/mounted" 2>/dev/null && umount "$dir/mounted"
  rm -rf "$dir/dev"
  if [[ -f $loops ]]; then
    while read -r device; do losetup -d "$device" 2>/dev/null; done <"$loops"
    rm -f "$loops"
  fi
  rm -f "$description" "$unavailable" "$dir"/*.img
}

# attach <image> [losetup options...]: the new device on stdout.
attach() {
  local image=$1 device
  shift
  device=$(losetup -f --show -P "$@" "$image" 2>/dev/null) || return 1
  echo "$device" >>"$loops"
  echo "$device"
}

# Makes <dir>/dev/<name>pK for every partition the kernel lists of <device>.
partition_nodes() {
  local device=$1 name part
  name=$(basename "$device")
  partx -a "$device" 2>/dev/null
  mkdir -p "$dir/dev"
  for part in /sys/block/"$name"/"$name"p*; do
    [[ -e $part/dev ]] || continue
    mknod "$dir/dev/$(basename "$part")" b "$(cut -d: -f1 "$part/dev")" \
      "$(cut -d: -f2 "$part/dev")" || return 1
  done
  [[ -b $dir/dev/${name}p1 ]]
}

make_disks() {
  local d1 d2 d3 d4
  truncate -s 64M "$dir/disk1.img"
  printf 'label: dos\nstart=2048, size=32768, type=83\nstart=36864, size=65600, type=83\n' |
    sfdisk -q "$dir/disk1.img" >/dev/null || return 1
  d1=$(attach "$dir/disk1.img") && partition_nodes "$d1" || return 1

  truncate -s $((4099 * 4096)) "$dir/disk2.img"
  d2=$(attach "$dir/disk2.img" --sector-size 4096) || return 1
  printf 'label: dos\nstart=256, size=1024, type=83\nstart=1280, size=2053, type=83\n' |
    sfdisk -q "$d2" >/dev/null || return 1
  partition_nodes "$d2" || return 1

  truncate -s $(((8 * 256 + 64) * 512)) "$dir/disk3.img"
  d3=$(attach "$dir/disk3.img") || return 1

  truncate -s 8M "$dir/disk4.img"
  printf 'label: dos\nstart=2048, type=83\n' | sfdisk -q "$dir/disk4.img" >/dev/null || return 1
  d4=$(attach "$dir/disk4.img") && partition_nodes "$d4" || return 1
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
  if [[ -n $prefix ]]; then
    mkdir -p "$dir/letter-p"
    ln -sfn "$d1" "$prefix/dosdevices/physicaldrive1"
    ln -sfn "$dir/letter-p" "$prefix/dosdevices/p:"
    # Wine's mount manager learns the drives when its session starts: a
    # session already running would not know P:, so it is let end first.
    WINEPREFIX=$prefix timeout 600 wineserver --wait
  fi
}

case $action in
  setup)
    mkdir -p "$dir"
    cleanup
    [[ $(id -u) -eq 0 ]] || give_up "not root: loop devices cannot be made"
    for tool in losetup sfdisk partx mkfs.ext4 mknod; do
      command -v "$tool" >/dev/null || give_up "$tool is missing (scripts/setup.sh installs it)"
    done
    if [[ -n $prefix ]]; then "$wine_runner" --prepare || give_up "the Wine prefix is not ready"; fi
    if ! make_disks; then
      cleanup
      give_up "cannot attach and partition loop devices here (losetup -f, partx, mknod, mount)"
    fi
    echo "loop disks: $(tr '\n' ' ' <"$loops")described in $description"
    ;;
  cleanup)
    cleanup
    ;;
  *)
    echo "usage: $0 setup|cleanup <dir> [<wineprefix> <wine-runner>]" >&2
    exit 2
    ;;
esac

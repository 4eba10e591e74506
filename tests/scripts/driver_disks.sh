#!/usr/bin/env bash
# Runs the driver's write test under Wine against two 4 MiB loop disks of
# random bytes, mapped into the prefix as PhysicalDrive1 (512-byte sectors)
# and PhysicalDrive2 (4096-byte sectors), then compares each image with the
# model the test left: the written sectors hold their data and every other
# byte is unchanged.
#
#   driver_disks.sh <dir> <wineprefix> <wine-runner> <test program> <driver.sys>
#
# Exits 77 (skipped) when not root or no loop device can be attached. The
# links and loop devices are removed on every path.
set -uo pipefail

dir=${1:?folder}
prefix=${2:?wine prefix}
runner=${3:?wine runner}
program=${4:?test program}
driver=${5:?driver}
links=("$prefix/dosdevices/physicaldrive1" "$prefix/dosdevices/physicaldrive2")
devices=()

detach_all() {
  rm -f "${links[@]}"
  for device in "${devices[@]}"; do losetup -d "$device"; done
  devices=()
}
trap detach_all EXIT

skip() {
  echo "driver disks: $1; the driver write test is skipped"
  exit 77
}

windows_path() { local path=${1//\//\\}; echo "Z:$path"; }

[[ $(id -u) -eq 0 ]] || skip "not root"
"$runner" --prepare || exit 1
mkdir -p "$dir"
sector_sizes=(512 4096)
for i in 0 1; do
  image=$dir/disk$((i + 1)).img
  head -c 4M /dev/urandom >"$image" && cp "$image" "${image%.img}.model" || exit 1
  device=$(losetup -f --show --sector-size "${sector_sizes[i]}" "$image" 2>/dev/null) ||
    skip "no loop device can be attached"
  devices+=("$device")
  ln -sfn "$device" "${links[i]}"
done

# The test pauses at a step by creating disk1.model.<step>; it goes on when
# the file is gone. At "held" some process must hold disk 1 open, at
# "released" (the test closed the driver's device) none may.
held() { [[ -n $(find /proc/[0-9]*/fd -lname "$1" -print -quit 2>/dev/null) ]]; }
check_step() {
  local step=$1 expected=$2 flag=$dir/disk1.model.$1 observed=no
  while [[ ! -e $flag ]]; do kill -0 "$pid" 2>/dev/null || return 0; sleep 0.05; done
  held "${devices[0]}" && observed=yes
  if [[ $observed != "$expected" ]]; then
    echo "driver disks: at '$step' disk 1 is held: $observed, expected $expected"
    status=1
  fi
  rm -f "$flag"
}

status=0
rm -f "$dir"/disk1.model.*
timeout 300 "$runner" "$program" "$(windows_path "$driver")" \
  "$(windows_path "$dir/disk1.model")" "$(windows_path "$dir/disk2.model")" &
pid=$!
check_step held yes
check_step released no
wait "$pid" || status=1
detach_all
for disk in disk1 disk2; do
  if ! cmp "$dir/$disk.img" "$dir/$disk.model"; then
    echo "driver disks: $disk.img differs from what the driver was asked to write"
    status=1
  fi
done
exit "$status"

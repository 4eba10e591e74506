#!/usr/bin/env bash
# Runs driver_write_test under Wine against three 4 MiB loop disks of random
# bytes, mapped into the prefix as PhysicalDrive1, 2 and 3 (512-, 4096- and
# 2048-byte sectors), then compares each image with the model
# the test left: written sectors hold their data, every other byte is as
# before. Exits 77 (skipped) without root or a loop device; links and loop
# devices are removed on every path.
#
#   driver_disks.sh <dir> <wineprefix> <wine-runner> <test program> <driver.sys>
set -uo pipefail
dir=$1 prefix=$2 runner=$3 program=$4 driver=$5
sector_sizes=(512 4096 2048)
links=("$prefix/dosdevices/physicaldrive1" "$prefix/dosdevices/physicaldrive2"
  "$prefix/dosdevices/physicaldrive3")
devices=()

detach_all() {
  rm -f "${links[@]}"
  for device in "${devices[@]}"; do losetup -d "$device"; done
  devices=()
}
trap detach_all EXIT
skip() { echo "driver disks: $1; the driver write test is skipped" && exit 77; }
windows_path() { echo "Z:${1//\//\\}"; }

[[ $(id -u) -eq 0 ]] || skip "not root"
"$runner" --prepare || exit 1
mkdir -p "$dir" && rm -f "$dir"/disk*
for i in 0 1 2; do
  image=$dir/disk$((i + 1)).img sector_size=${sector_sizes[i]}
  head -c 4M /dev/urandom >"$image" && cp "$image" "${image%.img}.model" || exit 1
  device=$(losetup -f --show --sector-size $sector_size "$image" 2>/dev/null) ||
    skip "no loop device can be attached"
  devices+=("$device")
  ln -sfn "$device" "${links[i]}"
done

# The test pauses at a step by creating disk1.model.<step> and goes on once
# it is gone; at "held" a process must hold disk 1 open, at "released" none.
status=0
check_step() {
  local flag=$dir/disk1.model.$1 held=no
  while [[ ! -e $flag ]]; do kill -0 "$pid" 2>/dev/null || return; sleep 0.05; done
  [[ -n $(find /proc/[0-9]*/fd -lname "${devices[0]}" -print -quit 2>/dev/null) ]] && held=yes
  [[ $held == "$2" ]] || { echo "driver disks: at '$1' disk 1 held: $held" && status=1; }
  rm -f "$flag"
}
timeout 300 "$runner" "$program" "$(windows_path "$driver")" \
  "$(windows_path "$dir/disk1.model")" "$(windows_path "$dir/disk2.model")" \
  "$(windows_path "$dir/disk3.model")" &
pid=$!
check_step held yes
check_step released no
wait "$pid" || status=1
detach_all
for disk in disk1 disk2 disk3; do
  cmp "$dir/$disk.img" "$dir/$disk.model" || { echo "driver disks: $disk differs" && status=1; }
done
exit "$status"

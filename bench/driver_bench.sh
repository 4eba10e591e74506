#!/usr/bin/env bash
# Runs driver_throughput_bench under Wine against a scratch loop disk mapped
# as PhysicalDrive1 of the Windows build's prefix (root only):
#
#   bench/driver_bench.sh <windows build folder> [MiB=64] [rounds=5]
set -euo pipefail
build=$(realpath "${1:?windows build folder}")
mib=${2:-64}
rounds=${3:-5}
[[ $(id -u) -eq 0 ]] || { echo "driver bench: needs root for a loop device"; exit 1; }
image=$build/driver-bench.img
link=$build/wineprefix/dosdevices/physicaldrive1
"$build/wine-run.sh" --prepare
# Random first bytes: the benchmark writes only a disk that begins with them.
head -c 1M /dev/urandom >"$image"
truncate -s "${mib}M" "$image"
device=$(losetup -f --show "$image")
trap 'rm -f "$link"; losetup -d "$device"; rm -f "$image"' EXIT
ln -sfn "$device" "$link"
driver=$build/bin/drivers/q7diskio.sys
"$build/wine-run.sh" "$build/bin/driver_throughput_bench.exe" "Z:${driver//\//\\}" \
  "Z:${image//\//\\}" "$mib" "$rounds"

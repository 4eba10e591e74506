#!/usr/bin/env bash
# Three disks wiped at once by one vantrix-wipe against three dd runs at once
# on the same three loop disks (root only; not part of the tests):
#
#   bench/many_disks_bench.sh <vantrix-wipe> <folder> [MiB per disk=256] [rounds=3]
#
# The loop disks (attached with --direct-io=on) share the disk under
# <folder>, so the figure is the aggregate throughput of both against the same
# bottleneck, and their ratio. Each round also times one disk alone with
# vantrix-wipe, so the ratio of three at once to one shows what concurrency
# buys where the disks share one device.
set -euo pipefail
program=$(realpath "${1:?vantrix-wipe}")
dir=${2:?folder}
mib=${3:-256}
rounds=${4:-3}
[[ $(id -u) -eq 0 ]] || { echo "many disks bench: needs root for loop devices"; exit 1; }
mkdir -p "$dir"
devices=()
trap 'for d in "${devices[@]}"; do losetup -d "$d"; done; rm -f "$dir"/bench-disk*.img "$dir/bench-disks.json"' EXIT
for n in 1 2 3; do
  truncate -s "${mib}M" "$dir/bench-disk$n.img"
  devices+=("$(losetup -f --show --direct-io=on "$dir/bench-disk$n.img")")
done
sectors=$((mib * 2048))
{
  echo '{"disks":['
  for n in 1 2 3; do
    [[ $n -gt 1 ]] && echo ','
    echo "{\"number\":$n,\"bytesPerSector\":512,\"totalSectors\":$sectors,\"device\":\"${devices[n - 1]}\",\"serial\":\"BENCH-$n\"}"
  done
  echo ']}'
} >"$dir/bench-disks.json"
export VTX_DEVICE_DESCRIPTION=$dir/bench-disks.json

seconds() { local start end; start=$(date +%s.%N); "$@" >/dev/null 2>&1; end=$(date +%s.%N); echo "$end - $start" | bc -l; }
dd_three() {
  for d in "${devices[@]}"; do dd if=/dev/zero of="$d" bs=128K count=$((mib * 8)) oflag=direct status=none & done
  wait
}
median() { sort -g | awk '{v[NR]=$1} END {print v[int((NR + 1) / 2)]}'; }

wipe=() dd=() one=()
for round in $(seq "$rounds"); do
  wipe+=("$(seconds "$program" disk 1 2 3 --yes)")
  dd+=("$(seconds dd_three)")
  one+=("$(seconds "$program" disk 1 --yes)")
done
total=$((3 * mib))
w=$(printf '%s\n' "${wipe[@]}" | median)
d=$(printf '%s\n' "${dd[@]}" | median)
o=$(printf '%s\n' "${one[@]}" | median)
printf 'three disks at once, vantrix-wipe: %.1f MiB/s (median of %d, %.2f s)\n' "$(echo "$total / $w" | bc -l)" "$rounds" "$w"
printf 'three disks at once, dd:           %.1f MiB/s (median of %d, %.2f s)\n' "$(echo "$total / $d" | bc -l)" "$rounds" "$d"
printf 'one disk alone, vantrix-wipe:      %.1f MiB/s (median of %d, %.2f s)\n' "$(echo "$mib / $o" | bc -l)" "$rounds" "$o"
printf 'ratio vantrix-wipe / dd (aggregate): %.2f; three disks take %.2f times one disk\n' \
  "$(echo "$d / $w" | bc -l)" "$(echo "$w / $o" | bc -l)"

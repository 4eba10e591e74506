#!/usr/bin/env bash
# vantrix-wipe disk (and its --verify read-back) against fio and dd on the same
# direct-I/O loop disk, in one run (root; never a real disk):
#
#   bench/disk_wipe_bench.sh <vantrix-wipe> [folder] [MiB] [rounds]
#
# For 512- and 4096-byte sectors an image of MiB mebibytes (1024 by default)
# is made in folder (default: the current one, not a tmpfs) and attached with
# `losetup --direct-io=on`, so that the loop disk keeps no cache of its own
# behind the block layer, as a real disk; VTX_DEVICE_DESCRIPTION describes
# only that disk, as disk 1. Each round times, in a rotating order:
#   wipe    vantrix-wipe disk 1 --yes --verify (the wipe: start to "Verifying",
#           the read-back: "Verifying" to "Verified")
#   fio     1 MiB writes, 8 in flight, direct, fsync at the end (fio's job
#           time; vantrix-wipe's and dd's figures are from start to exit)
#   dd      bs=1M oflag=direct conv=fsync
#   read    fio, 1 MiB direct reads, 8 in flight
# and prints the medians of the rounds and the median of the rounds' ratios
# (1.00 = as fast as the baseline). The machine's load is printed with each
# round: other work on the machine shows in every figure. The disk and image
# are removed at the end.
set -euo pipefail

program=$(realpath "${1:?vantrix-wipe}")
folder=$(realpath "${2:-.}")
mebibytes=${3:-1024}
rounds=${4:-5}
[[ $(id -u) -eq 0 ]] || { echo "disk_wipe_bench: root is needed for loop disks" >&2; exit 2; }
for tool in fio jq losetup; do
  command -v $tool >/dev/null || { echo "disk_wipe_bench: $tool is missing (scripts/setup.sh)" >&2; exit 2; }
done

work=$(mktemp -d "$folder/disk_wipe_bench.XXXXXX")
device=
detach() {
  if [[ -n $device ]]; then losetup -d "$device"; fi
  device=
}
trap 'detach; rm -rf "$work"' EXIT

source "$(dirname "$0")/bench_figures.sh"

# "<wipe seconds> <read-back seconds>": each output line is stamped as it comes.
time_wipe() {
  local start
  start=$(stamp)
  VTX_DEVICE_DESCRIPTION=$work/disk.json "$program" disk 1 --yes --verify 2>&1 |
    while IFS= read -r line; do echo "$(stamp) $line"; done >"$work/wipe.log"
  awk -v s="$start" '/ Verifying / { v = $1 } / Verified / { e = $1 }
    END { if (!v || !e) exit 1; printf "%.3f %.3f\n", v - s, e - v }' "$work/wipe.log" ||
    { echo "vantrix-wipe did not wipe and verify:" >&2; cat "$work/wipe.log" >&2; exit 1; }
}

time_dd() {
  local start
  start=$(stamp)
  dd if=/dev/zero of="$device" bs=1M count="$mebibytes" oflag=direct conv=fsync status=none
  elapsed "$start" "$(stamp)"
}

bench_sector_size() {
  local sector=$1 wipes=() reads=() fios=() dds=() fio_reads=() round wipe read
  truncate -s "${mebibytes}M" "$work/disk.img"
  device=$(losetup -f --show --direct-io=on --sector-size "$sector" "$work/disk.img")
  cat >"$work/disk.json" <<JSON
{"disks":[{"number":1,"bytesPerSector":$sector,"totalSectors":$((mebibytes * 1048576 / sector)),"device":"$device"}]}
JSON
  for round in $(seq 1 "$rounds"); do
    local order=(wipe fio dd read)
    order=("${order[@]:$((round % 4))}" "${order[@]:0:$((round % 4))}")
    for step in "${order[@]}"; do
      case $step in
        wipe) read -r wipe read <<<"$(time_wipe)"; wipes+=("$wipe") reads+=("$read") ;;
        fio) fios+=("$(time_fio write 1)") ;;
        dd) dds+=("$(time_dd)") ;;
        read) fio_reads+=("$(time_fio read 0)") ;;
      esac
    done
    echo "$sector-byte sectors, round $round: wipe ${wipes[-1]} s, fio ${fios[-1]} s," \
      "dd ${dds[-1]} s; read-back ${reads[-1]} s, fio read ${fio_reads[-1]} s (load $(cut -d' ' -f1 /proc/loadavg))"
  done
  detach
  rm -f "$work/disk.img"
  awk -v m="$mebibytes" -v s="$sector" -v w="$(median "${wipes[@]}")" -v f="$(median "${fios[@]}")" \
    -v d="$(median "${dds[@]}")" -v r="$(median "${reads[@]}")" -v fr="$(median "${fio_reads[@]}")" 'BEGIN {
    printf "%s-byte sectors, medians: wipe %.0f MiB/s, fio %.0f MiB/s, dd %.0f MiB/s; read-back %.0f MiB/s, fio read %.0f MiB/s\n", s, m / w, m / f, m / d, m / r, m / fr }'
  echo "$sector-byte sectors, median of the rounds' ratios: wipe / fio $(ratio fios wipes)," \
    "wipe / dd $(ratio dds wipes), read-back / fio read $(ratio fio_reads reads)"
}

for sector in 512 4096; do bench_sector_size "$sector"; done

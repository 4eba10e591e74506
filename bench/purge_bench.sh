#!/usr/bin/env bash
# vantrix-wipe purge --method discard against fio and dd on the same
# direct-I/O loop disk, in one run (root; never a real disk):
#
#   bench/purge_bench.sh <vantrix-wipe> [folder] [MiB] [rounds]
#
# An image of MiB mebibytes (1024 by default) is made in folder (default: the
# current one, not a tmpfs) and attached with `losetup --direct-io=on`;
# VTX_DEVICE_DESCRIPTION describes only that disk, as disk 1. Each round
# times, in a rotating order:
#   purge   vantrix-wipe purge 1 --method discard --verify --json: the host's
#           overwrite (first "overwrite" record to the first "discard" one)
#           and the whole read-back (first "read-back" record to the end)
#   fio     1 MiB writes, 8 in flight, direct, fsync at the end (fio's job time)
#   dd      bs=4M oflag=direct conv=fsync, from /dev/zero
#   read    fio, 1 MiB direct reads, 8 in flight, right after the purge, so
#           that it reads the disk in the state the read-back found it
# and prints the medians of the rounds' ratios (1.00 = as fast as the
# baseline) with the machine's load. The disk and image are removed at the end.
set -euo pipefail

program=$(realpath "${1:?vantrix-wipe}")
folder=$(realpath "${2:-.}")
mebibytes=${3:-1024}
rounds=${4:-5}
[[ $(id -u) -eq 0 ]] || { echo "purge_bench: root is needed for loop disks" >&2; exit 2; }
for tool in fio jq losetup; do
  command -v $tool >/dev/null || { echo "purge_bench: $tool is missing (scripts/setup.sh)" >&2; exit 2; }
done

work=$(mktemp -d "$folder/purge_bench.XXXXXX")
device=
trap '[[ -n $device ]] && losetup -d "$device"; rm -rf "$work"' EXIT

source "$(dirname "$0")/bench_figures.sh"

# "<overwrite seconds> <read-back seconds>" from the progress records, each
# stamped as it comes with bash's own clock (a `date` per line would lag).
time_purge() {
  VTX_DEVICE_DESCRIPTION=$work/disk.json "$program" --json purge 1 --method discard --yes \
    --verify 2>"$work/purge.err" | while IFS= read -r line; do echo "$EPOCHREALTIME $line"; done >"$work/purge.log"
  awk '/"stage":"overwrite"/ && !o { o = $1 } /"stage":"discard"/ && !d { d = $1 }
    /"stage":"read-back"/ && !r { r = $1 } /"outcome":"purged"/ { e = $1 }
    END { if (!o || !d || !r || !e) exit 1; printf "%.3f %.3f\n", d - o, e - r }' "$work/purge.log" ||
    { echo "vantrix-wipe did not purge:" >&2; cat "$work/purge.err" "$work/purge.log" >&2; exit 1; }
}

time_dd() {
  local start
  start=$(stamp)
  dd if=/dev/zero of="$device" bs=4M count="$((mebibytes / 4))" oflag=direct conv=fsync status=none
  elapsed "$start" "$(stamp)"
}

truncate -s "${mebibytes}M" "$work/disk.img"
device=$(losetup -f --show --direct-io=on "$work/disk.img")
cat >"$work/disk.json" <<JSON
{"disks":[{"number":1,"bytesPerSector":512,"totalSectors":$((mebibytes * 2048)),"device":"$device"}]}
JSON
overwrites=() reads=() fios=() dds=() fio_reads=()
for round in $(seq 1 "$rounds"); do
  order=(purge fio dd)
  order=("${order[@]:$((round % 3))}" "${order[@]:0:$((round % 3))}")
  for step in "${order[@]}"; do
    case $step in
      purge)
        read -r overwrite read <<<"$(time_purge)"
        overwrites+=("$overwrite") reads+=("$read") fio_reads+=("$(time_fio read 0)") ;;
      fio) fios+=("$(time_fio write 1)") ;;
      dd) dds+=("$(time_dd)") ;;
    esac
  done
  echo "round $round: overwrite ${overwrites[-1]} s, fio ${fios[-1]} s, dd ${dds[-1]} s;" \
    "read-back ${reads[-1]} s, fio read ${fio_reads[-1]} s (load $(cut -d' ' -f1 /proc/loadavg))"
done
echo "median of the rounds' ratios: overwrite / fio $(ratio fios overwrites)," \
  "overwrite / dd $(ratio dds overwrites), read-back / fio read $(ratio fio_reads reads)"

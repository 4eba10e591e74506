#!/usr/bin/env bash
# vantrix-wipe file against dd writing the same file the same way (128 KiB
# blocks, in place, synced at the end) and rm deleting it, in one run:
#
#   bench/cli_file_bench.sh <vantrix-wipe> [folder] [MiB] [rounds]
#
# Each round makes a fresh file of MiB mebibytes (1024 by default) in folder
# (default: the current one, which should not be a tmpfs), times dd
# overwriting it and rm deleting it, makes it again and times vantrix-wipe
# wiping and deleting it; rounds alternate which side goes first. rm is on the
# baseline's side because vantrix-wipe deletes the file, and on an aged file
# system mounted with online discard freeing the blocks of a 1 GiB file takes
# a good part of a second; dd alone is shown as well. A folder of "scratch"
# (root only) runs on a fresh ext4 volume made for the run on a loop device,
# where deleting costs little. Prints the medians and the ratio of
# vantrix-wipe's throughput to the baseline's (1.00 = as fast).
set -euo pipefail

program=${1:?vantrix-wipe}
folder=${2:-.}
mebibytes=${3:-1024}
rounds=${4:-3}
blocks=$((mebibytes * 8))

if [[ $folder == scratch ]]; then
  scratch=$(mktemp -d)
  truncate -s $((mebibytes * 2 + 256))M "$scratch/volume.img"
  mkfs.ext4 -q "$scratch/volume.img"
  mkdir "$scratch/mnt"
  mount -o loop "$scratch/volume.img" "$scratch/mnt"
  trap 'umount "$scratch/mnt"; rm -rf "$scratch"' EXIT
  folder=$scratch/mnt
else
  trap 'rm -f "$folder/cli_file_bench.bin"' EXIT
fi
file=$(realpath "$folder")/cli_file_bench.bin

stamp() { date +%s.%N; }
elapsed() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", b - a }'; }
make_file() { dd if=/dev/zero of="$file" bs=128K count=$blocks conv=fsync status=none; }

# "<dd and rm> <dd alone>", in seconds.
time_baseline() {
  make_file
  local start written
  start=$(stamp)
  dd if=/dev/zero of="$file" bs=128K count=$blocks conv=notrunc,fsync status=none
  written=$(stamp)
  rm "$file"
  echo "$(elapsed "$start" "$(stamp)") $(elapsed "$start" "$written")"
}

time_wipe() {
  make_file
  local start
  start=$(stamp)
  "$program" file "$file" >/dev/null
  elapsed "$start" "$(stamp)"
  [[ ! -e $file ]] || { echo "vantrix-wipe left $file behind" >&2; exit 1; }
}

median() { printf '%s\n' "$@" | sort -g | sed -n "$((($# + 1) / 2))p"; }

wipe_times=() baseline_times=() dd_times=()
for round in $(seq 1 "$rounds"); do
  if ((round % 2)); then
    wipe=$(time_wipe)
    read -r baseline dd <<<"$(time_baseline)"
  else
    read -r baseline dd <<<"$(time_baseline)"
    wipe=$(time_wipe)
  fi
  wipe_times+=("$wipe") baseline_times+=("$baseline") dd_times+=("$dd")
  echo "round $round: vantrix-wipe $wipe s, dd + rm $baseline s (dd $dd s)"
done
awk -v m="$mebibytes" -v w="$(median "${wipe_times[@]}")" -v b="$(median "${baseline_times[@]}")" \
  -v d="$(median "${dd_times[@]}")" 'BEGIN {
  printf "vantrix-wipe file: %.0f MiB/s; dd + rm: %.0f MiB/s; dd alone: %.0f MiB/s\n", m / w, m / b, m / d
  printf "ratio vantrix-wipe / (dd + rm): %.3f   (vantrix-wipe / dd alone: %.3f)\n", b / w, d / w }'

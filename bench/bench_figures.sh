# Shell helpers of the benchmarks that time vantrix-wipe against fio and dd
# on a loop disk, sourced:
#   source bench_figures.sh
# stamp              the time now, in seconds with nanoseconds
# elapsed A B        B - A, in seconds with milliseconds
# median N...        the median of the numbers
# ratio BASE MEAS    the median of the rounds' ratios BASE[i] / MEAS[i] (two
#                    array names): a round's figures share the machine's load
# time_fio RW FSYNC  fio's own job time for `RW` (write, read) over $mebibytes
#                    MiB of $device: 1 MiB blocks, 8 in flight, direct I/O,
#                    an fsync at the end when FSYNC is 1
stamp() { date +%s.%N; }
elapsed() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", b - a }'; }
median() { printf '%s\n' "$@" | sort -g | sed -n "$((($# + 1) / 2))p"; }

ratio() {
  local -n baselines=$1 measured=$2
  local at ratios=()
  for at in "${!baselines[@]}"; do
    ratios+=("$(awk -v b="${baselines[$at]}" -v m="${measured[$at]}" 'BEGIN { printf "%.3f", b / m }')")
  done
  median "${ratios[@]}"
}

# fio's time without the half second or so it spends starting: the device's
# ceiling, not fio's start-up.
time_fio() {
  fio --name=bench --filename="$device" --rw="$1" --bs=1M --iodepth=8 --ioengine=io_uring \
    --direct=1 --end_fsync="$2" --size="${mebibytes}M" --output-format=json |
    jq -r '.jobs[0].job_runtime / 1000'
}

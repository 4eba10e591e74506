# Sourced by the scripts that partition a loop image. Without udev (as in a
# container) the kernel knows a loop device's partitions but nobody makes
# their /dev nodes; partition_nodes makes them in a folder of the caller's.
#
#   partition_nodes <device> <folder>
#
# Asks the kernel for the partitions of <device> (a loop device attached with
# -P), then makes <folder>/<name>pN for each one, N from 1. Fails unless
# partition 1 is there afterwards.
partition_nodes() {
  local device=$1 folder=$2 name part
  name=$(basename "$device")
  partx -a "$device" 2>/dev/null
  mkdir -p "$folder"
  for part in /sys/block/"$name"/"$name"p*; do
    [[ -e $part/dev ]] || continue
    mknod "$folder/$(basename "$part")" b "$(cut -d: -f1 "$part/dev")" \
      "$(cut -d: -f2 "$part/dev")" || return 1
  done
  [[ -b $folder/${name}p1 ]]
}

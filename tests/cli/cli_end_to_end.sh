#!/usr/bin/env bash
# vantrix-wipe from end to end on a described 64 MiB loop image (`losetup -f`):
#   cli_end_to_end.sh <vantrix-wipe> <dir> [<wineprefix> <wine-runner>]
# Partition 1 is wiped as a partition; partition 2 (ext4, mounted) holds the
# file, folder tree and free space wiped. The description shows the image as
# disk 7, and as disk 9 holding the system. Under Wine PhysicalDrive7 is the
# loop device, Q: a scratch folder, R: the mount. Results are checked on the
# image's bytes. Exits 77 (skipped) when not root or no loop device can be
# made; everything made is removed on every path.
set -uo pipefail
source "$(dirname "$0")/../../scripts/partition_nodes.sh"

program=${1:?vantrix-wipe}
dir=${2:?folder}
prefix=${3:-}
runner=${4:-}
image=$dir/disk.img
mnt=$dir/mnt
description=$dir/disks.json
links=()
device=
frozen=
stuck_pid=
btrfs_device=

# A driver loaded under Wine lives as long as its session: like every holder
# of the q7diskio lock, the test lets the session before it end, and its own.
end_wine_session() { [[ -z $prefix ]] || WINEPREFIX=$prefix timeout 600 wineserver --wait; }

cleanup() {
  # A frozen mount is thawed first: the held program ends, the mount can go.
  [[ -n $frozen ]] && fsfreeze -u "$mnt"
  frozen=
  [[ -n $stuck_pid ]] && { kill -KILL "$stuck_pid" 2>/dev/null; wait "$stuck_pid" 2>/dev/null; }
  stuck_pid=
  end_wine_session
  rm -f "${links[@]}"
  [[ -d $mnt/imm ]] && chattr -i "$mnt/imm" 2>/dev/null
  mountpoint -q "$mnt" 2>/dev/null && umount "$mnt"
  mountpoint -q "$dir/btrfs" 2>/dev/null && umount "$dir/btrfs"
  rm -rf "$dir/dev"
  [[ -n $device ]] && losetup -d "$device" 2>/dev/null
  [[ -n $btrfs_device ]] && losetup -d "$btrfs_device" 2>/dev/null
  device=
  btrfs_device=
}
trap cleanup EXIT

# The program sees paths and files in its own system's form (native_path).
source "$(dirname "$0")/../scripts/cli_checks.sh" "vantrix-wipe end to end" "$dir/err.txt" "$runner"

# Every run starts without the report an earlier one wrote.
run() { rm -f "$report"; "${launcher[@]}" "$program" "$@"; }

field() { jq -r "$2" "$1" 2>/dev/null; }
json_lines() { jq -e . "$1" >/dev/null; }

p1_start=2048 p1_sectors=49152 p2_start=51200 p2_sectors=79872
outside_p1() {
  { dd if="$image" bs=512 count=$p1_start status=none
    dd if="$image" bs=512 skip=$p2_start status=none; } | md5sum
}
# The table and partition 1: what a refused wipe of disk 7 or 9 would hit
# first. (Partition 2 is a mounted ext4, which writes in the background.)
up_to_p2() { dd if="$image" bs=512 count=$p2_start status=none | md5sum; }
p1_holds_ff() {
  cmp -s <(dd if="$image" bs=512 skip=$p1_start count=$p1_sectors status=none) \
    <(head -c $((p1_sectors * 512)) /dev/zero | tr '\0' '\377')
}

make_image() {
  mkdir -p "$dir" "$mnt" "$dir/letter-q" && rm -f "$image"
  truncate -s 64M "$image"
  printf 'label: dos\nstart=%d, size=%d, type=83\nstart=%d, size=%d, type=83\n' \
    $p1_start $p1_sectors $p2_start $p2_sectors | sfdisk -q "$image" >/dev/null || return 1
  device=$(losetup -f --show -P "$image" 2>/dev/null) || return 1
  partition_nodes "$device" "$dir/dev" || return 1
  local name
  name=$(basename "$device")
  mkfs.ext4 -q -F -m 0 "$dir/dev/${name}p2" && mount "$dir/dev/${name}p2" "$mnt" || return 1
  local disk='"bytesPerSector":512,"totalSectors":131072,"device":"'$device'"'
  local p1='"number":1,"letter":"Q","startSector":2048,"sizeBytes":25165824,"device":"'$dir/dev/${name}p1'"'
  local p2='"number":2,"letter":"R","startSector":51200,"sizeBytes":40894464,"device":"'$dir/dev/${name}p2'","mount":"'$mnt'"'
  cat >"$description" <<JSON
{"disks":[
 {"number":7,"system":false,$disk,"partitions":[{$p1,"system":false},{$p2,"system":false}]},
 {"number":9,"system":true,$disk,"partitions":[{$p1,"system":true},{$p2,"system":false}]}]}
JSON
  chmod 644 "$description"  # test equipment: root's, writable by root alone
  if [[ -n $prefix ]]; then
    links=("$prefix/dosdevices/physicaldrive7" "$prefix/dosdevices/q:" "$prefix/dosdevices/r:")
    ln -sfn "$device" "${links[0]}" && ln -sfn "$dir/letter-q" "${links[1]}" &&
      ln -sfn "$mnt" "${links[2]}"
  fi
}

[[ $(id -u) -eq 0 ]] || skip "not root"
for tool in losetup sfdisk partx mkfs.ext4 fsfreeze jq; do
  command -v "$tool" >/dev/null || skip "$tool is missing (scripts/setup.sh installs it)"
done
if [[ -n $prefix ]]; then "$runner" --prepare || exit 1; fi
cleanup
# One Wine server for every step. By default the server ends 3 seconds after
# the last program; under load the gap between two steps (a scan of the image,
# jq) passes that, and a program started while the old server is still going
# down and a new one comes up can fail to start at all: wine exits 1 and no
# report is written, so a check reads whatever an earlier step left. Kept up
# for 30 seconds after the last program, the server outlives every gap, and
# ends by itself before the session's end is waited for.
[[ -n $prefix ]] && WINEPREFIX=$prefix wineserver -p30
make_image || skip "cannot attach, partition and mount a loop image here"
export VTX_DEVICE_DESCRIPTION
VTX_DEVICE_DESCRIPTION=$(native_path "$description")
report=$dir/report.json
report_arg=$(native_path "$report")
out=$dir/out.txt
err=$dir/err.txt

echo "--- usage errors, refusals: exit 2 and 4, nothing written"
before=$(up_to_p2)
usage_and_refusals=(
  "2|partition 7|PARTITION is required"
  "2|partition 7 1 --algorithm nosuch --yes|eTypeRussianGOSTP50739"
  "4|partition 9 1 --yes|VTX_ERROR_SYSTEM_DRIVE_CANNOT_WIPPE"
  "4|disk 9 --yes|cannot-wipe-system-drive"
  "4|partition 7 1|no terminal to confirm on"
)
for row in "${usage_and_refusals[@]}"; do
  IFS='|' read -r status arguments text <<<"$row"
  # shellcheck disable=SC2086
  run $arguments </dev/null >"$out" 2>"$err"
  check "'$arguments' exits $status" equals "$?" "$status"
  check "'$arguments' says '$text'" grep -q -- "$text" "$err"
done
run --report "$report_arg" partition 9 1 --yes </dev/null >"$out" 2>"$err"
check "a refusal's report says refused" equals "$(field "$report" .outcome)/$(field "$report" .exitCode)" "refused/4"
check "table and partition 1 untouched by usage errors and refusals" equals "$(up_to_p2)" "$before"

echo "--- a file, with --json and --report"
head -c $((3 * 1024 * 1024 + 1000)) /dev/urandom >"$mnt/file.bin"
printf 'VTX-E2E-FILE-MARKER' | dd of="$mnt/file.bin" bs=1 seek=2000000 conv=notrunc status=none
run --json --report "$report_arg" file "$(native_path "$mnt/file.bin")" >"$out" 2>"$err"
check "file: exit 0" equals "$?" 0
check "file: gone" test ! -e "$mnt/file.bin"
check "file: every line of --json is JSON" json_lines "$out"
check "file: progress records, the finished one last" equals "$(jq -s '(.[:-1] | all(has("msg_status"))) and .[-2].msg_status == 3' "$out")" true
check "file: the last line is the summary" equals "$(tail -n 1 "$out" | jq -r .outcome)" wiped
# (The form of the report's times: WipeReport in tests/cli/ProgramPartsTest.cpp.)
check "file: report target, final record, passes, bytes, times, host, version" equals \
  "$(field "$report" '[.target.sizeBytes, .finalRecord.code, .finalRecord.msgType, .algorithm.passes, .bytesWritten, (.start <= .end and (.start | length) == 24), (.host | length > 0), .moduleVersion] | map(tostring) | join(" ")')" \
  "$((3 * 1024 * 1024 + 1000)) 0 32 1 $((3 * 1024 * 1024 + 1000)) true true 0.1.0"

if [[ -z $runner ]]; then
  echo "--- a task stuck in a frozen file system: ended when the stop is asked again"
  rm -f "$report"
  : >"$out"
  : >"$err"
  head -c $((1024 * 1024)) /dev/urandom >"$mnt/stuck.bin"
  sync -f "$mnt/stuck.bin"
  fsfreeze -f "$mnt" && frozen=1
  "$program" --json --report "$report_arg" file "$mnt/stuck.bin" </dev/null >"$out" 2>"$err" &
  stuck_pid=$!
  # Its stop handlers are in place once it prints progress.
  for _ in $(seq 600); do [[ -s $out ]] || ! kill -0 "$stuck_pid" 2>/dev/null && break; sleep 0.1; done
  # The thread held by the freeze ends only on the thaw, so the program has
  # ended when its main thread has (a zombie until then). Asked every 2 s.
  ended=no
  for _ in $(seq 45); do
    kill -INT "$stuck_pid" 2>/dev/null
    sleep 2
    if ! kill -0 "$stuck_pid" 2>/dev/null ||
      [[ $(sed -n 's/^State:[[:space:]]*//p' "/proc/$stuck_pid/status" 2>/dev/null) == Z* ]]; then
      ended=yes
      break
    fi
  done
  fsfreeze -u "$mnt"
  frozen=
  [[ $ended == yes ]] || kill -KILL "$stuck_pid" 2>/dev/null
  wait "$stuck_pid"
  status=$?
  stuck_pid=
  check "stuck: the program ends while the file system is frozen" equals "$ended" yes
  check "stuck: exit 1" equals "$status" 1
  check "stuck: report says failed, could not be stopped cleanly" equals \
    "$(field "$report" '.outcome, (.message | contains("could not be stopped cleanly"))' | tr '\n' ' ')" \
    "failed true "
  rm -f "$mnt/stuck.bin"
fi

echo "--- a folder tree"
for d in 1 2 3; do
  mkdir -p "$mnt/tree/d$d/e$d"
  for f in $(seq 1 60); do
    printf 'VTX-E2E-TREE-MARKER %d %d\n' "$d" "$f" >"$mnt/tree/d$d/f$f.txt"
    head -c $((f * 700)) /dev/urandom >>"$mnt/tree/d$d/e$d/g$f.bin"
  done
done
run folder "$(native_path "$mnt/tree")" </dev/null >"$out" 2>"$err"
check "folder: exit 0" equals "$?" 0
check "folder: gone" test ! -e "$mnt/tree"

echo "--- description files that are none: exit 1 at once, the reason said"
bad=$dir/bad-descriptions
rm -rf "$bad" && mkdir -p "$bad/folder.json"
head -c 2000000 /dev/zero | tr '\0' '[' >"$bad/deep.json"
{ printf '{"disks":['
  seq 0 199999 | sed 's/.*/{"number":&,"bytesPerSector":512,"totalSectors":1},/'
  printf '{"number":200000,"bytesPerSector":512,"totalSectors":1}]}'; } >"$bad/many.json"
printf '{"disks":[],"disks":[]}' >"$bad/twice.json"
descriptions=("$bad/folder.json|not a regular file" "$bad/deep.json|nested deeper"
  "$bad/many.json|larger than 4 MiB" "$bad/twice.json|given twice")
if [[ -z $runner ]]; then
  mkfifo "$bad/fifo.json"
  cp "$description" "$bad/writable.json" && chmod 666 "$bad/writable.json"
  descriptions+=("$bad/fifo.json|not a regular file" "/dev/zero|not a regular file"
    "$bad/writable.json|writable by others")
fi
for row in "${descriptions[@]}"; do
  IFS='|' read -r named text <<<"$row"
  VTX_DEVICE_DESCRIPTION=$(native_path "$named") timeout 60 "${launcher[@]}" "$program" disks \
    </dev/null >"$out" 2>"$err"
  status=$?
  check "description $(basename "$named"): exit 1" equals "$status" 1
  check "description $(basename "$named"): says '$text'" grep -q -- "$text" "$err"
done
rm -rf "$bad"
check "every run says the disks come from a description" grep -q "not from this machine" "$err"

echo "--- --report through a link, to a missing folder, to a FIFO: refused before the wipe"
echo kept >"$dir/victim"
ln -sfn "$dir/victim" "$dir/link.json"
reports=("$dir/no-folder/report.json|cannot create a file in")
[[ -z $runner ]] && mkfifo "$dir/fifo.json" && reports+=("$dir/link.json|symbolic link" "$dir/fifo.json|not a regular file")
for row in "${reports[@]}"; do
  IFS='|' read -r named text <<<"$row"
  echo kept >"$mnt/kept.bin"
  timeout 60 "${launcher[@]}" "$program" --report "$(native_path "$named")" file \
    "$(native_path "$mnt/kept.bin")" </dev/null >"$out" 2>"$err"
  status=$?
  check "--report $(basename "$named"): exit 2" equals "$status" 2
  check "--report $(basename "$named"): says '$text'" grep -q -- "$text" "$err"
  check "--report $(basename "$named"): the file is not wiped" equals "$(cat "$mnt/kept.bin")" kept
done
check "--report: the link's target is untouched" equals "$(cat "$dir/victim")" kept
rm -f "$dir/victim" "$dir/link.json" "$dir/fifo.json" "$mnt/kept.bin"

echo "--- an immutable folder: overwritten, not removed, exit 1"
mkdir -p "$mnt/imm" && printf 'VTX-E2E-TREE-MARKER imm\n' | tee "$mnt/imm/a" >"$mnt/imm/b"
chattr +i "$mnt/imm"
for target in imm/a imm; do
  kind=file
  [[ $target == imm ]] && kind=folder
  run --report "$report_arg" "$kind" "$(native_path "$mnt/$target")" </dev/null >"$out" 2>"$err"
  check "immutable $kind: exit 1" equals "$?" 1
  check "immutable $kind: report says overwritten, not removed" equals "$(field "$report" '.outcome, .exitCode' | tr '\n' ' ')" "overwritten, not removed 1 "
  check "immutable $kind: says how many names are left" grep -q "names\\? \\(is\\|are\\) left" "$err"
done
chattr -i "$mnt/imm" && rm -rf "$mnt/imm"

if [[ -z $runner ]]; then
  echo "--- SIGHUP and a closed --json reader during a folder wipe"
  make_tree() {
    rm -rf "$mnt/hup" && mkdir -p "$mnt/hup"
    for d in $(seq 1 20); do
      mkdir "$mnt/hup/d$d" && for f in $(seq 1 100); do echo "VTX-E2E-TREE-MARKER $d $f" >"$mnt/hup/d$d/f$f"; done
    done
  }
  make_tree
  rm -f "$report"
  # Emptied first: a signal sent on the last step's output would reach the
  # shell's child before it became the program, and that child would run
  # this script's exit trap.
  : >"$out"
  "$program" --json --report "$report" folder "$mnt/hup" </dev/null >"$out" 2>"$err" &
  pid=$!
  for _ in $(seq 3000); do [[ -s $out ]] && break; sleep 0.02; done
  kill -HUP "$pid"
  wait "$pid"
  status=$?
  outcome=$(field "$report" .outcome)
  check "SIGHUP: a report, stopped (exit 3) or wiped (exit 0)" equals "$outcome/$status" \
    "$([[ $outcome == wiped ]] && echo wiped/0 || echo stopped/3)"
  check "SIGHUP: a wiped tree is gone" test "$outcome" != wiped -o ! -e "$mnt/hup"
  make_tree
  rm -f "$report"
  "$program" --json --report "$report" folder "$mnt/hup" </dev/null 2>"$err" | head -c1 >/dev/null
  check "--json | head -c1: exit 0" equals "${PIPESTATUS[0]}" 0
  check "--json | head -c1: the report says wiped" equals "$(field "$report" .outcome)" wiped
  check "--json | head -c1: the tree is gone" test ! -e "$mnt/hup"
  rm -rf "$mnt/hup"

  echo "--- a FIFO as vantrix.log in the current folder: no hang, nothing written to it"
  logdir=$dir/logdir
  rm -rf "$logdir" && mkdir -p "$logdir" && mkfifo "$logdir/vantrix.log"
  timeout 60 cat "$logdir/vantrix.log" >"$logdir/read.txt" &
  reader=$!
  echo data >"$mnt/fifo-log.bin"
  (cd "$logdir" && timeout 60 "$program" file "$mnt/fifo-log.bin") </dev/null >"$out" 2>"$err"
  status=$?
  kill "$reader" 2>/dev/null
  wait "$reader"
  check "FIFO log: the wipe ends, exit 0" equals "$status" 0
  check "FIFO log: nothing was written into it" test ! -s "$logdir/read.txt" -a -p "$logdir/vantrix.log"
  rm -rf "$logdir"

  echo "--- copy-on-write: a file on btrfs is refused unless accepted"
  mkdir -p "$dir/btrfs" && rm -f "$dir/btrfs.img" && truncate -s 256M "$dir/btrfs.img"
  if command -v mkfs.btrfs >/dev/null && mkfs.btrfs -q -f "$dir/btrfs.img" >/dev/null 2>&1 &&
    btrfs_device=$(losetup -f --show "$dir/btrfs.img" 2>/dev/null) &&
    mount "$btrfs_device" "$dir/btrfs"; then
    head -c 200000 /dev/urandom >"$dir/btrfs/file.bin"
    sync
    sum=$(md5sum <"$dir/btrfs/file.bin")
    run --report "$report_arg" file "$dir/btrfs/file.bin" </dev/null >"$out" 2>"$err"
    check "btrfs: exit 4" equals "$?" 4
    check "btrfs: says what works there" grep -q "free space of the volume" "$err"
    check "btrfs: the file's bytes are untouched" equals "$(md5sum <"$dir/btrfs/file.bin")" "$sum"
    run --report "$report_arg" file --allow-copy-on-write "$dir/btrfs/file.bin" </dev/null >"$out" 2>"$err"
    check "btrfs accepted: exit 0" equals "$?" 0
    check "btrfs accepted: the report says the old bytes may remain" grep -q "btrfs.*old bytes may remain" <(field "$report" .caveat)
  else
    echo "skip  btrfs: cannot make and mount a btrfs image here"
  fi
  mountpoint -q "$dir/btrfs" && umount "$dir/btrfs"
  [[ -n $btrfs_device ]] && losetup -d "$btrfs_device"
  btrfs_device=
  rm -f "$dir/btrfs.img"
fi

echo "--- the free space of partition 2"
# ext4 keeps clusters back for its own metadata that no file can take: the
# report says so. With none kept back every free block is the wipe's, and no
# marker of the files deleted above may survive.
reserve=/sys/fs/ext4/$(basename "$(readlink "/sys/dev/block/$(mountpoint -d "$mnt")")")/reserved_clusters
if [[ -z $runner ]]; then
  run --report "$report_arg" free-space 7 2 </dev/null >"$out" 2>"$err"
  check "free space kept back: exit 0" equals "$?" 0
  check "free space kept back: the report says what ext4 keeps" \
    grep -q "ext4 keeps [1-9][0-9]* bytes of its free space.*old bytes there may remain" <(field "$report" .caveat)
fi
echo 0 >"$reserve"
run --report "$report_arg" free-space 7 2 </dev/null >"$out" 2>"$err"
check "free space: exit 0" equals "$?" 0
check "free space: no caveat" equals "$(field "$report" .caveat)" null
check "free space: report says wiped" equals "$(field "$report" .outcome)" wiped
check "free space: the working folder is gone" test -z "$(ls -A "$mnt" | grep -v '^lost+found$')"
umount "$mnt"
check "no marker is left in the raw image" test "$(grep -c -a -E 'VTX-E2E-(FILE|TREE)-MARKER' "$image")" = 0

echo "--- partition 1, three passes, --verify"
before=$(outside_p1)
run --report "$report_arg" partition 7 1 --algorithm usdod522022me --yes --verify </dev/null >"$out" 2>"$err"
check "partition: exit 0" equals "$?" 0
check "partition: verified" equals "$(field "$report" '.verification.result, .algorithm.type, .algorithm.passes' | tr '\n' ' ')" "passed 19 3 "
check "partition: every byte of partition 1 holds 0xFF" p1_holds_ff
check "partition: table and partition 2 unchanged" equals "$(outside_p1)" "$before"

echo "--- --verify fails when a sector changes after the wipe"
# With the time byte as its pattern the program waits for the clock to move
# before it reads back: it is held (SIGSTOP) once the finished record is out,
# a sector changed, and let go. "Verifying" already said: tried again.
last=$((p1_start + p1_sectors - 1))
status=
for attempt in 1 2 3 4 5; do
  : >"$out"
  : >"$err"
  rm -f "$report"
  "${launcher[@]}" "$program" --json --report "$report_arg" partition 7 1 --algorithm 17 --yes \
    --verify </dev/null >"$out" 2>"$err" &
  pid=$!
  while kill -0 "$pid" 2>/dev/null && ! grep -q '"msg_status":3' "$out"; do sleep 0.01; done
  kill -STOP "$pid" 2>/dev/null
  if grep -q Verifying "$err"; then
    kill -CONT "$pid" 2>/dev/null
    wait "$pid"
    continue
  fi
  printf 'CHANGED' | dd of="$device" bs=512 seek=$last conv=sync oflag=direct status=none
  kill -CONT "$pid"
  wait "$pid"
  status=$?
  break
done
check "changed sector: exit 1" equals "$status" 1
check "changed sector: named in the report" equals "$(field "$report" '.verification.result, .verification.firstMismatchSector' | tr '\n' ' ')" "failed $last "

echo "--- a stop by signal: exit 3, nothing written outside the target"
signals=(INT)
[[ -z $runner ]] && signals+=(TERM)
for signal in "${signals[@]}"; do
  before=$(outside_p1)
  # Seven passes; a wipe that ended before the signal came is tried again.
  for attempt in 1 2 3; do
    : >"$out"
    # Started directly, so that the signal reaches the program.
    rm -f "$report"
    "${launcher[@]}" "$program" --json --report "$report_arg" partition 7 1 --algorithm 20 \
      --yes </dev/null >"$out" 2>"$err" &
    pid=$!
    # Asked as soon as its stop handlers are in place (it then says what it
    # wipes), so that even a fast disk is stopped inside the wipe.
    for _ in $(seq 600); do grep -q '^Wiping' "$err" && break; sleep 0.02; done
    kill -"$signal" "$pid"
    wait "$pid"
    status=$?
    [[ $(field "$report" .outcome) == wiped ]] || break
  done
  check "SIG$signal: exit 3" equals "$status" 3
  check "SIG$signal: report says stopped with a stop code" equals "$(field "$report" '.outcome, (.finalRecord.code % 4096 == 27)' | tr '\n' ' ')" "stopped true "
  check "SIG$signal: table and partition 2 unchanged" equals "$(outside_p1)" "$before"
done

echo "vantrix-wipe end to end: $failures failure(s)"
[[ $failures -eq 0 ]] && rm -f "$image"
[[ $failures -eq 0 ]]

#!/usr/bin/env bash
# vantrix-wipe purge on a described 16 MiB loop image (`losetup -f`), natively:
#   cli_purge.sh <vantrix-wipe> <dir> [<wineprefix> <wine-runner>]
# A loop device takes discard and reports no drive command set, so the
# listing offers "discard" only. Refused with nothing changed: a method the
# drive does not report, no confirmation, a mounted partition, an unknown
# method. Then a discard purge, read back on a sample and then whole, leaves
# every byte zero and says "purged" and "Purge"; check-report accepts the
# report and the certificate calls the disk purged. The drives' own commands
# are tested in the emulator (tests/purge/emulator). Under Wine, which has no
# disks to send commands to, the Windows build lists a described disk as one
# that cannot be asked and fails its purge (exit 1, a "failed" report) cleanly.
# Exits 77 (skipped) when not root, a tool is missing or no loop device can
# be made; everything made is removed on every path.
set -uo pipefail

program=${1:?vantrix-wipe}
dir=${2:?folder}
runner=${4:-}
image=$dir/disk.img
description=$dir/disks.json
device=

cleanup() {
  [[ -n $device ]] && losetup -d "$device" 2>/dev/null
  device=
}
trap cleanup EXIT

source "$(dirname "$0")/../scripts/cli_checks.sh" "vantrix-wipe purge" "$dir/err.txt" "$runner"

field() { jq -r "$2" "$1" 2>/dev/null; }
last_line() { tail -n 1 "$1" >"$1.last" && field "$1.last" "$2"; }
holds() { grep -qF -- "$2" "$1" || { echo "      '$2' is not in $1"; return 1; }; }
image_sum() { md5sum <"$image" | cut -d' ' -f1; }
all_zero() { cmp -s -n $((16 << 20)) "$image" /dev/zero; }

# The image full of noise, attached, and described as disk 7 with one
# partition; a second argument mounts that partition in the description.
describe() {
  local mount=${1:-}
  cat >"$description" <<JSON
{"disks":[{"number":7,"system":false,"bytesPerSector":512,"totalSectors":32768,"device":"$device",
 "vendor":"VTX","model":"VTX PURGE TEST DISK","serial":"VTX-PURGE-0001",
 "partitions":[{"number":1,"startSector":2048,"sizeBytes":$((28672 * 512)),"device":"$device",
   "mount":"$mount","system":false}]}]}
JSON
}
fill_with_noise() { dd if=/dev/urandom of="$image" bs=1M count=16 conv=notrunc status=none; }

# The Windows build on a disk Wine cannot open.
wine_purge() {
  "$runner" --prepare || exit 1
  cat >"$description" <<'JSON'
{"disks":[{"number":7,"system":false,"bytesPerSector":512,"totalSectors":32768,
 "device":"\\\\.\\PhysicalDrive7","model":"VTX PURGE TEST DISK","serial":"VTX-PURGE-0001"}]}
JSON
  export VTX_DEVICE_DESCRIPTION
  VTX_DEVICE_DESCRIPTION=$(native_path "$description")
  "$runner" "$program" disks --json >"$out" 2>"$err"
  check "Windows: disks --json: exit 0" equals "$?" 0
  check "Windows: the disk that cannot be asked says why" test -n \
    "$(field "$out" '.disks[] | select(.number == 7) | .purge.error // empty')"
  "$runner" "$program" --report "$(native_path "$report")" purge 7 --yes </dev/null >"$out" 2>"$err"
  check "Windows: purge: exit 1" equals "$?" 1
  check "Windows: the report says failed, with no category" equals \
    "$(field "$report" '[.outcome, .sanitization.category // "none"] | join("|")')" "failed|none"
  echo "vantrix-wipe purge (Windows): $failures failure(s)"
  [[ $failures -eq 0 ]] && rm -rf "$dir"
  [[ $failures -eq 0 ]]
  exit
}

[[ -n $runner ]] && command -v jq >/dev/null && mkdir -p "$dir" && {
  out=$dir/out.txt err=$dir/err.txt report=$dir/report.json
  : >"$err"
  wine_purge
}
[[ $(id -u) -eq 0 ]] || skip "not root"
for tool in losetup jq cmp; do
  command -v "$tool" >/dev/null || skip "$tool is missing (scripts/setup.sh installs it)"
done
mkdir -p "$dir"
out=$dir/out.txt
err=$dir/err.txt
report=$dir/report.json
: >"$err"
rm -f "$image" "$report"
truncate -s 16M "$image" && fill_with_noise
device=$(losetup -f --show "$image" 2>/dev/null) || skip "cannot attach a loop image here"
describe
export VTX_DEVICE_DESCRIPTION=$description

echo "--- what the listing says the loop disk can do"
"$program" disks --json >"$out" 2>"$err"
check "disks --json: exit 0" equals "$?" 0
check "disk 7 offers discard and no drive command" equals \
  "$(field "$out" '.disks[] | select(.number == 7) | .purge | [.transport, (.methods | join(","))] | join("|")')" \
  "|discard"

echo "--- refusals leave every byte as it was"
before=$(image_sum)
"$program" purge 7 --method nvme-format --yes </dev/null >"$out" 2>"$err"
check "a method the drive does not report: exit 4" equals "$?" 4
check "... and says how to send it anyway" holds "$err" "--try-unreported"
"$program" purge 7 --method discard </dev/null >"$out" 2>"$err"
check "no terminal and no --yes: exit 4" equals "$?" 4
"$program" purge 7 --method shred --yes </dev/null >"$out" 2>"$err"
check "an unknown method: exit 2" equals "$?" 2
describe /mnt/vtx-purge-test
"$program" --report "$report" purge 7 --method discard --yes </dev/null >"$out" 2>"$err"
check "a mounted partition: exit 4" equals "$?" 4
check "... recorded as refused" equals "$(field "$report" .outcome)" refused
describe
check "the image is unchanged" equals "$(image_sum)" "$before"
rm -f "$report"

echo "--- discard, read back on a sample"
"$program" --json --report "$report" purge 7 --method discard --yes </dev/null >"$out" 2>"$err"
check "purge: exit 0" equals "$?" 0
check "every byte reads zero" all_zero
check "the summary says purged, Purge, sampled" equals \
  "$(last_line "$out" '[.outcome, .sanitization.category, .verification.result, .purge.readBack.whole] | join("|")')" \
  "purged|Purge|sampled|false"
check "the report names the sample" test -n "$(field "$report" '.purge.readBack.sample')"
"$program" check-report "$report" >"$out" 2>"$err"
check "check-report: exit 0" equals "$?" 0
if command -v pdftotext >/dev/null; then
  "$program" certificate "$report" -o "$dir/c.pdf" >"$out" 2>"$err"
  pdftotext "$dir/c.pdf" "$dir/c.txt" 2>>"$err"
  check "the certificate says purged" holds "$dir/c.txt" "PURGED, SAMPLE VERIFIED"
fi
rm -f "$report" "$dir/c.pdf" "$dir/c.txt"

echo "--- discard with --verify: every sector read back"
fill_with_noise
"$program" --json purge 7 --method discard --yes --verify </dev/null >"$out" 2>"$err"
check "purge --verify: exit 0" equals "$?" 0
check "every byte reads zero" all_zero
check "the whole disk was read back and passed" equals \
  "$(last_line "$out" '[.verification.result, .purge.readBack.bytesRead] | join("|")')" \
  "passed|$((16 << 20))"

echo "vantrix-wipe purge: $failures failure(s)"
[[ $failures -eq 0 ]] && rm -rf "$dir"
[[ $failures -eq 0 ]]

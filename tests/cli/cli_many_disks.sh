#!/usr/bin/env bash
# vantrix-wipe on several described loop disks at once (`losetup -f`):
#   cli_many_disks.sh <vantrix-wipe> <dir> [<wineprefix> <wine-runner>]
# Disks 1 to 3 are 32 MiB images (on an ext4 of their own) described as the drives they stand for
# (model, serial, transport; disk 3 tells no serial), disk 4 is marked as
# holding the system, and disk 5's image lies on a 8 MiB tmpfs, so that its
# writes fail once the tmpfs is full. Every step fills the images with random
# bytes first and checks them afterwards byte for byte. Exits 77 (skipped)
# when not root or no loop device can be made; everything made is removed on
# every path. Under Wine disk N is PhysicalDriveN of the prefix, and the
# question in a terminal is left out.
set -uo pipefail

program=${1:?vantrix-wipe}
dir=${2:?folder}
prefix=${3:-}
runner=${4:-}
links=()
description=$dir/disks.json
full=$dir/full
held=$dir/held # an ext4 holding the images of disks 1 to 3, frozen to hold their writes
held_device=
frozen=
sectors=65536 # 32 MiB
devices=()

# A driver loaded under Wine lives as long as its session: the test lets the
# session before it end, and its own.
end_wine_session() { [[ -z $prefix ]] || WINEPREFIX=$prefix timeout 600 wineserver --wait; }

cleanup() {
  [[ -n $frozen ]] && fsfreeze -u "$held"
  frozen=
  end_wine_session
  rm -f "${links[@]}"
  links=()
  local device
  for device in "${devices[@]}"; do losetup -d "$device" 2>/dev/null; done
  devices=()
  mountpoint -q "$full" 2>/dev/null && umount "$full"
  mountpoint -q "$held" 2>/dev/null && umount "$held"
  [[ -n $held_device ]] && losetup -d "$held_device" 2>/dev/null
  held_device=
}
trap cleanup EXIT

source "$(dirname "$0")/../scripts/cli_checks.sh" "vantrix-wipe on many disks" "$dir/err.txt" "$runner"

run() { "${launcher[@]}" "$program" "$@"; }

# The images are written and read through their loop devices, bypassing the
# caches (a loop device may use direct I/O on its image).
image_of() { if [[ $1 == 5 ]]; then echo "$full/disk5.img"; else echo "$held/disk$1.img"; fi; }
fill() { local n; for n in "$@"; do dd if=/dev/urandom of="${devices[n]}" bs=1M count=32 oflag=direct status=none; done; }
bytes_of() { dd if="${devices[$1]}" bs=1M iflag=direct status=none; }
sums() { local n; for n in "$@"; do bytes_of "$n" | md5sum; done; }
# What eTypeWriteZero leaves on every byte: 0xFF.
wiped() { cmp -s <(bytes_of "$1") <(head -c $((sectors * 512)) /dev/zero | tr '\0' '\377'); }

make_disks() {
  mkdir -p "$dir" "$full" "$held" || return 1
  mount -t tmpfs -o size=8M vtx-many-disks "$full" || return 1
  rm -f "$dir/held.img" && truncate -s 160M "$dir/held.img" || return 1
  held_device=$(losetup -f --show "$dir/held.img" 2>/dev/null) || return 1
  mkfs.ext4 -q -F "$held_device" && mount -o noatime "$held_device" "$held" || return 1
  local n
  for n in 1 2 3 5; do
    rm -f "$(image_of "$n")" && truncate -s 32M "$(image_of "$n")" || return 1
    devices[n]=$(losetup -f --show "$(image_of "$n")" 2>/dev/null) || return 1
  done
  local geometry='"bytesPerSector":512,"totalSectors":'$sectors
  cat >"$description" <<JSON
{"disks":[
 {"number":1,$geometry,"device":"${devices[1]}","vendor":"ATA","model":"WDC WD10EZEX-08WN4A0",
  "serial":"WD-WCC6Y0000001","firmware":"01.01A01","wwn":"naa.50014ee2b0000001",
  "transport":"sata","rotational":true},
 {"number":2,$geometry,"device":"${devices[2]}","model":"Samsung SSD 970 EVO Plus 1TB",
  "serial":"S4EWNX0R000002","firmware":"2B2QEXM7","transport":"nvme","rotational":false},
 {"number":3,$geometry,"device":"${devices[3]}","vendor":"Generic","model":"USB Flash Disk",
  "transport":"usb","rotational":null},
 {"number":4,"system":true,$geometry,"device":"${devices[2]}","model":"System SSD",
  "serial":"SYS-0004","transport":"nvme","rotational":false},
 {"number":5,$geometry,"device":"${devices[5]}","model":"Failing Disk","serial":"FAIL-0005",
  "transport":"sata","rotational":true}]}
JSON
  if [[ -n $prefix ]]; then
    for n in 1 2 3 4 5; do
      links[n]=$prefix/dosdevices/physicaldrive$n
      ln -sfn "${devices[n]:-${devices[2]}}" "${links[n]}" || return 1
    done
  fi
}

[[ $(id -u) -eq 0 ]] || skip "not root"
for tool in losetup mkfs.ext4 fsfreeze jq python3; do
  command -v "$tool" >/dev/null || skip "$tool is missing (scripts/setup.sh installs it)"
done
if [[ -n $prefix ]]; then "$runner" --prepare || exit 1; fi
cleanup
make_disks || skip "cannot mount a tmpfs and attach loop images here"
export VTX_DEVICE_DESCRIPTION
VTX_DEVICE_DESCRIPTION=$(native_path "$description")
out=$dir/out.txt
err=$dir/err.txt
reports=$dir/reports
reports_arg=$(native_path "$reports/")

echo "--- disks --json: each drive's identity, null where unknown"
run disks --json >"$out" 2>"$err"
check "disks --json: exit 0" equals "$?" 0
check "disks --json: identities" equals \
  "$(jq -c '[.disks[] | [.number, .model, .serial, .transport, .rotational, .sizeBytes]]' "$out")" \
  "$(jq -nc --argjson s $((sectors * 512)) '[[1,"WDC WD10EZEX-08WN4A0","WD-WCC6Y0000001","sata",true,$s],
    [2,"Samsung SSD 970 EVO Plus 1TB","S4EWNX0R000002","nvme",false,$s],[3,"USB Flash Disk",null,"usb",null,$s],
    [4,"System SSD","SYS-0004","nvme",false,$s],[5,"Failing Disk","FAIL-0005","sata",true,$s]]')"
check "disks --json: disk 1's vendor, firmware and WWN; disk 2 tells no vendor" equals \
  "$(jq -c '[.disks[0].vendor, .disks[0].firmware, .disks[0].wwn, .disks[1].vendor]' "$out")" \
  '["ATA","01.01A01","naa.50014ee2b0000001",null]'

echo "--- a system disk among the targets: exit 4, nothing written"
fill 1 2 3
before=$(sums 1 2 3)
rm -rf "$reports"
run --report "$reports_arg" disk 1 2 3 4 --yes </dev/null >"$out" 2>"$err"
check "system among targets: exit 4" equals "$?" 4
check "system among targets: no image changed" equals "$(sums 1 2 3)" "$before"
check "system among targets: four reports, all refused" equals \
  "$(jq -s -c '[.[].outcome] | unique + [length]' "$reports"/*.json)" '["refused",4]'

echo "--- three disks at once, --verify, one report each"
fill 1 2 3
rm -rf "$reports"
run --report "$reports_arg" disk 1 2 3 --yes --verify </dev/null >"$out" 2>"$err"
check "three disks: exit 0" equals "$?" 0
for n in 1 2 3; do check "three disks: every byte of disk $n holds the pattern" wiped "$n"; done
check "three disks: reports named by serial" equals \
  "$(cd "$reports" && ls | sed -E 's/-[0-9]{8}T[0-9]{6}Z/-TIME/' | sort | tr '\n' ' ')" \
  "disk-3-no-serial-TIME.json disk-S4EWNX0R000002-TIME.json disk-WD-WCC6Y0000001-TIME.json "
check "three disks: wiped, verified, identity and machine in each report" equals \
  "$(jq -s -c 'sort_by(.target.disk) | map([.target.disk, .outcome, .verification.result, .target.model, .target.serial, (.machine | has("serial"))])' "$reports"/*.json)" \
  '[[1,"wiped","passed","WDC WD10EZEX-08WN4A0","WD-WCC6Y0000001",true],[2,"wiped","passed","Samsung SSD 970 EVO Plus 1TB","S4EWNX0R000002",true],[3,"wiped","passed","USB Flash Disk",null,true]]'
check "three disks: the wipes ran at once (every start before every end)" equals \
  "$(jq -s '(map(.start) | max) < (map(.end) | min)' "$reports"/*.json)" true

echo "--- --all (every disk but the system one) while one fails midway (its image fills a tmpfs): it fails alone"
fill 1 2 3
rm -rf "$reports"
run --report "$reports_arg" disk --all --yes </dev/null >"$out" 2>"$err"
status=$?
check "failing disk: every byte of disks 1 to 3 holds the pattern" eval 'wiped 1 && wiped 2 && wiped 3'
# Under Wine the driver's writes land in the loop device's cache (Wine does
# not write through), so the full tmpfs is not seen: disk 5 is left out there.
if [[ -z $runner ]]; then
  check "failing disk: exit 1" equals "$status" 1
  check "failing disk: outcomes" equals \
    "$(jq -s -c 'sort_by(.target.disk) | map([.target.disk, .outcome])' "$reports"/*.json)" \
    '[[1,"wiped"],[2,"wiped"],[3,"wiped"],[5,"failed"]]'
fi

echo "--- usage errors: exit 2"
for arguments in "disk" "disk 1 1" "disk 1 --all"; do
  # shellcheck disable=SC2086
  run $arguments </dev/null >"$out" 2>"$err"
  check "'$arguments' exits 2" equals "$?" 2
done

echo "--- SIGINT stops all three: exit 3"
# Natively the images' file system is frozen while the program starts, so the
# disks' writes wait until the stop was asked: however fast the disks are, the
# wipes cannot end first. (Under Wine the driver host's writes are cached, so
# a wipe may still end first there: it is tried again.)
for attempt in 1 2 3; do
  fill 1 2 3
  before=$(sums 1 2 3)
  rm -rf "$reports"
  : >"$err"
  fsfreeze -f "$held" && frozen=1
  # Started directly, so that the signal reaches the program.
  "${launcher[@]}" "$program" --json --report "$reports_arg" disk 1 2 3 --algorithm 20 --yes </dev/null >"$out" 2>"$err" &
  pid=$!
  # Its stop handlers are in place once it says what it wipes.
  for _ in $(seq 600); do grep -q '^Wiping 3 disks' "$err" && break; sleep 0.1; done
  kill -INT "$pid"
  [[ -n $frozen ]] && fsfreeze -u "$held"
  frozen=
  wait "$pid"
  status=$?
  [[ $(jq -s '[.[].outcome] | index("wiped")' "$reports"/*.json) == null ]] && break
done
check "SIGINT: exit 3" equals "$status" 3
check "SIGINT: every report says stopped" equals \
  "$(jq -s -c '[.[].outcome] | unique + [length]' "$reports"/*.json)" '["stopped",3]'
check "SIGINT: progress lines name their disks" equals \
  "$(jq -s -c '[.[] | select(has("msg_status")) | .disk] | unique' "$out")" '[1,2,3]'

if [[ -z $runner ]]; then
echo "--- the listing changes while the question waits: the confirmed disk or none"
fill 1 3
before=$(sums 1 3)
changed=$(jq -c --arg other "${devices[3]}" '.disks[0].device = $other' "$description")
python3 - "$program" "$description" "$changed" >"$out" 2>"$err" <<'PY'
import os, pty, select, sys, time
program, description, changed = sys.argv[1:4]
pid, fd = pty.fork()
if pid == 0:
    os.execv(program, [program, "disk", "1"])
seen, deadline = b"", time.time() + 300
def read_some():
    global seen
    if select.select([fd], [], [], 1)[0]:
        try:
            chunk = os.read(fd, 4096)
        except OSError:
            return False
        if not chunk:
            return False
        seen += chunk
    return time.time() < deadline
while b"Type the disk number" not in seen and read_some():
    pass
with open(description, "w") as f:
    f.write(changed)
os.write(fd, b"1\n")
while read_some():
    pass
_, status = os.waitpid(pid, 0)
sys.stderr.write(seen.decode(errors="replace"))
print(os.waitstatus_to_exitcode(status))
PY
check "changed listing: the wipe fails (exit 1)" equals "$(cat "$out")" 1
check "changed listing: the other disk is untouched" equals "$(sums 3)" "$(echo "$before" | tail -n 1)"
check "changed listing: the confirmed disk is untouched" equals "$(sums 1)" "$(echo "$before" | head -n 1)"
fi

echo "vantrix-wipe on many disks: $failures failure(s)"
[[ $failures -eq 0 ]] && rm -rf "$dir"/*.img "$reports"
[[ $failures -eq 0 ]]

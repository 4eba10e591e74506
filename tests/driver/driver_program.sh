#!/usr/bin/env bash
# vantrix-wipe and the disk-I/O driver, on an 8 MiB loop disk of random bytes
# with 2048-byte sectors (`losetup -f`), described as disk 6: a whole-disk
# wipe read back by the program (--verify) and checked on the disk's bytes.
# Under Wine (PhysicalDrive6) also: a "q7diskio" service that loads another
# file is refused with nothing written; the program started in a folder
# holding a planted drivers\q7diskio.sys installs its own driver; and the
# service the wipe started is stopped afterwards (checked while the Wine
# session still lives). Exits 77 (skipped) when not root or no loop device
# can be attached; everything made is removed on every path.
#
#   driver_program.sh <vantrix-wipe> <dir> [<wineprefix> <wine-runner>]
set -uo pipefail
program=${1:?vantrix-wipe}
dir=${2:?folder}
prefix=${3:-}
runner=${4:-}
image=$dir/disk.img
device=
link=
keeper=

end_wine_session() { [[ -z $prefix ]] || WINEPREFIX=$prefix timeout 600 wineserver --wait; }
cleanup() {
  if [[ -n $keeper ]]; then
    exec 8>&-
    kill "$keeper" 2>/dev/null
    wait "$keeper"
    keeper=
  fi
  end_wine_session
  [[ -n $link ]] && rm -f "$link"
  [[ -n $device ]] && losetup -d "$device"
  device=
}
trap cleanup EXIT
source "$(dirname "$0")/../scripts/cli_checks.sh" "driver program" "$dir/err.txt" "$runner"
run() { "${launcher[@]}" "$program" "$@" </dev/null >"$dir/out.txt" 2>"$dir/err.txt"; }

exits() { [[ $status == "$1" ]]; }
untouched() { cmp -s "$device" "$dir/before.img"; }
holds_ff() { cmp -s "$device" <(head -c 8M /dev/zero | tr '\0' '\377'); }

[[ $(id -u) -eq 0 ]] || skip "not root"
mkdir -p "$dir" && rm -rf "${dir:?}"/*
head -c 8M /dev/urandom >"$image" && cp "$image" "$dir/before.img" || exit 1
device=$(losetup -f --show --sector-size 2048 "$image" 2>/dev/null) ||
  skip "no loop device with 2048-byte sectors can be attached"
cat >"$dir/disks.json" <<JSON
{"disks":[{"number":6,"system":false,"bytesPerSector":2048,"totalSectors":4096,
  "device":"$device","partitions":[]}]}
JSON
export VTX_DEVICE_DESCRIPTION
VTX_DEVICE_DESCRIPTION=$(native_path "$dir/disks.json")

if [[ -z $prefix ]]; then
  run disk 6 --yes --verify
  status=$?
  check "2048-byte sectors: exit 0" exits 0
  check "2048-byte sectors: every byte holds 0xFF" holds_ff
  exit $((failures > 0))
fi

"$runner" --prepare || exit 1
end_wine_session
link=$prefix/dosdevices/physicaldrive6
ln -sfn "$device" "$link"
# A Wine process that keeps the session (and a loaded driver) alive until the
# script closes fd 8.
mkfifo "$dir/keep"
"$runner" cmd /c pause <"$dir/keep" >/dev/null 2>&1 &
keeper=$!
exec 8>"$dir/keep"
sc() { "$runner" sc "$@" 2>/dev/null | tr -d '\r'; }
planted=$dir/start/drivers/q7diskio.sys
mkdir -p "$(dirname "$planted")" && printf 'MZ planted, not a driver' >"$planted"
own=$(native_path "$(dirname "$program")/drivers/q7diskio.sys")

echo "--- a service \"q7diskio\" that loads another file"
sc delete q7diskio >/dev/null
sc create q7diskio type= kernel start= demand binPath= "$(native_path "$planted")" >/dev/null
(cd "$dir/start" && run disk 6 --yes)
status=$?
check "foreign service: exit 1" exits 1
check "foreign service: the message names the file it loads" \
  grep -qF "loads $(native_path "$planted"), not this program's driver" "$dir/err.txt"
check "foreign service: nothing written" untouched
sc delete q7diskio >/dev/null

echo "--- started in a folder holding a planted driver"
(cd "$dir/start" && run disk 6 --yes --verify)
status=$?
check "planted driver: exit 0" exits 0
check "planted driver: every byte holds 0xFF" holds_ff
image_path=$("$runner" reg query 'HKLM\System\CurrentControlSet\Services\q7diskio' /v ImagePath \
  2>/dev/null | tr -d '\r')
check "planted driver: the service loads the program's own driver" grep -qiF "$own" <<<"$image_path"
# A stop may still be pending when the program ends: waited for, up to 30 s.
stopped() {
  for _ in $(seq 60); do
    sc query q7diskio | grep -qE 'STATE +: 1 +STOPPED' && return 0
    sleep 0.5
  done
  return 1
}
check "after the wipe: the service is stopped" stopped
sc delete q7diskio >/dev/null
exit $((failures > 0))

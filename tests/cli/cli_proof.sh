#!/usr/bin/env bash
# vantrix-wipe's proof of erasure on a described 16 MiB loop image (`losetup -f`):
#   cli_proof.sh <vantrix-wipe> <dir> [<wineprefix> <wine-runner>]
# Partition 1 of disk 7 is wiped with --verify, --report, --sign,
# --certificate, --operator and --organisation; the signature is checked with
# openssl, the certificate read with pdftotext, the report with check-report
# (also after one byte of it changed); a certificate is rendered from a
# report alone; a stopped wipe's certificate does not call the disk erased.
# Exits 77 (skipped) when not root, a tool is missing or no loop device can
# be made; everything made is removed on every path.
set -uo pipefail
source "$(dirname "$0")/../../scripts/partition_nodes.sh"

program=${1:?vantrix-wipe}
dir=${2:?folder}
runner=${4:-}
image=$dir/disk.img
description=$dir/disks.json
device=

cleanup() {
  rm -rf "$dir/dev"
  [[ -n $device ]] && losetup -d "$device" 2>/dev/null
  device=
}
trap cleanup EXIT

source "$(dirname "$0")/../scripts/cli_checks.sh" "vantrix-wipe proof of erasure" "$dir/err.txt" "$runner"

field() { jq -r "$2" "$1" 2>/dev/null; }
holds() { grep -qF -- "$2" "$1" || { echo "      '$2' is not in $1"; return 1; }; }

p1_start=2048 p1_sectors=28672
p1_sum() { dd if="$image" bs=512 skip=$p1_start count=$p1_sectors status=none | md5sum; }

make_image() {
  rm -f "$image"
  truncate -s 16M "$image"
  printf 'label: dos\nstart=%d, size=%d, type=83\n' $p1_start $p1_sectors |
    sfdisk -q "$image" >/dev/null || return 1
  device=$(losetup -f --show -P "$image" 2>/dev/null) || return 1
  partition_nodes "$device" "$dir/dev" || return 1
  local name
  name=$(basename "$device")
  cat >"$description" <<JSON
{"disks":[{"number":7,"system":false,"bytesPerSector":512,"totalSectors":32768,"device":"$device",
 "vendor":"VTX","model":"VTX PROOF TEST DISK","serial":"VTX-PROOF-0001",
 "partitions":[{"number":1,"letter":"Q","startSector":$p1_start,"sizeBytes":$((p1_sectors * 512)),
   "device":"$dir/dev/${name}p1","system":false}]}]}
JSON
}

# The Windows build signs and checks through the system (CNG) but renders no
# PDF: a signed file wipe, checked by openssl and by check-report under Wine.
wine_proof() {
  local wdir=Z:${dir//\//\\}
  "$runner" --prepare || exit 1
  head -c 300000 /dev/urandom >"$dir/file.bin"
  "$runner" "$program" --report "$wdir\\report.json" --sign "$wdir\\key.pem" --operator "Olga Operator" \
    file "$wdir\\file.bin" </dev/null >"$out" 2>"$err"
  check "Windows: a signed file wipe exits 0" equals "$?" 0
  check "Windows: openssl accepts the signature" \
    openssl dgst -sha256 -verify "$dir/pub.pem" -signature "$report.sig" "$report"
  "$runner" "$program" check-report "$wdir\\report.json" --key "$wdir\\pub.pem" >"$out" 2>"$err"
  check "Windows: check-report exits 0" equals "$?" 0
  printf 'X' | dd of="$report" bs=1 seek=20 conv=notrunc status=none
  "$runner" "$program" check-report "$wdir\\report.json" --key "$wdir\\pub.pem" >"$out" 2>"$err"
  check "Windows: check-report exits 1 after one byte changed" equals "$?" 1
  "$runner" "$program" certificate "$wdir\\report.json" -o "$wdir\\c.pdf" >"$out" 2>"$err"
  check "Windows: certificate says where to render it" holds "$err" "on Linux"
  head -c 1000 /dev/urandom >"$dir/kept.bin"
  "$runner" "$program" --report "$wdir\\report.json" --certificate "$wdir\\c.pdf" \
    file "$wdir\\kept.bin" </dev/null >"$out" 2>"$err"
  check "Windows: a wipe with --certificate exits 2" equals "$?" 2
  check "... before anything is wiped" test -s "$dir/kept.bin"
  echo "vantrix-wipe proof of erasure (Windows): $failures failure(s); the PDF is left to Linux"
  [[ $failures -eq 0 ]] && rm -rf "$dir"
  [[ $failures -eq 0 ]]
  exit
}

for tool in jq openssl; do
  command -v "$tool" >/dev/null || skip "$tool is missing (scripts/setup.sh installs it)"
done
mkdir -p "$dir"
report=$dir/report.json
certificate=$dir/certificate.pdf
out=$dir/out.txt
err=$dir/err.txt
text=$dir/certificate.txt
: >"$err"
openssl ecparam -name prime256v1 -genkey -noout -out "$dir/key.pem" 2>/dev/null &&
  openssl ec -in "$dir/key.pem" -pubout -out "$dir/pub.pem" 2>/dev/null || skip "openssl cannot make a key"
[[ -z $runner ]] || wine_proof
[[ $(id -u) -eq 0 ]] || skip "not root"
for tool in losetup sfdisk partx pdftotext; do
  command -v "$tool" >/dev/null || skip "$tool is missing (scripts/setup.sh installs it)"
done
cleanup
make_image || skip "cannot attach and partition a loop image here"
export VTX_DEVICE_DESCRIPTION=$description
# The user's configuration names an organisation; the flags win over it.
export XDG_CONFIG_HOME=$dir/config
mkdir -p "$XDG_CONFIG_HOME"
printf '# test\norganisation = Configured Org\n' >"$XDG_CONFIG_HOME/vantrix-wipe.conf"

echo "--- a wrong --sign: exit 2, nothing written"
before=$(p1_sum)
printf 'not a key\n' >"$dir/notakey.pem"
"$program" --sign "$dir/key.pem" partition 7 1 --yes </dev/null >"$out" 2>"$err"
check "--sign without --report exits 2" equals "$?" 2
"$program" --report "$report" --sign "$dir/notakey.pem" partition 7 1 --yes </dev/null >"$out" 2>"$err"
check "a --sign file that is no key exits 2" equals "$?" 2
check "... and names it" holds "$err" "notakey.pem"
check "partition 1 untouched" equals "$(p1_sum)" "$before"
rm -f "$report" "$dir/notakey.pem"

echo "--- partition 1 with --verify, signed, with its certificate"
"$program" --report "$report" --sign "$dir/key.pem" --certificate "$certificate" \
  --operator "Olga Operator" --organisation "Vantrix Test Lab" \
  partition 7 1 --algorithm usdod522022me --yes --verify </dev/null >"$out" 2>"$err"
check "wipe: exit 0" equals "$?" 0
check "openssl accepts the signature" \
  openssl dgst -sha256 -verify "$dir/pub.pem" -signature "$report.sig" "$report"
fingerprint=$(openssl pkey -pubin -in "$dir/pub.pem" -outform DER | sha256sum | cut -d' ' -f1)
check "the report names the key, the organisation of the flag, the operator, Clear" equals \
  "$(field "$report" '[.signature.keyFingerprintSha256, .organisation, .operator, .sanitization.category] | join("|")')" \
  "$fingerprint|Vantrix Test Lab|Olga Operator|Clear"
pdftotext -layout "$certificate" "$text" 2>>"$err"
for expected in "$(field "$report" '.target.model // "not recorded"')" \
  "$(field "$report" '.target.serial // "not recorded"')" "Olga Operator" "Vantrix Test Lab" \
  eTypeUSDOD522022ME "ERASED AND VERIFIED" "passed" "$(sha256sum "$report" | cut -d' ' -f1)" \
  "$fingerprint"; do
  check "the certificate holds '$expected'" holds "$text" "$expected"
done
"$program" check-report "$report" --key "$dir/pub.pem" >"$out" 2>"$err"
check "check-report: exit 0" equals "$?" 0

echo "--- one byte of the report changed"
cp "$report" "$dir/changed.json" && cp "$report.sig" "$dir/changed.json.sig"
printf 'X' | dd of="$dir/changed.json" bs=1 seek=20 conv=notrunc status=none
"$program" check-report "$dir/changed.json" --key "$dir/pub.pem" >"$out" 2>"$err"
check "check-report: exit 1" equals "$?" 1
check "... and says the signature is not valid" holds "$out" "NOT VALID"
rm -f "$dir/changed.json" "$dir/changed.json.sig"

echo "--- a certificate from a report alone"
mkdir -p "$dir/alone" && cp "$report" "$dir/alone/wipe.json"
"$program" certificate "$dir/alone/wipe.json" -o "$dir/alone/wipe.pdf" >"$out" 2>"$err"
check "certificate: exit 0" equals "$?" 0
pdftotext "$dir/alone/wipe.pdf" "$text" 2>>"$err"
check "it holds the report's SHA-256" holds "$text" "$(sha256sum "$report" | cut -d' ' -f1)"
rm -rf "$dir/alone" "$report" "$report.sig" "$certificate"

echo "--- a stopped wipe's certificate"
for attempt in 1 2 3; do
  : >"$out"
  "$program" --json --report "$report" --certificate "$certificate" partition 7 1 --algorithm 20 \
    --yes </dev/null >"$out" 2>"$err" &
  pid=$!
  for _ in $(seq 300); do [[ -s $out ]] && break; sleep 0.02; done
  kill -INT "$pid"
  wait "$pid"
  status=$?
  [[ $(field "$report" .outcome) == wiped ]] || break
done
check "stopped: exit 3" equals "$status" 3
pdftotext "$certificate" "$text" 2>>"$err"
check "the certificate says stopped" holds "$text" "STOPPED BEFORE COMPLETION"
check "... never erased" test -z "$(grep -i erased "$text" | grep -iv 'not erased')"
check "... and the organisation of the configuration" holds "$text" "Configured Org"
"$program" check-report "$report" >"$out" 2>"$err"
check "check-report of the stopped wipe's report: exit 0" equals "$?" 0
rm -f "$report" "$certificate"

echo "vantrix-wipe proof of erasure: $failures failure(s)"
[[ $failures -eq 0 ]] && rm -rf "$dir"
[[ $failures -eq 0 ]]

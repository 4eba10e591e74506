#!/usr/bin/env bash
# vantrix-wipe against real kernel drivers: one boot of an emulated machine
# (QEMU, TCG) with an NVMe controller of two namespaces, a SATA disk on AHCI,
# a SCSI disk on virtio-scsi and two virtio disks, one that unmaps what is
# discarded and one that ignores discards. Every disk is an image file in the
# work folder, filled with a pattern of its own before the boot. The guest
# (purge_guest.sh, guest_init.sh) lists the disks and purges them; this script
# reads the program's answers from the console and the images after the
# guest powered off.
#   purge_emulator.sh <vantrix-wipe> <work folder>
# Exit 77: no emulator, or no kernel to boot.
set -uo pipefail

program=$(realpath "${1:?vantrix-wipe}")
work=${2:?work folder}
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$work"
work=$(cd "$work" && pwd)
err=$work/stderr
# shellcheck source=../../scripts/cli_checks.sh
source "$here/../../scripts/cli_checks.sh" purge_emulator "$err"

image_mib=32
boot_limit=600  # seconds for the whole boot; one run takes well under a minute
images=$work/images
steps=$work/steps
console=$work/console.log

# The pattern disk NAME holds before the boot: a line of its own, repeated.
pattern() { yes "vantrix purge pattern of $1" | head -c $((image_mib << 20)); }
make_images() {
  rm -rf "$images" && mkdir -p "$images"
  local name
  for name in nvme-ns1 nvme-ns2 sata scsi virt-unmap virt-ignore; do
    pattern "$name" >"$images/$name.img"
  done
}

boot() {
  local d=format=raw,if=none,cache=writeback
  timeout -k 10 "$boot_limit" qemu-system-x86_64 -accel tcg -m 1G -smp 1 -nographic -nodefaults \
    -serial stdio -no-reboot -kernel "$work/guest/vmlinuz" -initrd "$work/guest/initramfs.gz" \
    -append 'console=ttyS0 panic=-1 quiet vtx.disks=6' \
    -device nvme,id=nvme0,serial=VTX-NVME-0001 \
    -drive "$d,id=ns1,file=$images/nvme-ns1.img,discard=unmap" -device nvme-ns,drive=ns1,bus=nvme0,nsid=1 \
    -drive "$d,id=ns2,file=$images/nvme-ns2.img,discard=unmap" -device nvme-ns,drive=ns2,bus=nvme0,nsid=2 \
    -device ich9-ahci,id=ahci -drive "$d,id=sata,file=$images/sata.img,discard=unmap" \
    -device ide-hd,drive=sata,bus=ahci.0,serial=VTX-SATA-0001,model=VTX-SATA-DISK \
    -device virtio-scsi-pci,id=scsi0 -drive "$d,id=scsi,file=$images/scsi.img,discard=unmap" \
    -device scsi-hd,drive=scsi,bus=scsi0.0,serial=VTX-SCSI-0001 \
    -drive "$d,id=unmap,file=$images/virt-unmap.img,discard=unmap" \
    -device virtio-blk-pci,drive=unmap,serial=VTX-VIRT-UNMAP \
    -drive "$d,id=ignore,file=$images/virt-ignore.img,discard=ignore" \
    -device virtio-blk-pci,drive=ignore,serial=VTX-VIRT-IGNORE \
    </dev/null >"$console" 2>&1
}

# The console without line feeds' carriage returns and the firmware's
# terminal controls.
console_text() { tr -d '\r' <"$console" | sed 's/\x1b\[[0-9;?]*[A-Za-z]//g; s/\x1bc//g'; }

# Splits the console into steps/NAME.out, NAME.err and NAME.status.
split_steps() {
  rm -rf "$steps" && mkdir -p "$steps"
  console_text | awk -v dir="$steps" '
    /^@@vtx-step / { name = $2; print $3 > (dir "/" name ".status"); file = dir "/" name ".out"; next }
    /^@@vtx-stderr / { file = dir "/" $2 ".err"; next }
    /^@@vtx-end / { file = ""; next }
    file != "" { print > file }'
}

# A step's exit status, and its output's last JSON line (the program's report).
status() { cat "$steps/$1.status" 2>/dev/null || echo missing; }
json() { grep '^{' "$steps/$1.out" 2>/dev/null | tail -n 1; }
# Makes the step's standard error the one a failing check prints.
use_step() { cp "$steps/$1.err" "$err" 2>/dev/null || echo "(the guest ran no step $1)" >"$err"; }

# The disk of `disks --json` with this serial, device or NVMe namespace
# ("nsid:N", as the guest's kernel numbers it), and a field of it.
disk_field() {
  local disk=$1
  [[ $disk == nsid:* ]] &&
    disk=/dev/$(awk -v n="${disk#nsid:}" '$5 == n { print $1 }' "$steps/block-limits.out")
  json disks | jq -r --arg d "$disk" "[.disks[] | select(.serial == \$d or .device == \$d)][0] | $2"
}

one_of() {
  local got=$1
  shift
  [[ " $* " == *" $got "* ]] || { echo "      got '$got', expected one of: $*"; return 1; }
}
matches() { grep -qiE "$2" <<<"$1" || { echo "      got '$1', expected words matching $2"; return 1; }; }

holds_pattern() { cmp -s "$images/$1.img" <(pattern "$1"); }
holds_zeros() { cmp -s -n $((image_mib << 20)) "$images/$1.img" /dev/zero; }
keeps_nothing_old() { ! grep -q -a -F "pattern of $1" "$images/$1.img"; }
guest_finished() { console_text | grep -q '^@@vtx-done'; }

check_identity() {
  use_step disks
  check "disks --json in the guest" equals "$(status disks)" 0
  [[ -n $(json disks) ]] || return 0
  check "NVMe namespace 1: the controller's serial" equals "$(disk_field nsid:1 .serial)" VTX-NVME-0001
  check "NVMe namespace 2: the controller's serial" equals "$(disk_field nsid:2 .serial)" VTX-NVME-0001
  check "NVMe namespace: transport" equals "$(disk_field nsid:1 .transport)" nvme
  check "SATA disk: model" equals "$(disk_field VTX-SATA-0001 .model)" VTX-SATA-DISK
  check "SATA disk: transport" equals "$(disk_field VTX-SATA-0001 .transport)" sata
  check "SCSI disk: transport" equals "$(disk_field VTX-SCSI-0001 .transport)" scsi
  check "virtio disk: transport" equals "$(disk_field VTX-VIRT-UNMAP .transport)" virtio
  local device
  for device in nsid:1 VTX-SATA-0001 VTX-SCSI-0001 VTX-VIRT-UNMAP VTX-VIRT-IGNORE; do
    check "$device: its number is major*1000+minor" equals "$(disk_field "$device" .number)" \
      "$(block_number "$(disk_field "$device" .device)")"
  done
}

# The number the kernel's device numbers give a disk, from the guest's sysfs.
block_number() {
  awk -v d="${1#/dev/}" '$1 == d { split($2, n, ":"); print n[1] * 1000 + n[2] }' "$steps/block-limits.out"
}
# The block layer's discard limits of a disk: "max granularity".
block_discard() {
  awk -v d="${1#/dev/}" '$1 == d { print $3, $4 }' "$steps/block-limits.out"
}

# The purge capabilities `disks --json` shows: transport, methods, the drive's
# own flags, and discard limits that must be the block layer's.
check_capabilities() {
  use_step disks
  local device
  for device in nsid:1 VTX-SATA-0001 VTX-SCSI-0001; do
    check "$device: purge capabilities read" equals "$(disk_field "$device" '.purge.error // "none"')" none
    check "$device: discard limits are the block layer's" equals \
      "$(disk_field "$device" '"\(.purge.discard.maxBytes) \(.purge.discard.granularity)"')" \
      "$(block_discard "$(disk_field "$device" .device)")"
  done
  check "NVMe: transport" equals "$(disk_field nsid:1 .purge.transport)" nvme
  check "NVMe: namespace 2 read as namespace 2" equals "$(disk_field nsid:2 .purge.nvme.namespaceId)" 2
  check "NVMe: Format NVM supported" equals "$(disk_field nsid:1 .purge.nvme.formatSupported)" true
  check "NVMe: format offered" equals "$(disk_field nsid:1 '.purge.methods | index("nvme-format") != null')" true
  check "NVMe: no sanitize reported" equals "$(disk_field nsid:1 \
    '[.purge.nvme | .sanitizeBlockErase, .sanitizeCryptoErase, .sanitizeOverwrite] | any')" false
  check "SATA: transport ata" equals "$(disk_field VTX-SATA-0001 .purge.transport)" ata
  check "SATA: TRIM reported" equals "$(disk_field VTX-SATA-0001 .purge.ata.trim)" true
  check "SATA: no sanitize feature set" equals "$(disk_field VTX-SATA-0001 .purge.ata.sanitizeFeatureSet)" false
  check "SCSI: transport scsi" equals "$(disk_field VTX-SCSI-0001 .purge.transport)" scsi
  check "SCSI: no SANITIZE reported" equals "$(disk_field VTX-SCSI-0001 .purge.scsi.sanitize)" false
  for device in nsid:1 VTX-SATA-0001 VTX-SCSI-0001; do
    check "$device: no sanitize method offered" equals \
      "$(disk_field "$device" '[.purge.methods[] | select(test("sanitize"))] | length')" 0
  done
}

# A sanitize the drive does not report, sent with --try-unreported: refused,
# never purged, the drive's own reason kept, the disk unchanged.
check_refused_sanitize() {
  local step=$1 report
  use_step "$step"
  report=$(json "$step")
  check "$step: exit 4 or 1" one_of "$(status "$step")" 4 1
  check "$step: not purged" equals "$(jq -r '.outcome != "purged" and .purge.outcome != "purged"' <<<"$report")" true
  check "$step: no NIST category" equals \
    "$(jq -r '"\(.sanitization.category) \(.purge.nistCategory)"' <<<"$report")" "null null"
  check "$step: the drive's reason" matches \
    "$(jq -r '.purge.answers[] | select(.accepted | not) | .answer' <<<"$report")" \
    'invalid|illegal|abort|not supported'

}

check_sanitize_refusals() {
  check_refused_sanitize nvme-sanitize
  use_step nvme-ns1-sum
  check "nvme-sanitize: namespace 1 unchanged (read in the guest after it)" \
    equals "$(head -n 1 "$steps/nvme-ns1-sum.out")" "$(pattern nvme-ns1 | md5sum | cut -d ' ' -f 1)"
  check_refused_sanitize ata-sanitize
  check "ata-sanitize: the SATA disk's image unchanged" holds_pattern sata
  check_refused_sanitize scsi-sanitize
  check "scsi-sanitize: the SCSI disk's image unchanged" holds_pattern scsi
}

# NVMe Format of namespace 1: purged where a format reaches one namespace;
# where the controller formats every namespace at once, refused.
check_format() {
  local report
  use_step nvme-format
  report=$(json nvme-format)
  if [[ $(disk_field nsid:1 .purge.nvme.formatAllNamespaces) == true ]]; then
    check "nvme-format: refused, the format would reach namespace 2" equals "$(status nvme-format)" 4
    check "nvme-format: namespace 1 unchanged" holds_pattern nvme-ns1
  else
    check "nvme-format: exit 0" equals "$(status nvme-format)" 0
    check "nvme-format: purged, Purge" equals "$(jq -r \
      '"\(.outcome) \(.sanitization.category) \(.purge.nistCategory) \(.purge.method)"' <<<"$report")" \
      "purged Purge Purge nvme-format"
    check "nvme-format: the sample read back erased" equals \
      "$(jq -r '.purge.readBack | .ran and .rangesRead > 0 and .rangesErased == .rangesRead' <<<"$report")" true
    check "nvme-format: namespace 1 reads zeros" holds_zeros nvme-ns1
  fi
  check "nvme-format: namespace 2 untouched" holds_pattern nvme-ns2
}

check_discard() {
  local report
  use_step discard-unmap
  report=$(json discard-unmap)
  check "discard, unmapped: exit 0" equals "$(status discard-unmap)" 0
  check "discard, unmapped: purged, Purge" equals \
    "$(jq -r '"\(.outcome) \(.sanitization.category) \(.purge.nistCategory)"' <<<"$report")" "purged Purge Purge"
  check "discard, unmapped: --verify read every byte back, all erased" equals "$(jq -r \
    '"\(.verification.result) \(.purge.readBack | "\(.whole) \(.bytesRead) \(.firstUnerasedByte)")"' \
    <<<"$report")" "passed true $((image_mib << 20)) null"
  check "discard, unmapped: the image holds zeros" holds_zeros virt-unmap
  use_step discard-ignore
  report=$(json discard-ignore)
  check "discard, ignored: exit 1" equals "$(status discard-ignore)" 1
  check "discard, ignored: cleared, Clear" equals "$(jq -r \
    '"\(.outcome) \(.purge.outcome) \(.sanitization.category) \(.purge.nistCategory)"' <<<"$report")" \
    "cleared cleared Clear Clear"
  check "discard, ignored: the overwrite seen" equals \
    "$(jq -r '.purge.readBack.rangesOverwritten > 0' <<<"$report")" true
  check "discard, ignored: no old byte left" keeps_nothing_old virt-ignore
}

command -v qemu-system-x86_64 >/dev/null || skip "no qemu-system-x86_64 (package qemu-system-x86)"
for tool in cpio gzip jq apt-get dpkg; do command -v "$tool" >/dev/null || skip "no $tool"; done
bash "$here/purge_guest.sh" "$program" "$work/guest" "$here/guest_init.sh"
case $? in 0) ;; 77) skip "no guest to boot (above)" ;; *) echo "purge_emulator: the guest could not be built"; exit 1 ;; esac
make_images
start=$SECONDS
boot
booted=$?
if ((booted != 0)) || ! guest_finished; then
  echo "purge_emulator: the guest did not finish (exit $booted; $boot_limit s allowed); its console's end:"
  console_text | tail -n 40
  exit 1
fi
echo "purge_emulator: the guest ran for $((SECONDS - start)) s"
split_steps
rm -f "$err"
check "the guest loaded every driver" equals "$(console_text | grep '^@@vtx-module-failed')" ""
check_identity
purge_command=false
if "$program" --help | grep -q '^  purge '; then
  purge_command=true
  check_capabilities
  check_sanitize_refusals
  check_format
  check_discard
fi
rm -f "$err"
((failures == 0)) || { echo "purge_emulator: $failures check(s) failed; images kept in $images"; exit 1; }
rm -rf "$images"
$purge_command || skip "this vantrix-wipe has no purge command: only the disk listing was checked"
echo "purge_emulator: all checks passed"

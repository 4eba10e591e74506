#!/bin/busybox sh
# The emulated machine's /init: loads the block drivers, waits for the disks
# the kernel command line announces (vtx.disks=N), runs vantrix-wipe against
# them and powers off. Each step's exit status, standard output and standard
# error go to the console between lines
#   @@vtx-step NAME STATUS / @@vtx-stderr NAME / @@vtx-end NAME
# and "@@vtx-done" ends the run. NVMe namespaces share their controller's
# serial and are named "nsid:N" by the namespace number the kernel gives them;
# other disks by the serial the host gave them.
/bin/busybox mkdir -p /dev /proc /sys /tmp
/bin/busybox mount -t devtmpfs devtmpfs /dev
exec </dev/console >/dev/console 2>&1
/bin/busybox --install -s /bin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
dmesg -n 1
export PATH=/bin:/usr/bin HOME=/tmp
cd /tmp || exit 1

for module in $(cat /lib/modules/order); do
  insmod "/lib/modules/$module.ko" || echo "@@vtx-module-failed $module"
done

wanted=$(sed -n 's/.*vtx\.disks=\([0-9]*\).*/\1/p' /proc/cmdline)
disk_count() {
  n=0
  for disk in /sys/block/nvme*n* /sys/block/sd* /sys/block/vd*; do
    [ -e "$disk" ] && n=$((n + 1))
  done
  echo $n
}
tries=0
while [ "$(disk_count)" -lt "${wanted:-1}" ] && [ $tries -lt 120 ]; do
  sleep 1
  tries=$((tries + 1))
done

wipe=/opt/vantrix/vantrix-wipe
step() {
  name=$1
  shift
  "$@" >/tmp/out 2>/tmp/err
  echo "@@vtx-step $name $?"
  cat /tmp/out
  echo
  echo "@@vtx-stderr $name"
  cat /tmp/err
  echo
  echo "@@vtx-end $name"
}
# The device of namespace N for "nsid:N"; anything else as it is.
device_of() {
  case $1 in
    nsid:*)
      for disk in /sys/block/*; do
        [ "$(cat "$disk/nsid" 2>/dev/null)" = "${1#nsid:}" ] && echo "/dev/${disk##*/}"
      done ;;
    *) echo "$1" ;;
  esac
}
# The number vantrix-wipe gives the disk with this serial, device or namespace.
number() {
  jq -r --arg d "$(device_of "$1")" '.disks[] | select(.serial == $d or .device == $d) | .number' \
    /tmp/disks.json
}
# What the block layer tells of every disk, for comparison with the program's:
# name, major:minor, discard limits and the NVMe namespace number ("-": none).
block_limits() {
  for disk in /sys/block/*; do
    echo "${disk##*/} $(cat "$disk/dev") $(cat "$disk/queue/discard_max_bytes")" \
      "$(cat "$disk/queue/discard_granularity") $(cat "$disk/nsid" 2>/dev/null || echo -)"
  done
}

echo  # the firmware's last line has no end
# The checksum of a disk's bytes as the drive gives them now.
disk_sum() {
  sync
  echo 3 >/proc/sys/vm/drop_caches
  md5sum "$1" | cut -d ' ' -f 1
}

step block-limits block_limits
step disks timeout 300 "$wipe" disks --json
tail -n 1 /tmp/out >/tmp/disks.json
purge() {
  disk=$(number "$1")
  shift
  timeout 300 "$wipe" purge "$disk" --yes --json "$@"
}
if "$wipe" --help | grep -q '^  purge '; then
  step nvme-sanitize purge nsid:1 --method nvme-sanitize-block --try-unreported
  step nvme-ns1-sum disk_sum "$(device_of nsid:1)"
  step ata-sanitize purge VTX-SATA-0001 --method ata-sanitize-block --try-unreported
  step scsi-sanitize purge VTX-SCSI-0001 --method scsi-sanitize-block --try-unreported
  step nvme-format purge nsid:1 --method nvme-format
  step discard-unmap purge VTX-VIRT-UNMAP --method discard --verify
  step discard-ignore purge VTX-VIRT-IGNORE --method discard
fi
sync
echo "@@vtx-done"
poweroff -f

#!/usr/bin/env bash
# Builds the emulated machine's guest for the purge checks:
#   purge_guest.sh <vantrix-wipe> <guest folder> <init script>
# <guest folder>/vmlinuz is Debian's current kernel (the package
# linux-image-amd64 depends on), fetched once with apt-get download and kept
# with the block drivers' modules in <guest folder>/kernel-<package>/.
# <guest folder>/initramfs.gz holds busybox, those modules in load order, the
# init script, vantrix-wipe with the libraries it loads from its own folder,
# jq (the init finds disks by serial with it) and every shared library they
# need, each at its own path. Exit 77 with the reason where no kernel can be
# had; 1 on any other error.
set -euo pipefail

program=${1:?vantrix-wipe}
guest=${2:?guest folder}
init_script=${3:?init script}

# The drivers of the emulated disks and of the SCSI generic nodes; what they
# depend on is read from each module's own "depends=" field (the package has
# no modules.dep: depmod writes it when the package is installed).
drivers=(virtio_pci virtio_blk virtio_scsi nvme ahci sd_mod sg)
product_libraries=(libDataWiper libDeviceManager libErrorInterpreter libVantrixPurge)

die() {
  echo "purge guest: $1" >&2
  exit "${2:-1}"
}

kernel_package() {
  apt-cache depends linux-image-amd64 2>/dev/null |
    sed -n 's/^ *Depends: *\(linux-image-[^ <>]*\)$/\1/p' | head -n 1
}

download() {  # download PACKAGE FOLDER; apt's lists are refreshed only when it fails
  (cd "$2" && apt-get download -q "$1" >/dev/null 2>&1) && return 0
  apt-get update -qq >/dev/null 2>&1 || true
  (cd "$2" && apt-get download -q "$1" >/dev/null 2>&1)
}

# The path of module NAME in a list of module paths (modules.order,
# modules.builtin), where "-" and "_" in names are the same.
module_in() {
  awk -v want="${1//-/_}" '{ n = $0; sub(/.*\//, "", n); sub(/\.ko.*$/, "", n); gsub(/-/, "_", n)
    if (n == want) { print; exit } }' "$2"
}

# Copies module NAME and, before it, what it depends on into $kernel/modules,
# appending each one's name to $kernel/modules/order once.
declare -A visited=()
add_module() {
  local name=${1//-/_} path dep
  [[ -n ${visited[$name]:-} ]] && return 0
  visited[$name]=1
  path=$(module_in "$name" "$tree/modules.order")
  if [[ -z $path ]]; then
    [[ -n $(module_in "$name" "$tree/modules.builtin") ]] && return 0
    die "module $name is neither built into the kernel nor in its package"
  fi
  if [[ -f $tree/$path ]]; then cp "$tree/$path" "$staging/modules/$name.ko"
  elif [[ -f $tree/$path.xz ]]; then xz -dc "$tree/$path.xz" >"$staging/modules/$name.ko"
  else die "module $name: $path is missing from the package"; fi
  for dep in $(tr '\0' '\n' <"$staging/modules/$name.ko" | sed -n 's/^depends=//p' | tr ',' ' '); do
    add_module "$dep"
  done
  echo "$name" >>"$staging/modules/order"
}

# Fills $kernel (vmlinuz, modules/) from the package, unless an earlier run did.
prepare_kernel() {
  local package=$1
  kernel=$guest/kernel-$package
  [[ -f $kernel/modules/order ]] && return 0
  staging=$guest/kernel.staging
  rm -rf "$staging" && mkdir -p "$staging/modules"
  download "$package" "$staging" ||
    die "apt-get download $package failed (no network or no package lists?)" 77
  dpkg -x "$staging"/*.deb "$staging/unpacked"
  tree=$(echo "$staging"/unpacked/lib/modules/*)
  [[ -d $tree ]] || die "$package holds no modules folder"
  cp "$staging"/unpacked/boot/vmlinuz-* "$staging/vmlinuz"
  for driver in "${drivers[@]}"; do add_module "$driver"; done
  rm -rf "$staging"/unpacked "$staging"/*.deb
  rm -rf "$kernel" && mv "$staging" "$kernel"
  find "$guest" -maxdepth 1 -name 'kernel-linux-image-*' ! -name "kernel-$package" -exec rm -rf {} +
}

# Copies every shared library the given programs need (the dynamic loader
# among them) to the same path under $root, except the product's own.
copy_libraries() {
  ldd "$@" | awk '$2 == "=>" && $3 ~ /^\// { print $3 } $1 ~ /^\/.*[^:]$/ { print $1 }' | sort -u |
    while read -r library; do
      [[ $library == "$product_dir"/* ]] && continue
      mkdir -p "$root${library%/*}"
      cp -L "$library" "$root$library"
    done
}

build_initramfs() {
  root=$guest/root
  rm -rf "$root" && mkdir -p "$root"/{bin,dev,proc,sys,tmp,lib/modules,opt/vantrix,usr/bin}
  cp /bin/busybox "$root/bin/busybox"
  cp "$init_script" "$root/init" && chmod 755 "$root/init"
  cp "$kernel"/modules/* "$root/lib/modules/"
  product_dir=$(cd "$(dirname "$program")" && pwd)
  cp "$program" "$root/opt/vantrix/"
  local library products=()
  for library in "${product_libraries[@]}"; do
    for file in "$product_dir/$library".so*; do
      [[ -e $file ]] || continue
      cp -a "$file" "$root/opt/vantrix/"
      [[ -L $file ]] || products+=("$file")
    done
  done
  cp "$(command -v jq)" "$root/usr/bin/jq"
  copy_libraries "$program" "${products[@]}" "$(command -v jq)"
  (cd "$root" && find . | cpio -o -H newc --quiet) | gzip -1 >"$guest/initramfs.gz"
  rm -rf "$root"
}

mkdir -p "$guest"
package=$(kernel_package)
if [[ -z $package ]]; then
  # No package lists: a kernel an earlier run fetched still serves.
  package=$(find "$guest" -maxdepth 1 -name 'kernel-linux-image-*' -printf '%f\n' | sed 's/^kernel-//' | tail -n 1)
  [[ -n $package ]] || die "apt-cache does not tell linux-image-amd64's kernel package" 77
fi
if [[ ! -x /bin/busybox ]] || ldd /bin/busybox >/dev/null 2>&1; then
  die "no static /bin/busybox (package busybox-static)" 77
fi
prepare_kernel "$package"
cp "$kernel/vmlinuz" "$guest/vmlinuz"
build_initramfs
echo "purge guest: $package, modules $(tr '\n' ' ' <"$kernel/modules/order")"

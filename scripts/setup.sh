#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine lacks to build and test both builds.
# Idempotent: packages already present are not fetched again.
set -euo pipefail

packages=(
  cmake ninja-build g++ binutils
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  wine64 wine
  rapidjson-dev libcli11-dev libgtest-dev googletest jq
  e2fsprogs util-linux mount fdisk
  liburing-dev libssl-dev libhpdf-dev openssl
  fio btrfs-progs poppler-utils
  qemu-system-x86 busybox-static cpio xz-utils
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done

if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  sudo_cmd=()
  if [[ $(id -u) -ne 0 ]]; then sudo_cmd=(sudo); fi
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
echo "setup: all packages present"

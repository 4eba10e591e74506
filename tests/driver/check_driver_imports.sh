#!/usr/bin/env bash
# Fails when q7diskio.sys imports anything but functions that Wine's
# ntoskrnl.exe exports and implements: a driver calling a missing or stubbed
# one loads, and the call kills winedevice.exe.
#
#   check_driver_imports.sh <objdump> <driver.sys> <Wine's ntoskrnl.exe>
set -euo pipefail
objdump=$1 driver=$2 kernel=$3
implemented=$(comm -23 \
  <("$objdump" -p "$kernel" | sed -n '/\[Ordinal\/Name Pointer\] Table/,$p' | awk 'NF > 1 {print $NF}' | sort -u) \
  <("$objdump" -t "$kernel" | grep -o '__wine_stub_[A-Za-z0-9_]*' | sed 's/__wine_stub_//' | sort -u))
# Import rows follow "DLL Name: <dll>" as "<vma> <hint> <name>".
imports=$("$objdump" -p "$driver" |
  awk '/DLL Name:/ {dll = $3} dll && /^\t[0-9a-f]+\t +[0-9]+ +[A-Za-z_]/ {print dll "!" $NF}' | sort -u)
[[ -n $imports ]] || { echo "no imports found in $driver" && exit 1; }
lacking=$(comm -23 <(echo "$imports") <(sed 's/^/ntoskrnl.exe!/' <<<"$implemented"))
[[ -z $lacking ]] || { echo "Wine lacks or stubs:" $lacking && exit 1; }
echo "all $(wc -l <<<"$imports") imports are implemented by Wine's ntoskrnl.exe"

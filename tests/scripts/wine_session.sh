#!/usr/bin/env bash
# Runs a Windows program of this build in a Wine session no earlier driver
# lives in (a loaded q7diskio.sys stays loaded, and a deleted service "marked
# for deletion", while its session lives). Holders of the ctest lock
# "q7diskio" run through this: it lets the running session end first, and the
# program's own after it. Exit status: the program's.
#
#   wine_session.sh <wineprefix> <wine-runner> <program> [args...]
prefix=${1:?wineprefix}
runner=${2:?wine runner}
shift 2
export WINEPREFIX=$prefix
"$runner" --prepare || exit 1
timeout 600 wineserver --wait
"$runner" "$@"
status=$?
timeout 600 wineserver --wait
exit "$status"

#!/usr/bin/env bash
# Runs a Windows program of this build in a Wine session that no driver of an
# earlier program lives in:
#
#   wine_session.sh <wineprefix> <wine-runner> <program> [args...]
#
# A kernel driver that a program loaded (q7diskio.sys) stays loaded as long
# as its Wine session lives, and a service deleted meanwhile stays "marked for
# deletion". Tests that install, start or remove the driver's service hold the
# ctest lock "q7diskio" and run through this script: it lets the running
# session end first, and the program's own session after it, so that the next
# holder of the lock starts with no driver loaded. Exit status: the program's.
prefix=${1:?wineprefix}
runner=${2:?wine runner}
shift 2
export WINEPREFIX=$prefix
timeout 600 wineserver --wait
"$runner" "$@"
status=$?
timeout 600 wineserver --wait
exit "$status"

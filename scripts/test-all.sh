#!/usr/bin/env bash
# The one test command: installs what is missing, then configures, builds and
# tests the native, native-asan, native-tsan (the command service's threads
# only) and windows builds (the last under Wine).
# Exit status is non-zero when any step or test fails.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

export WINEDEBUG=-all
status=0
for preset in native native-asan native-tsan windows; do
  echo "=== ${preset}: configure and build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  echo "=== ${preset}: test"
  if ! ctest --preset "$preset"; then status=1; fi
done

# Wine keeps a server per prefix alive for a few seconds; end it now so that
# nothing outlives the test run.
if [[ -d build/windows/wineprefix ]]; then
  WINEPREFIX="$PWD/build/windows/wineprefix" wineserver -k 2>/dev/null || true
fi
exit "$status"

#!/usr/bin/env bash
# Builds the two packages from the same install rules: the .deb of the native
# build and the .zip of the Windows build, in build/packages. Each is built in
# a folder of its own (build/package-<preset>), without tests or benchmarks.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
mkdir -p build/packages
for preset in native windows; do
  folder=build/package-$preset
  echo "=== $preset: configure, build, package"
  cmake --preset "$preset" -B "$folder" -DCMAKE_BUILD_TYPE=Release -DVTX_BUILD_TESTS=OFF \
    -DVTX_BUILD_BENCH=OFF >/dev/null
  cmake --build "$folder"
  (cd "$folder" && cpack -B "$PWD/../packages" >/dev/null)
done
rm -rf build/packages/_CPack_Packages
ls -l build/packages

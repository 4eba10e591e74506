#!/usr/bin/env bash
# The package a host developer installs: `cmake --install` of this build into
# a fresh prefix, then the README's host example (its CMakeLists.txt and
# main.cpp, taken from README.md as they stand) configured against that
# prefix with find_package(VantrixDataWipe), built, and run on a scratch file.
#
#   package_test.sh <build dir> <README.md> <work dir> [<toolchain file> <wine-runner>]
#
# With a toolchain file the example is cross-compiled for Windows and run
# under Wine.
set -euo pipefail

build=${1:?build folder}
readme=${2:?README.md}
work=${3:?work folder}
toolchain=${4:-}
runner=${5:-}

rm -rf "$work" && mkdir -p "$work/example"
cmake --install "$build" --prefix "$work/prefix" >/dev/null

# Each example file is the fenced block after "<!-- host example: NAME -->".
awk -v out="$work/example" '
  /^<!-- host example: .* -->$/ { name = $4; next }
  name != "" && /^```/ { if (inside) { inside = 0; name = "" } else inside = 1; next }
  inside { print > (out "/" name) }' "$readme"
for file in CMakeLists.txt main.cpp; do
  [[ -s $work/example/$file ]] || { echo "README.md has no host example $file" >&2; exit 1; }
done

configure=(-S "$work/example" -B "$work/example-build" -G Ninja -DCMAKE_BUILD_TYPE=Release
  -DCMAKE_PREFIX_PATH="$work/prefix")
if [[ -n $toolchain ]]; then
  # mingw's own runtime is linked in, so Wine needs no DLL of the compiler.
  configure+=(-DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_EXE_LINKER_FLAGS=-static)
fi
cmake "${configure[@]}" >/dev/null
cmake --build "$work/example-build"

target=$work/scratch.bin
head -c 300000 /dev/urandom >"$target"
program=$(find "$work/example-build" -maxdepth 1 -name 'my_host' -o -maxdepth 1 -name 'my_host.exe' | head -n 1)
cd "$work/example-build"
if [[ -n $runner ]]; then
  windows_target=${target//\//\\}
  "$runner" "$program" "Z:$windows_target"
else
  "$program" "$target"
fi
[[ ! -e $target ]] || { echo "the example host left $target behind" >&2; exit 1; }
echo "package: the README's host example built against the installed package and wiped a file"

#!/usr/bin/env bash
# Installs the library into a temporary prefix and builds and runs the two
# out-of-tree consumers against the installed tree: a C program found with
# pkg-config and a C++ program found with find_package.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh pkg-config make
root=$PWD
work=$root/build/consumers
rm -rf "$work"
prefix=$work/prefix

cmake -S . -B "$work/lib" -G Ninja -DCMAKE_BUILD_TYPE=Release -DZOLMATH_WERROR=ON \
      -DZOLMATH_BUILD_TESTS=OFF -DZOLMATH_BUILD_EXAMPLES=OFF >/dev/null
cmake --build "$work/lib" -j 2 >/dev/null
cmake --install "$work/lib" --prefix "$prefix" >/dev/null
# The installed tree must stand on its own: nothing may point back here.
if grep -rIl "$root" "$prefix" >/dev/null; then
  echo "installed files refer to the source or build tree:"; grep -rIl "$root" "$prefix"; exit 1
fi

echo "=== C consumer (pkg-config)"
pcdir=$(dirname "$(find "$prefix" -name zolmath.pc)")
mkdir -p "$work/c"
PKG_CONFIG_PATH=$pcdir make -s -C "$work/c" -f "$root/tests/consumers/c_pkgconfig/Makefile" \
    SRCDIR="$root/tests/consumers/c_pkgconfig"
"$work/c/consumer"

echo "=== C++ consumer (find_package)"
cmake -S tests/consumers/cpp_cmake -B "$work/cpp" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/cpp" >/dev/null
"$work/cpp/consumer"

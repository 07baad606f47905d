#!/usr/bin/env bash
# Cross-builds ZOLmath.dll and zolmemsvc.dll with MinGW-w64 and checks the
# export table: exactly the 60 routines, undecorated, a module entry that
# declines thread notifications, and no MinGW runtime DLL to ship beside it.
# Then builds the test suite for Windows and runs it under wine (skip that
# part with --no-wine).
set -euo pipefail
cd "$(dirname "$0")/.."
wine=1
[ "${1:-}" = --no-wine ] && wine=0
extra=(g++-mingw-w64-x86-64)
[ $wine = 1 ] && extra+=(wine64 googletest)
scripts/deps.sh "${extra[@]}"
root=$PWD
toolchain=$root/cmake/mingw-w64.cmake
objdump=x86_64-w64-mingw32-objdump
build=build/mingw

echo "=== cross build of the DLLs"
cmake -S . -B $build -G Ninja --toolchain "$toolchain" -DCMAKE_BUILD_TYPE=Release -DZOLMATH_WERROR=ON \
      -DZOLMATH_BUILD_TESTS=OFF -DZOLMATH_BUILD_EXAMPLES=OFF >/dev/null
cmake --build $build -j 2 >/dev/null

echo "=== export check"
fail=0
dll=$build/ZOLmath.dll
svc=$build/memsvc/zolmemsvc.dll
exports_of() {  # the names of the export name table
  $objdump -p "$1" | sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' | awk '/^[[:space:]]+\[/ {print $NF}' | sort
}
names=$(exports_of "$dll")
if ! diff <(echo "$names") <(tr -s ' ' '\n' < tests/exports.txt | grep . | sort) >/tmp/zolmath-exports.$$; then
  echo "ZOLmath.dll exports differ from tests/exports.txt (< dll, > list):"; cat /tmp/zolmath-exports.$$; fail=1
fi
rm -f /tmp/zolmath-exports.$$
echo "ZOLmath.dll exports $(echo "$names" | grep -c .) names"
for name in f_malloc f_free; do
  exports_of "$svc" | grep -qx "$name" || { echo "zolmemsvc.dll does not export $name"; fail=1; }
done
for f in "$dll" "$svc"; do
  odd=$($objdump -p "$f" | awk '/DLL Name:/ {print $3}' | grep -viE '^(kernel32|msvcrt|zolmemsvc)\.dll$' || true)
  [ -z "$odd" ] || { echo "$(basename "$f") needs DLLs a host does not have: $odd"; fail=1; }
done
if ! $objdump -d --disassemble=DllMain "$dll" | grep -q 'call.*__imp_DisableThreadLibraryCalls'; then
  echo "the module entry does not decline thread notifications"; fail=1
fi
[ $fail = 0 ] || exit 1
echo "export table, dependencies and module entry as required"

[ $wine = 1 ] || exit 0
echo "=== test suite under wine"
tests=build/mingw-tests
cmake -S tests/windows -B $tests -G Ninja --toolchain "$toolchain" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build $tests -j 2 >/dev/null
export WINEPREFIX=$root/$tests/wineprefix WINEDEBUG=-all
wine wineboot --init >/dev/null 2>&1
status=0
ctest --test-dir $tests -j 2 --output-on-failure --timeout 300 || status=$?
wineserver -k || true
exit $status

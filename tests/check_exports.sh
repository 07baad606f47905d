#!/usr/bin/env bash
# Checks the dynamic symbol table of the built library against the list
# (names separated by blanks or line breaks):
#  - every defined name is one of the listed exports (nothing else leaks);
#  - every listed export is declared in the public header;
#  - the only outside names it needs are the memory service's and those of
#    the C and C++ runtimes;
#  - with "all" as fourth argument, every listed export is defined.
set -euo pipefail
lib=$1 list=$2 header=$3 mode=${4:-}
fail=0

defined=$(nm -D --defined-only "$lib" | awk 'NF >= 3 {print $3}' | sed 's/@.*//' | sort -u)
expected=$(tr -s " \t" "\n" < "$list" | grep -v "^\s*$" | sort -u)

extra=$(comm -23 <(echo "$defined") <(echo "$expected") | grep -v '^$' || true)
if [ -n "$extra" ]; then
  echo "defined but not a library routine:"; echo "$extra" | sed 's/^/  /'; fail=1
fi

for name in $expected; do
  if ! grep -qE "[ *]${name}\(" "$header"; then echo "not declared in the header: $name"; fail=1; fi
done

missing=$(comm -13 <(echo "$defined") <(echo "$expected") | grep -v '^$' || true)
if [ -n "$missing" ]; then
  if [ "$mode" = all ]; then
    echo "listed but not defined:"; echo "$missing" | sed 's/^/  /'; fail=1
  else
    echo "not built yet: $(echo $missing)"
  fi
fi

# Undefined names must come from the memory service or a versioned runtime.
odd=$(nm -D --undefined-only "$lib" | awk '{print $NF}' \
      | grep -vE '@(GLIBC|GLIBCXX|CXXABI|GCC)_' | grep -vE '^(f_malloc|f_free)$' \
      | grep -vE '^(_ITM_|__gmon_start__|__cxa_finalize)' || true)
if [ -n "$odd" ]; then
  echo "unexpected outside dependencies:"; echo "$odd" | sed 's/^/  /'; fail=1
fi

echo "$(echo "$defined" | grep -c . || true) of $(echo "$expected" | grep -c .) exports defined"
exit $fail

#!/usr/bin/env bash
# Runs the tests without Qt under AddressSanitizer+UndefinedBehaviorSanitizer, and the library's
# tests under ThreadSanitizer. Usage: sanitizers.sh [asan] [tsan]  (both when none is named)
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
source scripts/env.sh
variants=("$@")
[ ${#variants[@]} -gt 0 ] || variants=(asan tsan)
for v in "${variants[@]}"; do
  cmake --preset "$v"
  if [ "$v" = tsan ]; then
    # Only what the library's tests need.
    targets=$(ctest --preset tsan -N 2>/dev/null | sed -n 's/^ *Test *#[0-9]*: *//p')
    [ -n "$targets" ] || { echo "tsan: no library tests"; continue; }
    cmake --build --preset tsan --target $targets
  else
    cmake --build --preset "$v"
  fi
  ctest --preset "$v"
done

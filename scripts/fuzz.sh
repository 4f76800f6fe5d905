#!/usr/bin/env bash
# Builds the libFuzzer targets with Clang and runs each one briefly on its seed corpus.
# Usage: fuzz.sh [seconds-per-target]   (default 30; the configuration reader gets twice that)
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
source scripts/env.sh
seconds=${1:-30}
cmake --preset fuzz
cmake --build --preset fuzz
status=0
for target in $(find build/fuzz/fuzz -maxdepth 2 -type f -executable -name 'fuzz_*' | sort); do
  name=$(basename "$target")
  corpus=fuzz/corpus/${name#fuzz_}
  work=$(mktemp -d)
  [ -d "$corpus" ] && cp -r "$corpus"/. "$work"/
  limit=$seconds
  [ "$name" = fuzz_config_reader ] && limit=$((seconds * 2))
  echo "fuzz: $name for ${limit}s"
  if ! "$target" -max_total_time="$limit" -max_len=4096 -timeout=10 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="build/fuzz/$name-" "$work" > "build/fuzz/$name.log" 2>&1; then
    echo "fuzz: $name FOUND A PROBLEM"; tail -n 60 "build/fuzz/$name.log"; status=1
  else
    grep -E 'stat::number_of_executed_units|Done' "build/fuzz/$name.log" | tail -n 2
  fi
  rm -rf "$work"
done
exit $status

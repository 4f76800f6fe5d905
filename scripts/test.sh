#!/usr/bin/env bash
# Installs what is missing, builds everything from this checkout and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
source scripts/env.sh
cmake --preset default
cmake --build --preset default
ctest --preset default

#!/usr/bin/env bash
# Builds the tools and runs the main job: a new device configuration with a generated identifier
# and key, shown as it is stored and checked as the configurator checks it before saving.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
source scripts/env.sh
cmake --preset default
cmake --build --preset default --target kl40ctl
out=build/demo
mkdir -p "$out"
ctl=build/default/tools/kl40ctl/kl40ctl
"$ctl" new "$out/config.ini" --generate-id --generate-key --force
"$ctl" dump "$out/config.ini" | iconv -f WINDOWS-1251 -t UTF-8
"$ctl" check "$out/config.ini"

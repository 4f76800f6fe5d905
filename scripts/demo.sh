#!/usr/bin/env bash
# Builds the configurator and opens it on a new device configuration with a generated identifier
# and key. Without a display it runs under a virtual X server (xvfb-run); close the window to end.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
source scripts/env.sh
cmake --preset default
cmake --build --preset default --target kl40cfg kl40ctl
out=build/demo
mkdir -p "$out"
ctl=build/default/tools/kl40ctl/kl40ctl
cfg=build/default/configurator/ui/kl40cfg
"$ctl" new "$out/config.ini" --generate-id --generate-key --force
"$ctl" check "$out/config.ini"
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec "$cfg" "$out/config.ini"
else
  echo "demo: no display; kl40cfg runs under xvfb-run (its printout: $out/sheet.pdf)"
  "$cfg" --print-pdf "$out/sheet.pdf" "$out/config.ini"
  exec xvfb-run -a "$cfg" "$out/config.ini"
fi

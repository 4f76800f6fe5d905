#!/usr/bin/env bash
# Installs the Debian packages the project builds and tests with: exactly those that are missing.
set -euo pipefail

packages=(
  cmake ninja-build g++ clang ccache pkg-config
  libasio-dev libcli11-dev
  qt6-base-dev fonts-liberation2
  libgtest-dev libgmock-dev libbenchmark-dev
  libgcrypt20-dev libssl-dev
  libclang-rt-14-dev
  socat poppler-utils xvfb xauth
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: all packages present"
  exit 0
fi

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi

echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -q
"${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"

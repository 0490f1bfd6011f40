#!/usr/bin/env bash
# Installs the Debian packages the project needs, only those that are missing. Idempotent.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  googletest libgtest-dev libgmock-dev libbenchmark-dev libboost-dev
  libpng-dev libjpeg62-turbo-dev libpixman-1-dev libfreetype-dev
  imagemagick netpbm libjpeg-turbo-progs libgif-dev giflib-tools libstb-dev
  fonts-liberation2 fonts-dejavu-core
  gcc-arm-none-eabi libstdc++-arm-none-eabi-newlib
  clang libclang-rt-dev clang-tidy clang-format
  mtools dosfstools socat python3 python3-serial valgrind sox
  libcpp-httplib-dev chromium chromium-driver python3-selenium qemu-system-arm
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then
  sudo_cmd=()
elif command -v sudo >/dev/null 2>&1; then
  sudo_cmd=(sudo)
else
  echo "install-deps: missing packages and no root rights: ${missing[*]}" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"

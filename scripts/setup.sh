#!/usr/bin/env bash
# Installs everything the build, the tests and the demo need (Debian 12, as root).
set -euo pipefail

packages=(
  build-essential cmake ccache python3 libgtest-dev googletest libbenchmark-dev
  g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64 wine wine64 xvfb xauth socat
  clang libclang-rt-14-dev srecord zlib1g-dev libcli11-dev netpbm
  help2man lintian man-db file nsis zip unzip
  pkg-config libudev-dev umockdev libumockdev-dev gir1.2-umockdev-1.0 python3-gi
  nlohmann-json3-dev python3-jsonschema
  libtelnet-dev ser2net
  libgcrypt20-dev libgcrypt-mingw-w64-dev minisign
  libpq-dev postgresql-15
)

missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $sudo_cmd apt-get update
  $sudo_cmd apt-get install -y --no-install-recommends "${missing[@]}"
fi
echo "setup: all packages present"

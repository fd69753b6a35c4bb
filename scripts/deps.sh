#!/usr/bin/env bash
# Installs, with apt-get, whatever of the build and test tools is missing.
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config git
  libssl-dev openssl
  libgtest-dev libgmock-dev libbenchmark-dev libcli11-dev
  clang libclang-rt-14-dev
  openjdk-17-jdk-headless junit4
  python3 python3-cryptography python3-jwt
  nlohmann-json3-dev help2man lintian fakeroot dpkg-dev file
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

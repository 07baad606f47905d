#!/usr/bin/env bash
# Installs the Debian packages the build, tests and demonstration need
# (only those missing; needs root or sudo for that).  Further package names
# given as arguments are installed too.
set -euo pipefail
packages=(cmake ninja-build g++ clang libclang-rt-14-dev binutils libgtest-dev libeigen3-dev liblapack-dev minpack-dev "$@")
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  echo "installing: ${missing[*]}"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq "${missing[@]}" >/dev/null
fi

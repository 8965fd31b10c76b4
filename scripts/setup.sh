#!/usr/bin/env bash
# Installs the Debian packages Plotvane needs to build and test, only those that are missing.
set -euo pipefail

packages=(g++ cmake ninja-build pkg-config zlib1g-dev libdeflate-dev libfreetype-dev libfontconfig-dev
          libgtest-dev libbenchmark-dev fonts-dejavu-core fontconfig
          qpdf poppler-utils mupdf-tools clang libclang-rt-14-dev)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if ((${#missing[@]})); then
  echo "Installing missing packages: ${missing[*]}"
  sudo=""
  if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

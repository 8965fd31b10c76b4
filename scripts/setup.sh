#!/usr/bin/env bash
# Installs the Debian packages Plotvane needs, only those that are missing.
#
#   scripts/setup.sh build   building and running: compiler, build tools, libraries, a font
#   scripts/setup.sh test    the same, plus what the test suite, the sanitizer build, the
#                            fuzzers and the benchmark smoke run need
#   scripts/setup.sh package the same as build, plus what cpack -G DEB needs
#
# Runs apt-get as root, or through sudo for another user.
set -euo pipefail

# Building and running.
build=(g++ cmake ninja-build pkg-config zlib1g-dev libdeflate-dev libfreetype-dev libfontconfig-dev
       fontconfig fonts-dejavu-core)
# The test suite on top of that:
#   libgtest-dev, libbenchmark-dev   unit tests and micro-benchmarks
#   fonts-dejavu-extra               the oblique and condensed DejaVu faces of the font tests
#   locales                          the locale sources for the comma-decimal locale tests
#   qpdf, poppler-utils, mupdf-tools every PDF is checked and rendered by independent readers
#   gerbv                            reference renderer of the picture tests
#   clang, libclang-rt-14-dev        the libFuzzer targets
test=(libgtest-dev libbenchmark-dev fonts-dejavu-extra locales qpdf poppler-utils mupdf-tools
      gerbv clang libclang-rt-14-dev)

# cpack -G DEB: dpkg-shlibdeps derives the library dependencies, file finds the binaries.
package=(dpkg-dev file)

case "${1:-}" in
  build) packages=("${build[@]}") ;;
  package) packages=("${build[@]}" "${package[@]}") ;;
  test) packages=("${build[@]}" "${test[@]}") ;;
  *) echo "Usage: scripts/setup.sh build|test|package" >&2; exit 2 ;;
esac

sudo=()
if [ "$(id -u)" -ne 0 ]; then sudo=(sudo); fi
need_root() {
  if ((${#sudo[@]})) && ! command -v sudo >/dev/null; then
    echo "scripts/setup.sh: $1 needs root: run as root, or install sudo" >&2
    exit 1
  fi
}

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if ((${#missing[@]})); then
  echo "Installing missing packages: ${missing[*]}"
  need_root "installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  "${sudo[@]}" apt-get update -qq
  "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The locale tests switch to a comma-decimal UTF-8 locale; generate one when none is there.
if [ "$1" = test ] && ! locale -a 2>/dev/null | grep -qix 'de_DE\.utf-\?8'; then
  echo "Generating the de_DE.UTF-8 locale"
  need_root "generating the de_DE.UTF-8 locale"
  "${sudo[@]}" sed -i 's/^# *\(de_DE\.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -qx 'de_DE\.UTF-8 UTF-8' /etc/locale.gen ||
    echo 'de_DE.UTF-8 UTF-8' | "${sudo[@]}" tee -a /etc/locale.gen >/dev/null
  "${sudo[@]}" locale-gen >/dev/null
fi

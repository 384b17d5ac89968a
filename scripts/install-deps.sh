#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian packages a role needs (build, test, bench, fuzz), only those missing.
# Usage: scripts/install-deps.sh build|test|bench|fuzz|package ...
set -euo pipefail

build_packages=(
  cmake ninja-build g++ pkg-config ccache
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-tools
  gstreamer1.0-plugins-ugly  # x264enc for the video export (vp9enc is in the "good" set)
  libglib2.0-dev zlib1g-dev libjpeg62-turbo-dev
  libyuv-dev  # the live view's one conversion of raw YUV camera frames
  libdeflate-dev  # inflates a PNG's whole image data in one call
)
# The H.264 decoder reads exported videos back in the tests.
test_packages=(gstreamer1.0-libav libgtest-dev libgmock-dev libpng-dev xvfb xauth dbus-x11 clang libclang-rt-14-dev)
bench_packages=(libbenchmark-dev libpng-dev python3)
fuzz_packages=(clang libclang-rt-14-dev)
# The Debian package: dpkg-shlibdeps and the build flags, the checks of the metainfo, desktop entry and
# package, and what the package check runs the installed program under (a virtual X server whose
# windows it lists).
package_packages=(dpkg-dev file lintian appstream desktop-file-utils man-db xvfb xauth x11-utils)

wanted=()
for role in "$@"; do
  case "$role" in
    build) wanted+=("${build_packages[@]}") ;;
    test) wanted+=("${build_packages[@]}" "${test_packages[@]}") ;;
    bench) wanted+=("${build_packages[@]}" "${bench_packages[@]}") ;;
    fuzz) wanted+=("${build_packages[@]}" "${fuzz_packages[@]}") ;;
    package) wanted+=("${build_packages[@]}" "${package_packages[@]}") ;;
    *) echo "unknown role: $role" >&2; exit 2 ;;
  esac
done

missing=()
for package in "${wanted[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=()
[ "$(id -u)" -ne 0 ] && sudo=(sudo)
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"

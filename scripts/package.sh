#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package flipbookcam_<version>_<arch>.deb from a clean Release build configured for
# /usr, with Debian's hardening flags, and puts it into the current folder (or the folder given).
# The metainfo and desktop entry are validated first; lintian checks the package and fails it on errors.
# Usage: scripts/package.sh [OUTPUT-FOLDER]
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/.." && pwd)
output_dir=$(realpath "${1:-.}")
build_dir=$source_dir/build/package

"$source_dir/scripts/install-deps.sh" package

# Fortified functions, stack protection, read-only relocations and immediate binding, as every Debian
# binary has them. -g is left out: the package strips its programs anyway.
cd "$source_dir"
eval "$(DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --export=sh)"
# CMake reads no CPPFLAGS, so the preprocessor's part (_FORTIFY_SOURCE) joins the compilers' flags.
CFLAGS="$CPPFLAGS ${CFLAGS//-g /}" CXXFLAGS="$CPPFLAGS ${CXXFLAGS//-g /}"
export CFLAGS CXXFLAGS

rm -rf "$build_dir"
cmake -S "$source_dir" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DFLIPBOOK_BUILD_TESTS=OFF >/dev/null
cmake --build "$build_dir" -j"$(nproc)"

appstreamcli validate --no-net "$build_dir"/resources/*.metainfo.xml
desktop-file-validate resources/*.desktop

(cd "$build_dir" && cpack -G DEB >/dev/null)
package=$(find "$build_dir" -maxdepth 1 -name 'flipbookcam_*.deb')
lintian --fail-on error --info "$package"
cp "$package" "$output_dir/"
echo "$output_dir/$(basename "$package"): $(du -k "$package" | cut -f1) KiB"
dpkg-deb --field "$package" Depends Recommends Suggests Installed-Size

#!/usr/bin/env bash
# Installs the build into a staging folder and checks that the desktop finds everything there: the
# program with its read-me and shutter sound beside it, the link on the PATH, the desktop entry whose
# Exec and Icon name what was installed.
set -euo pipefail
build_dir=$1
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
DESTDIR="$stage" cmake --install "$build_dir" --prefix /usr >/dev/null

fail() { echo "FAIL: $*" >&2; exit 1; }
program_folder="$stage/usr/lib/flipbookcam"
[ -x "$program_folder/flipbookcam" ] || fail "no executable in $program_folder"
for shipped in readme.txt snap.wav; do
  [ -s "$program_folder/$shipped" ] || fail "$shipped is not beside the program"
done
[ "$(readlink "$stage/usr/bin/flipbookcam")" = ../lib/flipbookcam/flipbookcam ] || fail "bin/flipbookcam does not link to the program"
[ -e "$stage/usr/bin/flipbookcam" ] || fail "bin/flipbookcam is a dangling link"

entry="$stage/usr/share/applications/flipbookcam.desktop"
[ -f "$entry" ] || fail "no desktop entry"
grep -qx 'Exec=flipbookcam' "$entry" || fail "the desktop entry does not start flipbookcam"
grep -qx 'Type=Application' "$entry" || fail "the desktop entry is not an application"
icon=$(sed -n 's/^Icon=//p' "$entry")
[ -f "$stage/usr/share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "icon $icon is not installed"
for tool in flipbookcam-graphs flipbookcam-export; do
  if grep -q "^add_executable($tool" "$(dirname "$0")/../../tools/CMakeLists.txt" 2>/dev/null; then
    [ -x "$stage/usr/bin/$tool" ] || fail "$tool is not installed"
  fi
done
echo "install layout ok"

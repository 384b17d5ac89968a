#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the build into a staging folder and checks that the desktop finds everything there: the
# program with its read-me and shutter sound beside it, the link on the PATH, the desktop entry whose
# Exec and Icon name what was installed, the metainfo under the same id with screenshots that exist,
# and the manual pages; the tools, manual pages and metainfo all give the same version.
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

source_dir=$(cd "$(dirname "$0")/../.." && pwd)
app_id=org.example.flipbookcam
entry="$stage/usr/share/applications/$app_id.desktop"
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

metainfo="$stage/usr/share/metainfo/$app_id.metainfo.xml"
[ -f "$metainfo" ] || fail "no metainfo for $app_id"
grep -q "<id>$app_id</id>" "$metainfo" || fail "the metainfo's id is not $app_id"
grep -q "<project_license>GPL-3.0-or-later</project_license>" "$metainfo" || fail "the metainfo names no licence"
grep -q "<launchable type=\"desktop-id\">$app_id.desktop</launchable>" "$metainfo" ||
  fail "the metainfo does not launch the desktop entry"
screenshots=$(sed -n 's|.*<image>[^<]*/raw/main/\([^<]*\)</image>.*|\1|p' "$metainfo")
[ -n "$screenshots" ] || fail "the metainfo shows no screenshot of the repository"
for screenshot in $screenshots; do
  [ -f "$source_dir/$screenshot" ] || fail "the metainfo's screenshot $screenshot is not in the repository"
done

version=$("$stage/usr/bin/flipbookcam-export" --version) || fail "flipbookcam-export --version failed"
version=${version#flipbookcam-export }
[ "$("$stage/usr/bin/flipbookcam-graphs" --version)" = "flipbookcam-graphs $version" ] ||
  fail "the tools give different versions"
grep -q "<release version=\"$version\" date=\"[0-9-]*\"" "$metainfo" || fail "the metainfo's release is not $version"
for page in flipbookcam flipbookcam-export flipbookcam-graphs; do
  manual="$stage/usr/share/man/man1/$page.1.gz"
  [ -f "$manual" ] || fail "no manual page for $page"
  gzip -dc "$manual" | grep -q "^\.TH ${page^^} 1 \"[0-9-]*\" \"Flipbook Cam $version\"" ||
    fail "the manual page of $page does not name version $version"
done
echo "install layout ok"

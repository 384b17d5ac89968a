#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian package as a user would (apt resolves its dependencies), runs what it installed,
# and removes it again, checking that nothing of it is left under /usr. The package is purged even when
# a check fails, so the machine is left as it was found. Needs root or sudo.
# Usage: scripts/check-package.sh flipbookcam_<version>_<arch>.deb
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/.." && pwd)
package=$(realpath "$1")
sudo=()
[ "$(id -u)" -ne 0 ] && sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive
work=$(mktemp -d)
fail() { echo "FAIL: $*" >&2; exit 1; }

# Paths under /usr that already carry the name (a developer's install in /usr/local, say) are not
# the package's leftovers.
find /usr -path '*flipbookcam*' | sort >"$work/before"
installed_packages() { dpkg-query -W -f='${db:Status-Abbrev} ${Package}\n' | awk '$1 == "ii" {print $2}' | sort; }
installed_packages >"$work/packages-before"
# Purges the package and whatever apt brought in for it (its recommended audio plugin, say).
brought_in=""
remove_package() {
  if dpkg-query -W -f='${db:Status-Abbrev}' flipbookcam 2>/dev/null | grep -q '^ii'; then
    "${sudo[@]}" apt-get purge -y -qq flipbookcam >/dev/null
  fi
  # shellcheck disable=SC2086 # one word a package
  [ -z "$brought_in" ] || "${sudo[@]}" apt-get purge -y -qq $brought_in >/dev/null
}
trap 'remove_package; rm -rf "$work"' EXIT
(cd "$(dirname "$package")" && "${sudo[@]}" apt-get install -y -qq "./$(basename "$package")" >/dev/null)
# Taken at once: apt's lock keeps other installs out while it runs, not after.
brought_in=$(installed_packages | comm -13 "$work/packages-before" - | grep -vx flipbookcam || true)
dpkg-query -L flipbookcam >"$work/files"

flipbookcam-export --version
for page in flipbookcam flipbookcam-export flipbookcam-graphs; do
  LC_ALL=C MANPAGER=cat man "$page" 2>/dev/null | grep "^${page^^}(1) " >/dev/null || fail "man $page shows no manual page"
done

# Three pictures of different sizes, as the program drew them, to a WebM video.
pictures=$work/pictures
mkdir "$pictures"
for name in record-tab help-tab record-live; do cp "$source_dir/docs/screenshots/$name.png" "$pictures/"; done
flipbookcam-export "$pictures" "$work/three.webm" --fps 3
# Every WebM file starts with the EBML header's magic number.
[ "$(head -c 4 "$work/three.webm" | od -An -tx1 | tr -d ' ')" = 1a45dfa3 ] || fail "three.webm is not a WebM file"

# The program without a camera under a virtual X server: its window must show and stay up for 3 s.
cat >"$work/run-program.sh" <<'SCRIPT'
set -u
flipbookcam &
program=$!
window=""
for _ in $(seq 120); do
  window=$(xwininfo -root -tree | awk '/"Flipbook Cam[^"]*": \("flipbookcam"/ {print $1; exit}')
  [ -n "$window" ] && break
  kill -0 $program 2>/dev/null || break
  sleep 0.5
done
[ -n "$window" ] || { echo "FAIL: flipbookcam showed no window" >&2; exit 1; }
sleep 3
kill -0 $program 2>/dev/null || { echo "FAIL: flipbookcam ended by itself" >&2; exit 1; }
xwininfo -id "$window" | grep -q 'Map State: IsViewable' || { echo "FAIL: the window is not shown" >&2; exit 1; }
echo "window $window: $(xwininfo -id "$window" | sed -n 's/^xwininfo: Window id: [^ ]* //p')"
# Whether it ends on SIGTERM as on closing its window is the tests' business, not the package's.
kill -TERM $program
wait $program
exit 0
SCRIPT
xvfb-run -a -s '-screen 0 1280x1024x24' bash "$work/run-program.sh" || fail "the installed program did not run"

remove_package
while read -r path; do
  [ -d "$path" ] && [ ! -L "$path" ] && continue
  if [ -e "$path" ] || [ -L "$path" ]; then fail "$path is left after removing the package"; fi
done <"$work/files"
find /usr -path '*flipbookcam*' | sort >"$work/after"
leftovers=$(comm -13 "$work/before" "$work/after")
[ -z "$leftovers" ] || fail "left under /usr after removing the package: $leftovers"
echo "package installs, runs and leaves nothing behind"

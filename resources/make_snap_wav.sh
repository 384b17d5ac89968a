#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Makes resources/snap.wav, the shutter sound played on each snapshot: two short bursts of filtered
# noise with a quick fade, like a shutter opening and closing. 22050 Hz, mono, 16-bit PCM, 0.2 s.
# The build does not run this; the made file is committed. Needs sox (Debian package "sox").
# -R makes sox's noise generator repeatable, so running this again gives the same file.
set -euo pipefail
out=${1:-"$(dirname "$0")/snap.wav"}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The first click: bright and very short.
sox -R -n -r 22050 -c 1 -b 16 "$work/open.wav" synth 0.035 whitenoise fade q 0.001 0.035 0.032 \
  gain -8 highpass 1500
# The second, a little later: fuller and longer.
sox -R -n -r 22050 -c 1 -b 16 "$work/close.wav" synth 0.06 pinknoise fade q 0.001 0.06 0.055 \
  gain -6 bandpass 2500 1.5q pad 0.07 0
sox -R "$work/open.wav" "$work/close.wav" "$out" norm -3 pad 0 0.03

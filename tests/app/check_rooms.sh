#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The rooms of src/app include only rooms below them (window > shooting > playback > library > camera),
# and only the window's room includes the window's header: a capability never reaches into the window.
set -u
app=${1:?usage: check_rooms.sh SRC_APP_FOLDER}
rooms=(camera library playback shooting window)
status=0
for ((own = 0; own < ${#rooms[@]}; own++)); do
  for ((other = own + 1; other < ${#rooms[@]}; other++)); do
    hits=$(grep -n "#include \"app/${rooms[other]}/" "$app/${rooms[own]}"/*.h "$app/${rooms[own]}"/*.cpp 2>/dev/null)
    if [ -n "$hits" ]; then
      echo "app/${rooms[own]} includes the higher room app/${rooms[other]}:"
      echo "$hits"
      status=1
    fi
  done
done
exit $status

#!/bin/sh
# SPDX-License-Identifier: GPL-2.0-or-later
# Runs a test program on a private X server with a window manager (Openbox), as on a desktop:
# focus, stacking and full screen are the window manager's to grant.
set -eu
work=$(mktemp -d)
xvfb=
wm=
cleanup() {
  [ -n "$wm" ] && kill "$wm" 2>/dev/null || true
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT INT TERM
mkfifo "$work/display" "$work/ready"
# Xvfb picks a free display and writes its number once it accepts clients.
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
xvfb=$!
read -r display <"$work/display"
export DISPLAY=":$display"
# Openbox runs its start-up command once it manages the screen.
openbox --config-file /etc/xdg/openbox/rc.xml --startup "sh -c 'echo up >$work/ready'" >"$work/wm.log" 2>&1 &
wm=$!
read -r _ <"$work/ready"
export QT_QPA_PLATFORM=xcb
"$@"

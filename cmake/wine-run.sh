#!/bin/sh
# Cross-compiling emulator for the win64 build: runs a Windows program under wine64 inside a
# virtual X server, so Direct3D 9 and windows work. WINEPREFIX defaults to one prefix per user.
: "${WINEPREFIX:=${HOME:-/tmp}/.wine-glimmerstrand}"
: "${WINEDEBUG:=-all}"
export WINEPREFIX WINEDEBUG
wine=/usr/lib/wine/wine64
if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1920x1080x24" "$wine" "$@"
fi
exec "$wine" "$@"

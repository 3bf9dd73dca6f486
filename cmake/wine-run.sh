#!/bin/sh
# Cross-compiling emulator for the win64 build: runs a Windows program under wine64 inside a
# virtual X server, so Direct3D 9 and windows work. WINEPREFIX defaults to one prefix per user,
# made on first use. The crash debugger is switched off: a crashing test program would otherwise
# wait for it until CTest's timeout instead of failing at once.
: "${WINEPREFIX:=${HOME:-/tmp}/.wine-glimmerstrand}"
: "${WINEDEBUG:=-all}"
: "${WINEDLLOVERRIDES:=winedbg.exe=d}"
export WINEPREFIX WINEDEBUG WINEDLLOVERRIDES
"$(dirname "$0")/../scripts/wine-prefix" || exit 1
wine=/usr/lib/wine/wine64

# The program's output goes through a file: wineserver and Wine's service processes, when this
# run starts them, inherit the output and may outlive the program by a long while (as long as
# any other program uses the prefix), which would keep CTest waiting on an open pipe.
log=$(mktemp "${TMPDIR:-/tmp}/wine-run.XXXXXX") || exit 1
trap 'rm -f "$log"' EXIT
if [ -z "${DISPLAY:-}" ]; then
    xvfb-run -a -s "-screen 0 1920x1080x24" "$wine" "$@" >"$log" 2>&1 </dev/null
else
    "$wine" "$@" >"$log" 2>&1 </dev/null
fi
status=$?
cat "$log"
exit $status

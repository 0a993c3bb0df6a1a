#!/bin/sh
# The wine prefix of the Windows tests; WINEPREFIX and the rest of wine's environment come from
# the caller.
#
#   wine-fixture.sh setup     starts the prefix's server, to stay up to 10 minutes after its
#                             last program (so that no test pays for a cold start), makes or
#                             updates the prefix, turns winedbg's crash dialog off (under Xvfb
#                             it would wait for a click forever; without it a crash prints a
#                             backtrace and ends the program), and keeps the windows from the
#                             window manager that Xvfb does not have (wine would wait two
#                             seconds for it whenever a window closes)
#   wine-fixture.sh cleanup   ends every process of the prefix and waits for its server, which
#                             writes the prefix's registry back on the way
#
# The server and the services that wineboot starts outlive this script: their output goes to
# WINEPREFIX.log, never to ctest's pipe, which ctest would otherwise wait on.
set -eu
: "${WINEPREFIX:?WINEPREFIX must be set}"
log=$WINEPREFIX.log
case ${1:-} in
setup)
    mkdir -p "$WINEPREFIX"
    # Status 2: a server runs for this prefix already.
    wineserver -p600 </dev/null >>"$log" 2>&1 || [ $? -eq 2 ]
    wineboot -i </dev/null >>"$log" 2>&1
    wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
        </dev/null >>"$log" 2>&1
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f \
        </dev/null >>"$log" 2>&1
    ;;
cleanup)
    # No server to end is fine.
    wineserver -k </dev/null >>"$log" 2>&1 || true
    wineserver -w
    ;;
*)
    echo "usage: $0 setup|cleanup" >&2
    exit 2
    ;;
esac

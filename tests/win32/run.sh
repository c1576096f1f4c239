#!/usr/bin/env bash
# Runs the Win32 layer's test program under Wine in a throwaway prefix and exits with its
# status. Usage: tests/win32/run.sh path/to/win32_tests.exe [gtest options]
set -u
exe=${1:?usage: run.sh path/to/win32_tests.exe [gtest options]}
shift
exe=$(realpath "$exe")

export WINEDEBUG=-all
WINEPREFIX=$(mktemp -d /tmp/vesk-win32-prefix.XXXXXX)
export WINEPREFIX
share=$(mktemp -d /tmp/vesk-win32-share.XXXXXX)
cleanup() {
  wineserver -k 2>/dev/null
  rm -rf "$WINEPREFIX" "$share"
}
trap cleanup EXIT

# The prefix is made without a display, and the server has ended before anything runs.
env -u DISPLAY wineboot -i >/dev/null 2>&1
wineserver -w

# A crash ends with an exit code instead of waiting in a dialog.
env -u DISPLAY wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
  >/dev/null 2>&1
# \\vesktest\share: Wine finds shares under dosdevices/unc.
mkdir -p "$WINEPREFIX/dosdevices/unc/vesktest"
ln -s "$share" "$WINEPREFIX/dosdevices/unc/vesktest/share"

env -u DISPLAY wine "$exe" "$@"
exit $?

#!/usr/bin/env bash
# The Windows installer under Wine, as a user meets it: a silent install (/S) puts
# pinvale.exe (with its version resource and manifest) under Program Files, a
# Start-menu shortcut, and an installed-programs entry with version, publisher, size
# and uninstaller; the installed program starts with its virtual key and closes
# (gui_smoke.sh); the silent uninstall leaves nothing behind.
#
# Usage: installer_test.sh SETUP_EXE VERSION WINE_RUN SKIN_DIR
set -uo pipefail
setup=$1 version=$2 wine_run=$3 skin=$4
here=$(cd "$(dirname "$0")" && pwd)
export WINEPREFIX=${WINEPREFIX:-$(cd "$(dirname "$wine_run")/.." && pwd)/build/wine-prefix}
dir="$WINEPREFIX/drive_c/Program Files/Pinvale"
shortcut="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Pinvale.lnk"
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Pinvale'
work=$(mktemp -d)
source "$here/own_display.sh"
trap 'stop_own_display; rm -rf "$work"' EXIT
start_own_display || exit 1
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

reg_value() {  # NAME -> the value's data, or nothing
  "$wine_run" reg query "$key" /v "$1" 2>/dev/null | tr -d '\r' |
    awk -v n="$1" '$1 == n {sub(/^ *[^ ]+ +[^ ]+ +/, ""); print}'
}
installed_traces() {
  [ -e "$dir" ] && echo "folder $dir: $(ls "$dir" | tr '\n' ' ')"
  [ -e "$shortcut" ] && echo "shortcut"
  "$wine_run" reg query "$key" >/dev/null 2>&1 && echo "registry entry"
}

# A run that failed half-way must not make this one pass or fail.
rm -rf "$dir" "$shortcut"
"$wine_run" reg delete "$key" /f >/dev/null 2>&1

"$wine_run" "$setup" /S || fail "setup.exe /S exited with $?"
for file in pinvale.exe uninstall.exe; do
  [ -f "$dir/$file" ] || fail "no $file in Program Files\\Pinvale"
done
[ -f "$shortcut" ] && grep -qa "pinvale.exe" "$shortcut" || fail "no Start-menu shortcut to pinvale.exe"
[ "$(reg_value DisplayName)" = Pinvale ] || fail "DisplayName: $(reg_value DisplayName)"
[ "$(reg_value DisplayVersion)" = "$version" ] || fail "DisplayVersion: $(reg_value DisplayVersion)"
[ "$(reg_value Publisher)" = "the Pinvale authors" ] || fail "Publisher: $(reg_value Publisher)"
[[ $(reg_value UninstallString) == *'Pinvale\uninstall.exe"' ]] ||
  fail "UninstallString: $(reg_value UninstallString)"
size_kb=$(($(reg_value EstimatedSize) + 0))
exe_kb=$(($(stat -c %s "$dir/pinvale.exe" 2>/dev/null || echo 0) / 1024))
((size_kb >= exe_kb && size_kb < exe_kb * 2 + 1024)) ||
  fail "EstimatedSize ${size_kb} KB for a pinvale.exe of ${exe_kb} KB"
echo "installed: $(ls "$dir" | tr '\n' ' ')(${size_kb} KB), shortcut, uninstall entry $version"

# What Explorer shows in the file's properties, and what Windows reads from its manifest.
/usr/bin/python3 - "$dir/pinvale.exe" "$version" <<'PY' || fail "version resource or manifest"
import re, sys
data = open(sys.argv[1], "rb").read()
def string_value(key):
    m = re.search(re.escape(key.encode("utf-16-le")) + rb"\0\0(?:\0\0)?((?:[^\0]\0)+)\0\0", data)
    return m.group(1).decode("utf-16-le") if m else None
want = {"ProductName": "Pinvale", "ProductVersion": sys.argv[2], "FileVersion": sys.argv[2]}
bad = {k: string_value(k) for k, v in want.items() if string_value(k) != v}
if not (string_value("FileDescription") or "").startswith("Pinvale"):
    bad["FileDescription"] = string_value("FileDescription")
for text in (b'level="asInvoker"', b"PerMonitorV2", b"{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"):
    if text not in data:
        bad["manifest"] = text.decode()
print("version resource and manifest:", bad or "as expected")
sys.exit(1 if bad else 0)
PY

bash "$here/gui_smoke.sh" "$dir/pinvale.exe" "$wine_run" "$skin" || fail "the installed pinvale.exe"

# The uninstaller copies itself to the temporary folder and returns at once; the
# copy does the work.
"$wine_run" "$dir/uninstall.exe" /S || fail "uninstall.exe /S exited with $?"
for _ in $(seq 150); do
  [ -z "$(installed_traces)" ] && break
  sleep 0.2
done
left=$(installed_traces)
[ -z "$left" ] || fail "left after uninstalling: $left"

[ $failures = 0 ] && echo "installer: all checks passed"
[ $failures = 0 ]

#!/usr/bin/env bash
# Installs the Windows installer silently, as a technician without administrator rights
# would, into a Wine prefix of the test's own, and checks what the account gets: the
# files in %LOCALAPPDATA%\Programs\splice-records, the Start-menu shortcut, the entry
# Settings > Apps reads, a program that runs from there, an installer that asks for no
# rights. Then it uninstalls silently and checks that everything installed is gone and
# that the technician's logs and settings are not. A second round installs into a
# folder of the user's choice, with a space in its name, and uninstalls through the
# registered QuietUninstallString, as Settings does; a file the technician saved in that
# folder stays, and so does the folder.
#   installer_test.sh SETUP STAGE WIN32_INSPECT VERSION WORK PROGRAM...
# STAGE holds the files the installer was made from; WORK is emptied and used.
set -uo pipefail
export LC_ALL=C
setup="$1" stage="$2" inspect="$3" version="$4" work="$5"
shift 5
programs=("$@")

source "$(dirname "${BASH_SOURCE[0]}")/checks.sh"

# A prefix of its own, made afresh, so that all the uninstaller leaves is this
# installer's doing; a home of its own, as Wine links Documents and the other user
# folders to the home folder. Wine's menu builder is off, or it would copy the Start
# menu entry into ~/.local. No display: a silent install shows nothing, and a new
# prefix's desktop would take the focus from the window's tests on the shared one. The
# server runs detached, as in scripts/run-windows-tests, and stops with the test; the
# prefix (700 MB) goes too unless the test failed.
rm -rf "$work"
mkdir -p "$work/home" "$work/prefix" "$work/technician"
unset DISPLAY WAYLAND_DISPLAY
export HOME="$work/home" WINEPREFIX="$work/prefix" WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d;winemenubuilder.exe=d"
wineserver -p > /dev/null 2>&1 < /dev/null
finish() {
  wineserver -k > /dev/null 2>&1
  wineserver -w > /dev/null 2>&1
  ((failed)) || rm -rf "$work/prefix"
}
trap finish EXIT
if ! wineboot -i > "$work/wineboot.log" 2>&1 < /dev/null; then
  cat "$work/wineboot.log"
  fail "wineboot could not make the prefix"
  exit 1
fi

# run COMMAND...: its output without CRs, its status; Wine's messages go to wine.log. A
# file, not a pipe, takes the output, so that no Wine helper it starts holds a pipe open.
run() {
  "$@" < /dev/null > "$work/output" 2>> "$work/wine.log"
  local status=$?
  tr -d '\r' < "$work/output"
  return $status
}
unix() { run winepath -u "$1"; }
windows() { run winepath -w "$1"; }
inspect() { run wine "$inspect" "$@"; }
# The values of a registry key, "NAME TYPE DATA" a line, sorted.
values() { run wine reg query "$1" | sed -n 's/^    \(.*\)    \(REG_[A-Z_]*\)    \(.*\)$/\1 \2 \3/p' | sort; }
# What of the prefix a user sees: the files of drive C: but Windows' own and the temporary
# ones, and the user's part of the registry. Documents is the home folder, seen apart.
snapshot() {
  (cd "$WINEPREFIX/drive_c" && find . -path ./windows -prune -o -path './users/*/Temp' -prune -o -print | sort)
  run wine reg query 'HKCU\Software' /s
}

appdata="$(run wine cmd /c echo %APPDATA%)"
local_appdata="$(run wine cmd /c echo %LOCALAPPDATA%)"
profile="$(run wine cmd /c echo %USERPROFILE%)"
instdir="$local_appdata\\Programs\\splice-records"
shortcut="$appdata\\Microsoft\\Windows\\Start Menu\\Programs\\splice-records.lnk"
key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\splice-records'
all_users_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\splice-records'
packed=("${programs[@]/%/.exe}" LICENSE.txt README.txt)

# The technician's log, in both places the program keeps one, and their settings, there
# before the install as after an earlier version.
printf 'NO 00001: 2002-12-19 15:27   LOSS:0.06dB\r\n' > "$work/technician/RECORD.txt"
printf '[port]\r\nname=COM3\r\n' > "$work/technician/splice-records.ini"
technician=("$(unix "$profile\\Documents\\RECORD.txt")|RECORD.txt" "$(unix 'C:\RECORD.txt')|RECORD.txt"
            "$(unix "$appdata\\splice-records\\splice-records.ini")|splice-records.ini")
for entry in "${technician[@]}"; do
  mkdir -p "$(dirname "${entry%|*}")"
  cp "$work/technician/${entry#*|}" "${entry%|*}"
done
# Windows' folder for per-user programs and its key for their uninstall entries, which
# the installer makes when missing; they are Windows', not ours, and stay.
mkdir -p "$(unix "$local_appdata\\Programs")"
run wine reg add "${key%\\*}" /f > /dev/null
before="$(snapshot)"

echo "== the installer itself"
setup_facts="$(inspect resources "$(windows "$setup")")"
same "what the installer's version and manifest say" "version.ProductVersion=$version
manifest.runLevel=asInvoker" "$(grep -E '^(manifest.runLevel|version.ProductVersion)=' <<<"$setup_facts")"

echo "== silent install into $instdir"
run wine "$setup" /S || fail "the installer exited with status $?"
installed="$(unix "$instdir")"
same "the files in $instdir" "$(printf '%s\n' "${packed[@]}" Uninstall.exe | sort)" "$(ls -A "$installed")"
for file in "${packed[@]}"; do
  cmp -s "$stage/$file" "$installed/$file" || fail "$instdir\\$file is not the file packed"
done
# The icon the shortcut and the entry point at, in the program as installed.
same "the installed program's icon and version" "version.ProductVersion=$version
icon.1=16/32bpp 20/32bpp 24/32bpp 32/32bpp 40/32bpp 48/32bpp 64/32bpp 256/32bpp" \
  "$(inspect resources "$instdir\\splice-records.exe" | grep -E '^(version.ProductVersion|icon.1)=')"
same "the Start-menu shortcut" "shortcut.target=$instdir\\splice-records.exe
shortcut.arguments=
shortcut.folder=$instdir
shortcut.icon=$instdir\\splice-records.exe,0" "$(inspect shortcut "$shortcut")"
# Settings > Apps shows the size in KiB; NSIS rounds the sum down.
size=$(($(cat "$installed"/* | wc -c) / 1024))
same "the uninstall entry $key" "DisplayIcon REG_SZ $instdir\\splice-records.exe,0
DisplayName REG_SZ splice-records
DisplayVersion REG_SZ $version
EstimatedSize REG_DWORD $(printf '0x%x' "$size")
InstallLocation REG_SZ $instdir
NoModify REG_DWORD 0x1
NoRepair REG_DWORD 0x1
Publisher REG_SZ The splice-records developers
QuietUninstallString REG_SZ \"$instdir\\Uninstall.exe\" /S
UninstallString REG_SZ \"$instdir\\Uninstall.exe\"" "$(values "$key")"
run wine reg query "$all_users_key" > /dev/null && fail "an uninstall entry for all users: $all_users_key"
for program in "${programs[@]}"; do
  reported="$(cd "$installed" && run wine "$instdir\\$program.exe" --version)"
  grep -qxF "$program $version" <<<"$reported" \
    || fail "$program.exe --version in $instdir printed \"$reported\", not \"$program $version\""
done

echo "== silent uninstall in place"
# In place (_?=) the uninstaller runs to its end before returning, and cannot remove
# itself: that one file is ours to remove.
run wine "$instdir\\Uninstall.exe" /S "_?=$instdir" || fail "the uninstaller exited with status $?"
same "what the uninstaller left in $instdir" "Uninstall.exe" "$(ls -A "$installed" 2>&1)"
rm -f "$installed/Uninstall.exe"
rmdir "$installed" 2> /dev/null
[ -e "$(unix "$shortcut")" ] && fail "the Start-menu shortcut is still there"
values "$key" | grep -q . && fail "the uninstall entry is still there"
same "the user's files and registry after install and uninstall" "$before" "$(snapshot)"
for entry in "${technician[@]}"; do
  cmp -s "$work/technician/${entry#*|}" "${entry%|*}" || fail "the uninstaller changed or removed ${entry%|*}"
done

echo "== silent install into a folder of the user's choice, uninstalled as Settings does"
chosen='C:\Tools\splice records'
# /D= comes last and unquoted, spaces and all: the exact command line, through run.
inspect run "\"$(windows "$setup")\" /S /D=$chosen" > /dev/null || fail "the installer exited with status $?"
chosen_unix="$(unix "$chosen")"
same "the files in $chosen" "$(printf '%s\n' "${packed[@]}" Uninstall.exe | sort)" "$(ls -A "$chosen_unix")"
same "the uninstall entry's folder" "InstallLocation REG_SZ $chosen
QuietUninstallString REG_SZ \"$chosen\\Uninstall.exe\" /S" \
  "$(values "$key" | grep -E '^(InstallLocation|QuietUninstallString) ')"
printf 'splice 12 redone\r\n' > "$chosen_unix/notes.txt"
quiet="$(values "$key" | sed -n 's/^QuietUninstallString REG_SZ //p')"
# The uninstaller hands over to a copy of itself in %TEMP% and returns; run waits for
# the copy too.
inspect run "$quiet" > /dev/null || fail "\"$quiet\" exited with status $?"
same "what the uninstaller left in $chosen" "notes.txt" "$(ls -A "$chosen_unix" 2>&1)"
[ -e "$(unix "$shortcut")" ] && fail "the Start-menu shortcut is still there"
values "$key" | grep -q . && fail "the uninstall entry is still there"
rm -rf "$(unix 'C:\Tools')"
same "the user's files and registry after the second install and uninstall" "$before" "$(snapshot)"
for entry in "${technician[@]}"; do
  cmp -s "$work/technician/${entry#*|}" "${entry%|*}" || fail "the uninstaller changed or removed ${entry%|*}"
done

passed "installed for the user alone, uninstalled leaving only the technician's files"

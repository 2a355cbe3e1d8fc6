#!/usr/bin/env bash
# Checks what Windows reads from a program's resources (through win32_inspect, under
# Wine) against the table below: the version Explorer shows, the icon the window and
# the Start menu use, and what the manifest asks of the loader.
#   resources_test.sh WIN32_INSPECT PROGRAM.exe VERSION
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/checks.sh"
inspect="$1" program="$2" version="$3"
name="$(basename "$program" .exe)"

version_block() {  # PROGRAM-NAME
  cat <<TABLE
version.fixed.file=$version.0
version.fixed.product=$version.0
version.fixed.type=application
version.translation=040904b0
version.CompanyName=The splice-records developers
version.FileDescription=$1
version.FileVersion=$version
version.InternalName=$1
version.LegalCopyright=Copyright 2026 The splice-records developers
version.OriginalFilename=$1.exe
version.ProductName=splice-records
version.ProductVersion=$version
TABLE
}
# Windows 7, 8, 8.1, and 10 and 11, as Microsoft's manifest documentation names them.
supported_os="{35138b9a-5d96-4fbd-8e2d-a2440225f93a} {4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}\
 {1f676c76-80e1-4239-95bb-83d0f6d0da78} {8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"

case "$name" in
  splice-records)
    expected="$(version_block splice-records; cat <<TABLE
icon.1=16/32bpp 20/32bpp 24/32bpp 32/32bpp 40/32bpp 48/32bpp 64/32bpp 256/32bpp
icon.1.loadImage16,32,48=16 32 48
manifest=accepted
manifest.runLevel=asInvoker
manifest.uiAccess=false
manifest.supportedOS=$supported_os
manifest.dpiAware=true/pm
manifest.dpiAwareness=PerMonitorV2, PerMonitor
manifest.activeCodePage=UTF-8
manifest.commonControls=6.0
TABLE
)" ;;
  # A console program: no icon, and none of the window's settings.
  splice-report)
    expected="$(version_block splice-report; cat <<TABLE
icon.1=none
manifest=accepted
manifest.runLevel=asInvoker
manifest.uiAccess=false
manifest.supportedOS=$supported_os
manifest.dpiAware=none
manifest.dpiAwareness=none
manifest.activeCodePage=UTF-8
manifest.commonControls=system
TABLE
)" ;;
  *) echo "no table for $name"; exit 2 ;;
esac

actual="$(wine "$inspect" resources "$(winepath -w "$program" 2>/dev/null)" < /dev/null | tr -d '\r')" \
  || { echo "FAILED: win32_inspect could not read $program"; exit 1; }
same "the resources of $program against the table" "$expected" "$actual"
passed "$name.exe carries the version, icon and manifest of the table"

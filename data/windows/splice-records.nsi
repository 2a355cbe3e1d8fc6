; The Windows installer of splice-records: for the user who runs it, without
; administrator rights. It installs into the user's own Programs folder, adds a Start
; menu entry and an uninstaller that Settings > Apps lists. Built by
; data/windows/CMakeLists.txt:
;   makensis -DVERSION=1.0.0 -DVERSION_NUMBERS=1.0.0.0 -DPUBLISHER=... -DSTAGE=DIR
;            -DICON=FILE -DOUTFILE=FILE [-DWITH_REPORT] splice-records.nsi
; where STAGE holds the files to install, as the zip has them.

Unicode true
; The programs are 64-bit only, so is the installer; it also runs under 64-bit Wine.
Target amd64-unicode
SetCompressor /SOLID lzma
; asInvoker in its manifest: Windows neither asks for administrator rights nor guesses
; them from the "setup" in the file name.
RequestExecutionLevel user
ManifestDPIAware true

!include MUI2.nsh
!include FileFunc.nsh

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\splice-records"

Name "splice-records"
OutFile "${OUTFILE}"
; The per-user counterpart of Program Files, where Windows' own per-user installs go.
InstallDir "$LOCALAPPDATA\Programs\splice-records"
; A later version goes where the first one went.
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "splice-records ${VERSION}"

VIProductVersion "${VERSION_NUMBERS}"
VIFileVersion "${VERSION_NUMBERS}"
VIAddVersionKey "ProductName" "splice-records"
VIAddVersionKey "FileDescription" "splice-records ${VERSION} setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "LegalCopyright" "${COPYRIGHT}"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN "$INSTDIR\splice-records.exe"
!define MUI_FINISHPAGE_SHOWREADME "$INSTDIR\README.txt"
!define MUI_FINISHPAGE_SHOWREADME_NOTCHECKED
!insertmacro MUI_PAGE_LICENSE "${STAGE}/LICENSE.txt"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Section
  SetOutPath "$INSTDIR"
  File "${STAGE}/splice-records.exe"
!ifdef WITH_REPORT
  File "${STAGE}/splice-report.exe"
!endif
  File "${STAGE}/README.txt"
  File "${STAGE}/LICENSE.txt"
  WriteUninstaller "$INSTDIR\Uninstall.exe"

  ; Started from here the program's current folder is its own, as from Explorer.
  CreateShortCut "$SMPROGRAMS\splice-records.lnk" "$INSTDIR\splice-records.exe" "" "$INSTDIR\splice-records.exe" 0

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "splice-records"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\splice-records.exe,0"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  ; In KiB, what Settings > Apps shows as the size.
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

; Removes what the installer put there, by name, and the folder only when nothing else
; is left in it. The technician's log (Documents\RECORD.txt or C:\RECORD.txt) and the
; program's settings (%APPDATA%\splice-records) are theirs and stay, and so does
; anything they saved in the program's folder.
Section "Uninstall"
  Delete "$SMPROGRAMS\splice-records.lnk"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
  Delete "$INSTDIR\splice-records.exe"
  Delete "$INSTDIR\splice-report.exe"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR"
SectionEnd

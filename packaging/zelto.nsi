; The Windows installer of Zelto: ZELTO.EXE, the README and the docs (the user
; guide docs\guide.md among them) into
; Program Files\Zelto, a Start-menu shortcut, and an uninstaller registered
; in Add/Remove Programs. /S installs and uninstalls without a question.
; scripts/release.sh builds it:
;   makensis -DVERSION=3.16 -DSRC=$PWD/dist/zelto-3.16 -DOUT=$PWD/dist/zelto-3.16-setup.exe
;            -DSIZE_KB=... packaging/zelto.nsi  (absolute paths: it works in its own folder)
; The user's settings (%APPDATA%\Zelto) are the user's: the uninstaller
; leaves them.

; A 64-bit installer, as ZELTO.EXE is a 64-bit program: it runs on every
; Windows that runs ZELTO.EXE, and under a Wine without its 32-bit half.
Target amd64-unicode
SetCompressor /SOLID lzma

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Zelto"

Name "Zelto ${VERSION}"
OutFile "${OUT}"
InstallDir "$PROGRAMFILES64\Zelto"
RequestExecutionLevel admin
ShowInstDetails nevershow
ShowUninstDetails nevershow
VIProductVersion "${VERSION}.0.0"
VIAddVersionKey "ProductName" "Zelto"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "Zelto ${VERSION} Setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "Copyright (c) 2026 the Zelto developers"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

; The registry entries go to the 64-bit view, where ZELTO.EXE's belong.
Function .onInit
  SetRegView 64
FunctionEnd

Function un.onInit
  SetRegView 64
FunctionEnd

Section "Zelto"
  SetShellVarContext all
  SetOutPath "$INSTDIR"
  File "${SRC}/ZELTO.EXE"
  File "${SRC}/README.md"
  SetOutPath "$INSTDIR\docs"
  File /r "${SRC}/docs/*"
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortCut "$SMPROGRAMS\Zelto.lnk" "$INSTDIR\ZELTO.EXE" "" "$INSTDIR\ZELTO.EXE" 0

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Zelto ${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "the Zelto developers"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\ZELTO.EXE"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" ${SIZE_KB}
SectionEnd

; Only what the installer put there; a folder the user filled stays.
Section "Uninstall"
  SetShellVarContext all
  Delete "$SMPROGRAMS\Zelto.lnk"
  Delete "$INSTDIR\ZELTO.EXE"
  Delete "$INSTDIR\README.md"
  RMDir /r "$INSTDIR\docs"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd

; The Windows installer of Quorvel, made by scripts/windows.sh with makensis:
;   makensis -DVERSION=1.0.0 -DSTAGE=folder -DOUTFILE=Quorvel-1.0.0-setup.exe -DSIZE_KB=n installer.nsi
; STAGE holds what is installed, as it lies in the install folder. Per user and without
; administrator rights: the program under %LOCALAPPDATA%\Programs\Quorvel, its Start-menu entry and
; its uninstaller in the user's own list of programs. /S installs and uninstalls without a word.
Unicode true
; A 64-bit installer for a 64-bit program (and wine64 runs no 32-bit code).
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user
ManifestDPIAware true
ManifestSupportedOS Win10

!include "MUI2.nsh"
!include "FileFunc.nsh"

!define NAME "Quorvel"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Quorvel"

Name "${NAME} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\Quorvel"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${NAME} ${VERSION}"
VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=2052 "ProductName" "${NAME}"
VIAddVersionKey /LANG=2052 "FileDescription" "Quorvel 安装程序"
VIAddVersionKey /LANG=2052 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=2052 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=2052 "CompanyName" "Quorvel"
VIAddVersionKey /LANG=2052 "LegalCopyright" "Quorvel"

!define MUI_ICON "${STAGE}\quorvel.ico"
!define MUI_UNICON "${STAGE}\quorvel.ico"
!define MUI_FINISHPAGE_RUN "$INSTDIR\quorvel.exe"
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "SimpChinese"

Section "Quorvel"
  SetShellVarContext current
  SetOutPath "$INSTDIR"
  File /r "${STAGE}\*.*"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortcut "$SMPROGRAMS\Quorvel.lnk" "$INSTDIR\quorvel.exe" "" "$INSTDIR\quorvel.ico"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${NAME}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "Quorvel"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\quorvel.ico"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" ${SIZE_KB}
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; Only what the installer put there goes; the user's settings (HKEY_CURRENT_USER\Quorvel) and
; downloads stay, unless the user asks to remove the settings too.
Section "Uninstall"
  SetShellVarContext current
  !include "${FILELIST}"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\Quorvel.lnk"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
  IfSilent done
  MessageBox MB_YESNO|MB_ICONQUESTION "是否同时删除 Quorvel 的设置（设备号、图资版本、保存目录等）？$\n下载的文件不会被删除。" /SD IDNO IDNO done
  DeleteRegKey HKCU "Quorvel"
  done:
SectionEnd

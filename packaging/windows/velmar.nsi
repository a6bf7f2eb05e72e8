; The Windows setup of velmar, made by scripts/package-windows with
;   makensis -DVERSION=... -DSTAGE=... -DFILES=... -DUNFILES=... -DOUTFILE=... velmar.nsi
; STAGE is the folder `cmake --install --component windows` filled; FILES and
; UNFILES list its files as File and Delete lines, so that the uninstaller
; removes exactly what was installed.
;
; Per-user (the default, no administrator rights) or per-machine install:
; /CurrentUser or /AllUsers on the command line, a page otherwise. The
; uninstaller is uninstall.exe: the window takes its presence as the sign that
; it runs installed and keeps its settings in %APPDATA%\velmar.

; A 64-bit setup for the 64-bit programs: it needs no 32-bit subsystem.
Target amd64-unicode
SetCompressor /SOLID lzma

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\velmar"

!define MULTIUSER_EXECUTIONLEVEL Highest
!define MULTIUSER_MUI
!define MULTIUSER_INSTALLMODE_COMMANDLINE
!define MULTIUSER_INSTALLMODE_DEFAULT_CURRENTUSER
!define MULTIUSER_USE_PROGRAMFILES64
!define MULTIUSER_INSTALLMODE_INSTDIR "velmar"
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_KEY "${UNINSTALL_KEY}"
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_VALUENAME "InstallLocation"
!define MULTIUSER_INSTALLMODE_DEFAULT_REGISTRY_KEY "${UNINSTALL_KEY}"
!define MULTIUSER_INSTALLMODE_DEFAULT_REGISTRY_VALUENAME "UninstallString"
!include MultiUser.nsh
!include MUI2.nsh

Name "velmar ${VERSION}"
OutFile "${OUTFILE}"
BrandingText "velmar ${VERSION}"

!define MUI_ICON "${STAGE}/velmar.ico"
!define MUI_UNICON "${STAGE}/velmar.ico"
!define MUI_FINISHPAGE_TITLE "velmar is installed"
!define MUI_FINISHPAGE_TEXT "velmar reaches the Brindle Programmer through FTDI's D2XX driver, ftd2xx.dll, which is FTDI's software and is not included here.$\r$\n$\r$\nInstall the D2XX driver from FTDI's web site; Windows Update usually installs it too when the programmer is first plugged in. velmar finds ftd2xx.dll in the Windows system folder, where the driver puts it, or beside velmar.exe."
!define MUI_FINISHPAGE_LINK "FTDI D2XX drivers: ftdichip.com/drivers/d2xx-drivers"
!define MUI_FINISHPAGE_LINK_LOCATION "https://ftdichip.com/drivers/d2xx-drivers/"
!define MUI_FINISHPAGE_RUN "$INSTDIR\velmar.exe"
!define MUI_FINISHPAGE_RUN_NOTCHECKED
!define MUI_FINISHPAGE_SHOWREADME "$INSTDIR\README.txt"
!define MUI_FINISHPAGE_SHOWREADME_NOTCHECKED

!insertmacro MUI_PAGE_WELCOME
!insertmacro MULTIUSER_PAGE_INSTALLMODE
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Function .onInit
  !insertmacro MULTIUSER_INIT
FunctionEnd

Function un.onInit
  !insertmacro MULTIUSER_UNINIT
FunctionEnd

Section "velmar"
  !include "${FILES}"
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortCut "$SMPROGRAMS\velmar.lnk" "$INSTDIR\velmar.exe" "" "$INSTDIR\velmar.ico"
  CreateShortCut "$DESKTOP\velmar.lnk" "$INSTDIR\velmar.exe" "" "$INSTDIR\velmar.ico"
  ; SHCTX: HKLM for all users, HKCU for the current user (MultiUser sets it).
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "velmar"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\velmar.ico"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe" /$MultiUser.InstallMode'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /$MultiUser.InstallMode /S'
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "EstimatedSize" ${SIZE_KB}
SectionEnd

Section "Uninstall"
  !include "${UNFILES}"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\velmar.lnk"
  Delete "$DESKTOP\velmar.lnk"
  DeleteRegKey SHCTX "${UNINSTALL_KEY}"
SectionEnd

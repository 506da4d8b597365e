; The QSOPAD installer: a per-user installation that needs no administrator rights, with a
; Start-menu entry and an uninstaller that keeps the operator's settings and logs unless asked.
;
; packaging/package.sh runs makensis on this file once per build, defining
;   VERSION   the version text of src/win32/resource.h, e.g. 0.1.0
;   VERSION4  its four version numbers, e.g. 0.1.0.0
;   ARCH      x86_64 or i686: the build the payload comes from
;   PAYLOAD   the folder with qsopad.exe, qsopad-fcc.exe, manual.htm and images/
;   OUTFILE   the installer to write
;
; Both installers are 32-bit programs, so that the 64-bit one can still start on a 32-bit
; Windows and say why it will not install there.

!macro REQUIRE_DEFINE name
  !ifndef ${name}
    !error "${name} is not defined: run packaging/package.sh, which defines it"
  !endif
!macroend
!insertmacro REQUIRE_DEFINE VERSION
!insertmacro REQUIRE_DEFINE VERSION4
!insertmacro REQUIRE_DEFINE ARCH
!insertmacro REQUIRE_DEFINE PAYLOAD
!insertmacro REQUIRE_DEFINE OUTFILE
!if "${ARCH}" == "x86_64"
  !define BITS 64
!else if "${ARCH}" == "i686"
  !define BITS 32
!else
  !error "ARCH must be x86_64 or i686, not ${ARCH}"
!endif

Unicode true
SetCompressor /SOLID lzma
RequestExecutionLevel user
ManifestSupportedOS all

!include MUI2.nsh
!include LogicLib.nsh
!include x64.nsh
!include FileFunc.nsh
!include nsDialogs.nsh
!include WinMessages.nsh

!define PUBLISHER "QSOPAD developers"
!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\QSOPAD"
; The class of QSOPAD's main window, to see whether it is running.
!define MAIN_CLASS "QSOPAD_Form1"
!define SETTINGS_DIR "$APPDATA\QSOPAD"

Name "QSOPAD ${VERSION}"
Caption "QSOPAD ${VERSION} (${BITS}-bit) Setup"
UninstallCaption "QSOPAD ${VERSION} Uninstall"
BrandingText "QSOPAD ${VERSION} (${BITS}-bit)"
OutFile "${OUTFILE}"
; Per user: the program folder lives in the user's profile, so no administrator is needed.
InstallDir "$LOCALAPPDATA\Programs\QSOPAD"
; An update goes where the last installation went.
InstallDirRegKey HKCU "${UNINST_KEY}" "InstallLocation"
ShowInstDetails show
ShowUninstDetails show

!define MUI_ABORTWARNING
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN "$INSTDIR\qsopad.exe"
!define MUI_FINISHPAGE_RUN_TEXT "Start QSOPAD"
!define MUI_FINISHPAGE_SHOWREADME "$INSTDIR\manual.htm"
!define MUI_FINISHPAGE_SHOWREADME_TEXT "Show the manual"
!define MUI_FINISHPAGE_SHOWREADME_NOTCHECKED
!insertmacro MUI_PAGE_FINISH

UninstPage custom un.SettingsPage un.SettingsPageLeave
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"

VIProductVersion "${VERSION4}"
VIFileVersion "${VERSION4}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductName" "QSOPAD"
VIAddVersionKey /LANG=${LANG_ENGLISH} "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileDescription" "QSOPAD ${VERSION} (${BITS}-bit) Setup"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "LegalCopyright" "${PUBLISHER}"

Var RemoveSettings     ; ${BST_CHECKED} when the user ticked "Also remove my settings"
Var RemoveSettingsBox

; Files in use cannot be replaced or removed: ask the user to close QSOPAD first. A silent
; run does not wait for anyone and gives up instead.
!macro CLOSE_QSOPAD_FIRST un
  Function ${un}CloseQsopadFirst
    ${Do}
      FindWindow $0 "${MAIN_CLASS}"
      ${If} $0 == 0
        Return
      ${EndIf}
      MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION \
        "QSOPAD is running. Please close it, then choose Retry." /SD IDCANCEL IDRETRY again
      Abort
      again:
    ${Loop}
  FunctionEnd
!macroend
!insertmacro CLOSE_QSOPAD_FIRST ""
!insertmacro CLOSE_QSOPAD_FIRST "un."

Function .onInit
!if ${BITS} == 64
  ${IfNot} ${RunningX64}
    MessageBox MB_OK|MB_ICONSTOP "This is the 64-bit QSOPAD, and this Windows is 32-bit.$\r$\n$\r$\n\
      Please install the 32-bit QSOPAD instead: qsopad-${VERSION}-i686-setup.exe." /SD IDOK
    Abort
  ${EndIf}
!endif
  Call CloseQsopadFirst
FunctionEnd

Section "QSOPAD"
  SetOutPath "$INSTDIR"
  File "${PAYLOAD}/qsopad.exe"
  File "${PAYLOAD}/qsopad-fcc.exe"
  File "${PAYLOAD}/manual.htm"
  SetOutPath "$INSTDIR\images"
  File "${PAYLOAD}/images/*.*"
  ; No QSOPAD.ini goes beside the program: an installed QSOPAD keeps its settings in the
  ; user's application data, where the uninstaller leaves them.
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortcut "$SMPROGRAMS\QSOPAD.lnk" "$INSTDIR\qsopad.exe" "" "" 0 SW_SHOWNORMAL "" \
    "QSOPAD, the PSK31 operating console"

  WriteRegStr HKCU "${UNINST_KEY}" "DisplayName" "QSOPAD (${BITS}-bit)"
  WriteRegStr HKCU "${UNINST_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINST_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKCU "${UNINST_KEY}" "DisplayIcon" "$INSTDIR\qsopad.exe,0"
  WriteRegStr HKCU "${UNINST_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINST_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINST_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINST_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINST_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKCU "${UNINST_KEY}" "EstimatedSize" $0
SectionEnd

Function un.onInit
  Call un.CloseQsopadFirst
  StrCpy $RemoveSettings ${BST_UNCHECKED}
FunctionEnd

; The one page of the uninstaller before it works: what goes, what stays, and the box.
Function un.SettingsPage
  !insertmacro MUI_HEADER_TEXT "Uninstall QSOPAD" "Remove QSOPAD ${VERSION} from this computer."
  nsDialogs::Create 1018
  Pop $0
  ${If} $0 == error
    Abort
  ${EndIf}
  ${NSD_CreateLabel} 0 0 100% 20u "QSOPAD will be removed from the folder$\r$\n$INSTDIR"
  Pop $0
  ${NSD_CreateLabel} 0 28u 100% 44u "Your settings ($APPDATA\QSOPAD\QSOPAD.ini) are kept, so that \
    QSOPAD finds them again when you install it later. Your log files are always kept, \
    wherever they are."
  Pop $0
  ${NSD_CreateCheckbox} 0 80u 100% 12u "Also remove my settings"
  Pop $RemoveSettingsBox
  ${NSD_SetState} $RemoveSettingsBox $RemoveSettings
  GetDlgItem $0 $HWNDPARENT 1
  SendMessage $0 ${WM_SETTEXT} 0 "STR:$(^UninstallBtn)"
  nsDialogs::Show
FunctionEnd

Function un.SettingsPageLeave
  ${NSD_GetState} $RemoveSettingsBox $RemoveSettings
FunctionEnd

Section "Uninstall"
  ; Only what the installer put here: anything else in the folder (a log file, say) stays,
  ; and so does the folder then.
  Delete "$INSTDIR\qsopad.exe"
  Delete "$INSTDIR\qsopad-fcc.exe"
  Delete "$INSTDIR\manual.htm"
  Delete "$INSTDIR\images\*.*"
  RMDir "$INSTDIR\images"
  Delete "$SMPROGRAMS\QSOPAD.lnk"
  DeleteRegKey HKCU "${UNINST_KEY}"

  ${If} $RemoveSettings == ${BST_CHECKED}
    ; The settings file with its lock and any temporary file of an interrupted write, in the
    ; user's application data and beside the program. Log files (*.adi) are never removed,
    ; and a folder that still holds one stays.
    DetailPrint "Removing the settings"
    Delete "${SETTINGS_DIR}\QSOPAD.ini*"
    RMDir "${SETTINGS_DIR}"
    Delete "$INSTDIR\QSOPAD.ini*"
  ${Else}
    DetailPrint "Keeping the settings in ${SETTINGS_DIR}"
  ${EndIf}

  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
SectionEnd

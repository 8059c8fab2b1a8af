; The Windows installer, for the current user (no administrator needed): the programs in
; %LOCALAPPDATA%\Programs\Vantrel Control, a Start menu entry that starts the program in %LOCALAPPDATA%\Vantrel Control
; (where database.ini is kept), an uninstaller, and vantrel-cli on the user's PATH when chosen.
; makensis -DVERSION=3.0.0 -DSTAGE=<cmake --install folder> -DOUTFILE=<setup.exe> installer.nsi
; Silent: setup.exe /S [/PATH] [/D=folder]; Uninstall.exe /S.
; A 64-bit installer for 64-bit programs (and Wine without its 32-bit half runs it).
Target amd64-unicode
!include "MUI2.nsh"
!include "FileFunc.nsh"
!include "LogicLib.nsh"
!include "Sections.nsh"
!include "WinMessages.nsh"
!include "WordFunc.nsh"

!define PRODUCT "Vantrel Control"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\VantrelControl"
!define ENVIRONMENT_KEY "Environment"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\${PRODUCT}"
InstallDirRegKey HKCU "Software\Vantrel\${PRODUCT}" "InstallDir"
RequestExecutionLevel user
SetCompressor /SOLID lzma
VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "${PRODUCT} ${VERSION} setup"
VIAddVersionKey "CompanyName" "Vantrel"
VIAddVersionKey "LegalCopyright" "Vantrel Control developers"

!define MUI_ICON "${STAGE}\vantrel.ico"
!define MUI_UNICON "${STAGE}\vantrel.ico"
!define MUI_COMPONENTSPAGE_NODESC
!define MUI_FINISHPAGE_RUN "$INSTDIR\vantrel-control.exe"
!define MUI_FINISHPAGE_RUN_TEXT "Start ${PRODUCT}"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Section "${PRODUCT}" SecProgram
    SectionIn RO
    SetOutPath "$INSTDIR"
    File /r "${STAGE}\*.*"
    WriteUninstaller "$INSTDIR\Uninstall.exe"
    WriteRegStr HKCU "Software\Vantrel\${PRODUCT}" "InstallDir" "$INSTDIR"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "Vantrel"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\vantrel-control.exe"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
    WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
    ; The program keeps database.ini in the folder it starts in: one the user can write, not the programs' folder.
    CreateDirectory "$LOCALAPPDATA\${PRODUCT}"
    SetOutPath "$LOCALAPPDATA\${PRODUCT}"
    CreateDirectory "$SMPROGRAMS\${PRODUCT}"
    CreateShortCut "$SMPROGRAMS\${PRODUCT}\${PRODUCT}.lnk" "$INSTDIR\vantrel-control.exe" "" \
        "$INSTDIR\vantrel-control.exe" 0
    CreateShortCut "$SMPROGRAMS\${PRODUCT}\${PRODUCT} (simulated boards).lnk" "$INSTDIR\vantrel-control.exe" "--demo" \
        "$INSTDIR\vantrel-control.exe" 0
    CreateShortCut "$SMPROGRAMS\${PRODUCT}\Uninstall ${PRODUCT}.lnk" "$INSTDIR\Uninstall.exe"
    SetOutPath "$INSTDIR"
SectionEnd

Section /o "vantrel-cli on PATH" SecPath
    ReadRegStr $0 HKCU "${ENVIRONMENT_KEY}" "Path"
    ${WordFind} "$0" ";" "E/$INSTDIR" $1
    ${If} ${Errors}
        ${If} $0 == ""
            WriteRegExpandStr HKCU "${ENVIRONMENT_KEY}" "Path" "$INSTDIR"
        ${Else}
            WriteRegExpandStr HKCU "${ENVIRONMENT_KEY}" "Path" "$0;$INSTDIR"
        ${EndIf}
        SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:Environment" /TIMEOUT=2000
    ${EndIf}
SectionEnd

Function .onInit
    ; /PATH chooses the PATH entry in a silent install.
    ${GetParameters} $R0
    ClearErrors
    ${GetOptions} $R0 "/PATH" $R1
    ${IfNot} ${Errors}
        !insertmacro SelectSection ${SecPath}
    ${EndIf}
FunctionEnd

Section "Uninstall"
    ; Only what the installer put there; the user's database.ini, journal and settings stay.
    RMDir /r "$INSTDIR\platforms"
    RMDir /r "$INSTDIR\styles"
    RMDir /r "$INSTDIR\imageformats"
    RMDir /r "$INSTDIR\iconengines"
    Delete "$INSTDIR\*.dll"
    Delete "$INSTDIR\vantrel-control.exe"
    Delete "$INSTDIR\vantrel-cli.exe"
    Delete "$INSTDIR\vantrel.ico"
    Delete "$INSTDIR\Uninstall.exe"
    RMDir "$INSTDIR"
    Delete "$SMPROGRAMS\${PRODUCT}\*.lnk"
    RMDir "$SMPROGRAMS\${PRODUCT}"
    ReadRegStr $0 HKCU "${ENVIRONMENT_KEY}" "Path"
    ${un.WordReplace} "$0" ";$INSTDIR" "" "+" $1
    ${un.WordReplace} "$1" "$INSTDIR;" "" "+" $1
    ${If} $1 == "$INSTDIR"
        StrCpy $1 ""
    ${EndIf}
    ${If} $1 != $0
        WriteRegExpandStr HKCU "${ENVIRONMENT_KEY}" "Path" "$1"
        SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:Environment" /TIMEOUT=2000
    ${EndIf}
    DeleteRegKey HKCU "${UNINSTALL_KEY}"
    DeleteRegValue HKCU "Software\Vantrel\${PRODUCT}" "InstallDir"
    DeleteRegKey /ifempty HKCU "Software\Vantrel\${PRODUCT}"
SectionEnd

; Included at the start of the installation, in the folder's section.
; Under Program Files the folder inherits an access list that only
; administrators may change. Elsewhere (C:\zelio, say) it would inherit one
; that lets every signed-in user change the programs, and a later elevated
; upgrade would run its Uninstall.exe. There the folder and what it already
; holds get an access list of their own: Administrators and SYSTEM full
; control, Users read and execute, Administrators the owner.
StrLen $R0 "$PROGRAMFILES64\"
StrCpy $R1 "$INSTDIR\" $R0
StrCmp $R1 "$PROGRAMFILES64\" zelio_folder_protected
StrLen $R0 "$PROGRAMFILES\"
StrCpy $R1 "$INSTDIR\" $R0
StrCmp $R1 "$PROGRAMFILES\" zelio_folder_protected
StrCpy $R2 "O:BAD:PAI(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)"
System::Call 'advapi32::ConvertStringSecurityDescriptorToSecurityDescriptorW(w R2, i 1, *p .R3, p 0) i .R4'
IntCmp $R4 0 zelio_folder_unprotected
System::Call 'advapi32::GetSecurityDescriptorOwner(p R3, *p .R5, *i .R6)'
System::Call 'advapi32::GetSecurityDescriptorDacl(p R3, *i .R6, *p .R7, *i .R6)'
; OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION
System::Call 'advapi32::SetNamedSecurityInfoW(w "$INSTDIR", i 1, i 0x80000005, p R5, p 0, p R7, p 0) i .R4'
System::Call 'kernel32::LocalFree(p R3)'
IntCmp $R4 0 zelio_folder_protected
zelio_folder_unprotected:
MessageBox MB_ICONSTOP "$(zelio_folder_unprotected)" /SD IDOK
Abort
zelio_folder_protected:

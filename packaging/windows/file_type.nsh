; .kbd files, the configurations zelio.exe saves, open in it on a
; double-click: the type zelio.kbd, offered for .kbd under "Open with", and
; the default for .kbd unless another program already has it. The uninstaller
; takes out what is zelio's and leaves another program's default alone.
; SHCTX: the machine's classes for an installation for all users.
!macro ZELIO_REGISTER_FILE_TYPE
  WriteRegStr SHCTX "Software\Classes\zelio.kbd" "" "USB I/O Data"
  WriteRegStr SHCTX "Software\Classes\zelio.kbd\DefaultIcon" "" "$INSTDIR\bin\zelio.exe,0"
  WriteRegStr SHCTX "Software\Classes\zelio.kbd\shell\open\command" "" '"$INSTDIR\bin\zelio.exe" "%1"'
  WriteRegStr SHCTX "Software\Classes\.kbd\OpenWithProgids" "zelio.kbd" ""
  ReadRegStr $R0 SHCTX "Software\Classes\.kbd" ""
  StrCmp $R0 "" zelio_take_kbd
  StrCmp $R0 "zelio.kbd" zelio_take_kbd zelio_kbd_taken
zelio_take_kbd:
  WriteRegStr SHCTX "Software\Classes\.kbd" "" "zelio.kbd"
zelio_kbd_taken:
  ; SHCNE_ASSOCCHANGED: Explorer shows the new type at once.
  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
!macroend

!macro ZELIO_UNREGISTER_FILE_TYPE
  DeleteRegKey SHCTX "Software\Classes\zelio.kbd"
  DeleteRegValue SHCTX "Software\Classes\.kbd\OpenWithProgids" "zelio.kbd"
  DeleteRegKey /ifempty SHCTX "Software\Classes\.kbd\OpenWithProgids"
  ReadRegStr $R0 SHCTX "Software\Classes\.kbd" ""
  StrCmp $R0 "zelio.kbd" 0 zelio_kbd_kept
  DeleteRegValue SHCTX "Software\Classes\.kbd" ""
zelio_kbd_kept:
  DeleteRegKey /ifempty SHCTX "Software\Classes\.kbd"
  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
!macroend

; The installer's languages, in place of CPack's list: English first (taken
; where the system's language is neither), then Korean. The choice is asked
; before anything else and kept for the uninstaller. UTF-8 with a byte-order
; mark, so that makensis reads the Korean texts as such.
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "Korean"
!insertmacro MUI_RESERVEFILE_LANGDLL
!define MUI_LANGDLL_WINDOWTITLE "Installer Language"
!define MUI_LANGDLL_INFO "Please select a language.$\n설치할 때 쓸 언어를 선택하세요."

LangString zelio_already_installed ${LANG_ENGLISH} "$(^Name) is already installed.$\n$\nDo you want to uninstall the old version before installing the new one?"
LangString zelio_already_installed ${LANG_KOREAN} "$(^Name)이(가) 이미 설치되어 있습니다.$\n$\n새 버전을 설치하기 전에 이전 버전을 제거하시겠습니까?"
LangString zelio_uninstall_failed ${LANG_ENGLISH} "Uninstall failed."
LangString zelio_uninstall_failed ${LANG_KOREAN} "이전 버전을 제거하지 못했습니다."
LangString zelio_folder_unprotected ${LANG_ENGLISH} "The access list of $INSTDIR could not be set; nothing was installed."
LangString zelio_folder_unprotected ${LANG_KOREAN} "$INSTDIR 폴더의 접근 권한을 설정할 수 없어 아무것도 설치하지 않았습니다."

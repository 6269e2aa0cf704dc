// Resource and control identifiers. Included by the .rc script and the GUI.
#pragma once

#define IDR_MAINMENU 101
#define IDB_BANNER 106
#define IDI_APPICON 116
#define IDD_OUTPUTTEST 121

#define IDM_FILE_EXIT 40002
#define IDM_FILE_NEW 40003
#define IDM_FILE_SAVE 40005
#define IDM_FILE_SAVEAS 40006
#define IDM_FILE_OPEN 40007
#define IDM_DATA_WRITE 40008
#define IDM_DATA_READ 40009
#define IDM_USB_RESET 40010
#define IDM_USB_IDCHANGE_FIRST 40011  /* 261->260 */
#define IDM_USB_IDCHANGE_LAST 40019   /* 269->260 */
#define IDM_USB_SEARCH 40020

#define IDC_PRODUCT_LIST 105
#define IDC_HIGH_FIRST 110
#define IDC_MODE_FIRST 120
#define IDC_TEST_FIRST 130

#define IDC_BLINK 1098
#define IDC_HIGH 1099
#define IDC_LOW 1100
#define IDC_HIGH_TIME 1101
#define IDC_LOW_TIME 1102

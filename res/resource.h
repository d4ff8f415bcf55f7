// Resource identifiers shared by the resource script and the application.
#pragma once

#define IDD_ABOUT 100
#define IDS_ABOUT_MENU 101
#define IDD_MAIN 102
#define IDI_MAIN 128

// System-menu command of the About item. The low four bits of system
// commands belong to the system, so the id keeps them clear.
#define IDM_ABOUT 0x0010

#define IDC_PORT 1000
#define IDC_BAUD 1001
#define IDC_LOAD 1002
#define IDC_DOWNLOAD 1003
#define IDC_MESSAGE 1005
#define IDC_CODE_BUFFER 1006
#define IDC_PROGRESS 1007
#define IDC_CHECKSUM 1008
#define IDC_FILESIZE 1009
#define IDC_FILEPATH 1010

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

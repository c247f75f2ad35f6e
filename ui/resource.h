// Resource ids of Mopwright, grouped by where they are used.
#pragma once

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

// Application
#define IDI_APP_ICON                    128
#define IDS_ABOUTBOX                    101
#define IDM_ABOUTBOX                    0x0010

// Main dialog
#define IDD_MAIN_DIALOG                 102
#define IDR_MAIN_MENU                   129
#define IDR_MAIN_ACCEL                  130
#define IDC_EDIT_LOG                    1001
#define IDC_CHECK_DEL_SUO               1003
#define IDC_STATIC_SUO_NOTE             1007
#define IDC_STATIC_INTRO                1008
#define IDC_PROGRESS                    1009

// Main menu and accelerator commands
#define ID_FILE_EXIT                    32771
#define ID_HELP_ABOUT                   32772
#define ID_HELP_CHECK_FOR_UPDATE        32773
#define ID_EDIT_CLOSE_AFTER_CLEANUP     32774
#define ID_FILE_OPEN_AND_CLEAN          32775
#define ID_EDIT_CLEAR_LOG               32777
#define ID_EDIT_RESTORE_LAST_CLEANUP    32778

// About box
#define IDD_ABOUTBOX                    100
#define IDC_LINK_WEBSITE                1002
#define IDC_STATIC_NAME_VERSION         1005
#define IDC_STATIC_LEGAL                1006
#define IDC_STATIC_DELETER              1010

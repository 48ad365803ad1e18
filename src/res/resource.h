// Resource and control ids shared by the code and zrlogext.rc.
#pragma once

// String table: the two string-file names.
#define IDS_STRING_FILE      2
#define IDS_STRING_FILE_ALT  4

#define IDI_MODULE           1
#define IDM_ADMINISTRATION   1

// Dialog templates.
#define IDD_JOBACCOUNT_PAGE      100
#define IDD_JOBACCOUNT_POPUP     101
#define IDD_CHANGE_MODE          102
#define IDD_REGISTERED_ID        103
#define IDD_ANOTHER_CLIENT       104
#define IDD_CHANGE_MODE_ALL      105
#define IDD_LOGIN_NAME           106
#define IDD_COLOR_PASSWORD       107

// Controls.
#define IDC_GROUP                1002
#define IDC_DRIVER_LABEL         1007
#define IDC_DRIVER_COMBO         1008
#define IDC_MODE_TAB             1009
#define IDC_MODE_POPUP           1010
#define IDC_MODE_HIDE            1011
#define IDC_MODE_NONE            1012
#define IDC_CHANGE               1014
#define IDC_ALL_DRIVERS          1030
#define IDC_USER_LABEL           1003
#define IDC_USER_EDIT            1004
#define IDC_ID_LABEL             1005
#define IDC_ID_EDIT              1006
#define IDC_NAME_LABEL           1031
#define IDC_NAME_EDIT            1032
#define IDC_COLOR_SWITCH         1035
#define IDC_NEXT_POPUP           1036
#define IDC_SAVE_PASSWORD        1037
// Another-client path dialog (template 104).
#define IDC_USE_ANOTHER_CLIENT   1001
#define IDC_ID_LIST              1019
#define IDC_EXPORT               1026
#define IDC_PATH_GROUP           1027
#define IDC_PATH_TEXT            1028
#define IDC_ANOTHER_MODE_NOTE    1029

// Registered-ID dialog (template 103); the list, Export and the mode notice share the ids above.
#define IDC_FIXED_MODE           1001
#define IDC_FIXED_GROUP          1002
#define IDC_FIXED_USER_LABEL     1003
#define IDC_FIXED_USER           1004
#define IDC_FIXED_ID_LABEL       1005
#define IDC_FIXED_ID             1006
#define IDC_IMPORT               1013
#define IDC_ADD                  1018
#define IDC_SELECT               1023
#define IDC_DELETE               1024

// Commands of menu 1 (File > Close is command 1, IDOK).
#define IDM_IMPORT               1013
#define IDM_HELP                 1015
#define IDM_VERSION              1016
#define IDM_ANOTHER_CLIENT       1017
#define IDM_SELECT_FIXED_ID      1020
#define IDM_REGISTERED_ID        1025
#define IDM_SETUP_FIXED_ID       1033
#define IDM_ENABLE_FIXED_ID      1034

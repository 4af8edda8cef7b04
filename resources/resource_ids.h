// Identifiers shared by the resource script and the code.
#pragma once

#define IDI_MAIN 1          // window class icon
#define IDI_DIALOG 2        // icon drawn in the dialog at control 119

#define IDC_WELCOME 102
#define IDC_INTRO 103
#define IDC_DEST_GROUP 104
#define IDC_DEST_DIR 105
#define IDC_BROWSE 106
#define IDC_BROWSE_HINT 107
#define IDC_BACKUP_HINT 108
#define IDC_MAKE_BACKUPS 109
#define IDC_ICONS_HINT 110
#define IDC_ADD_ICONS 111
#define IDC_CONTINUE_HINT 112
#define IDC_STATUS 113
#define IDC_OVERALL_LABEL 114
#define IDC_OVERALL_BAR 115
#define IDC_FILE_BAR 116
#define IDC_LICENSE 117
#define IDC_NOTICE 118
#define IDC_ICON_PLACE 119

#define IDD_CHOOSER 1537
#define IDC_CHOOSER_DIR 102  // edit field of the chooser

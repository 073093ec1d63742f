#pragma once
// Resource ids shared by the resource script and the code. The message
// box's are the window kit's own.
#include "ui/MessageTemplate.h"

#define IDI_SCOURIX 128
#define IDD_SCAN 141
#define IDB_SKIN 156

// Scan window controls.
#define IDC_OK_BUTTON 1070
#define IDC_SCAN 1052
#define IDC_DOWNLOAD 1053
#define IDC_CLOSE_X 1054
#define IDC_STATUS_FRAME 1064
#define IDC_STATUS 1065
#define IDC_SEARCH_LINE 1076
#define IDC_TITLE 1068
#define IDC_PRODUCT_LINE 1075
#define IDC_NOTICE 1072
#define IDC_DESCRIPTION 1074
#define IDC_DOWNLOAD_LINK 1077
#define IDC_UTILITY_LINK 1080
#define IDC_LOGO 1085
#define IDC_LOG_FRAME 1034
#define IDC_LOG 1055

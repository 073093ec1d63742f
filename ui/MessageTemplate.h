#pragma once
// What the message box needs of the program's resources: its dialog template,
// the controls on it and the icon bitmaps. The kit names them; the program's
// resource script takes them from here (res/resource.h).

#define IDD_MESSAGE 142
#define IDB_ICON_INFORMATION 152
#define IDB_ICON_QUESTION 153
#define IDB_ICON_WARNING 154
#define IDB_ICON_ERROR 155

#define IDC_MESSAGE_ICON 1085
#define IDC_MESSAGE_TEXT 1086
#define IDC_SINGLE_OK 3

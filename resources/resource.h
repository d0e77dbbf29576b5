// Identifiers of the program's own resources (the language libraries carry the rest).
#pragma once

#define IDI_CORVID 103
#define IDI_PASSWORD 109

#define IDD_TIMED_BOX 102
#define IDC_BOX_TEXT 1000
#define IDC_BOX_ICON 1001

#define IDD_PASSWORD 108
#define IDC_PWD_LABEL 1006
#define IDC_PWD_EDIT 1007

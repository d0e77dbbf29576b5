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

#define IDB_TOOLBAR 104     /* main toolbar strip: 15 images of 18 x 18 */

#define IDA_CONNECT 105     /* AVI played while connecting */
#define IDD_CONNECT 106
#define IDC_CONNECT_LABEL 1003
#define IDC_CONNECT_ANIM 1004

#define IDB_VIEW_PATTERN 138 /* 32 x 32, 8 bits: background of the view frame */
#define IDC_HAND_DRAG 115    /* cursor of the hand tool while dragging */
#define IDR_COLOURS_2 256    /* default colour tables, RGBQUAD entries */
#define IDR_COLOURS_16 111
#define IDR_COLOURS_256 258

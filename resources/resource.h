// Identifiers of the program's own resources (the language libraries carry the rest).
#pragma once

#define IDI_CORVID   103
#define IDI_PASSWORD 109

#define IDD_TIMED_BOX 102
#define IDC_BOX_TEXT  1000
#define IDC_BOX_ICON  1001

#define IDD_PASSWORD  108
#define IDC_PWD_LABEL 1006
#define IDC_PWD_EDIT  1007

#define IDB_TOOLBAR         104 /* main toolbar strip: 15 images of 18 x 18 */
#define IDB_CONSOLE_TOOLBAR 127 /* console pad's toolbar: 8 images of 18 x 18 */
#define IDB_FT_TOOLBAR      145 /* file-transfer window's toolbar: 8 images of 18 x 18 */
#define IDB_FT_PAD          139 /* its pad's toolbar: 3 images of 18 x 18 */

/* File-transfer window: drive icons (16 x 16, 8 bits with a mask) in the order of
   its drive-icon image list, the picture under a drag of several items, and the
   cursors of a drag over a place that takes the drop or not. */
#define IDI_FT_DRIVE_REMOVABLE 140
#define IDI_FT_DRIVE_FIXED     141
#define IDI_FT_DRIVE_CDROM     142
#define IDI_FT_DRIVE_RAM       143
#define IDI_FT_DRIVE_REMOTE    148
#define IDI_FT_DRAG_MANY       167
#define IDC_FT_NO_DROP         168
#define IDC_FT_DROP            169

/* Keyboard lights, 24 x 22, dark and lit */
#define IDI_LIGHT1_OFF    116
#define IDI_LIGHT1_ON     117
#define IDI_LIGHT0_OFF    118
#define IDI_LIGHT0_ON     119
#define IDI_LIGHT2_OFF    120
#define IDI_LIGHT2_ON     121
#define IDI_CURSOR_MARKER 137 /* 11 x 19: where the remote pointer is */

#define IDA_CONNECT       105 /* AVI played while connecting */
#define IDA_DELETE        157 /* AVI played while deleting */
#define IDA_COPY          164 /* AVI played while copying */
#define IDD_CONNECT       106
#define IDC_CONNECT_LABEL 1003
#define IDC_CONNECT_ANIM  1004

#define IDB_VIEW_PATTERN 138 /* 32 x 32, 8 bits: background of the view frame */
#define IDB_LOGO         124 /* 324 x 209, 24 bits: the logo window */
#define IDC_HAND_DRAG    115 /* cursor of the hand tool while dragging */
#define IDR_COLOURS_2    256 /* default colour tables, RGBQUAD entries */
#define IDR_COLOURS_16   111
#define IDR_COLOURS_256  258

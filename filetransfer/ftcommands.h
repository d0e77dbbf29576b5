/* Commands of the file-transfer window (menu 146, its keys and lists) (the dialogs
   and texts are in lang/stringids.h). Plain preprocessor: included by the .rc files. */
#ifndef CORVID_FILETRANSFER_FTCOMMANDS_H
#define CORVID_FILETRANSFER_FTCOMMANDS_H

#define IDR_FT_MENU       146
#define IDR_FT_VIEW_MENU  158 /* the view button's drop-down */
#define IDR_FT_ITEM_MENU  150 /* a panel's context menu on an item */
#define IDR_FT_SPACE_MENU 151 /* a panel's context menu on empty space */

#define IDM_FT_DESKTOP          40007
#define IDM_FT_COPY_RIGHT       40030
#define IDM_FT_COPY_LEFT        40032
#define IDM_FT_UP               40034
#define IDM_FT_NEW_FOLDER       40035
#define IDM_FT_PROPERTIES       40036
#define IDM_FT_DELETE           40037
#define IDM_FT_REFRESH          40038
#define IDM_FT_COPY             40039
#define IDM_FT_SELECT_ALL       40041
#define IDM_FT_INVERT           40042
#define IDM_FT_RENAME           40044
#define IDM_FT_ROOT             40045
#define IDM_FT_SORT_FIRST       40047 /* 40047..40051: by column 0..4 */
#define IDM_FT_SORT_LAST        40051
#define IDM_FT_NEXT_VIEW        40052
#define IDM_FT_VIEW_DETAILS     40053
#define IDM_FT_VIEW_SMALL_ICONS 40054
#define IDM_FT_VIEW_LIST        40055
#define IDM_FT_REFRESH_LOCAL    40056
#define IDM_FT_REFRESH_REMOTE   40057
#define IDM_FT_COMPARE          40058
#define IDM_FT_PASTE            40070 /* files copied in Explorer into the remote panel */
#define IDM_FT_COPY_CLIPBOARD   40071 /* the remote selection on the clipboard */

#endif

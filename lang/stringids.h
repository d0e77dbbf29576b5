/* String identifiers of the language libraries (cvresen.dll, cvresru.dll).
   Plain preprocessor only: included by the .rc files and by C++ code.
   Winsock error texts are not listed here: each lives under the id equal
   to its WSA error number (10004 ... 11004). */
#ifndef CORVID_LANG_STRINGIDS_H
#define CORVID_LANG_STRINGIDS_H

/* Shell */
#define IDS_SETTINGS_KEY_FAILED   1 /* the registry key path is appended: ends with ": " */
#define IDS_SETTINGS_VALUE_FAILED 2 /* printf format, %s = registry value name */
#define IDS_WINSOCK_UNAVAILABLE   3
#define IDS_PROTOCOL_ENUM_FAILED  4
#define IDS_OUT_OF_MEMORY         5
#define IDS_NT_TOO_OLD            6
#define IDS_PLATFORM_UNSUPPORTED  7
#define IDS_9X_TOO_OLD            8
#define IDS_NO_TARGET             9
#define IDS_CANCEL                27 /* button text */
#define IDS_PASSWORD_CAPTION      33 /* HostText is appended: ends with a blank */
#define IDS_PASSWORD_LABEL        34

/* Network. Ids 20..31 are used as the middle part of a network error
   text: "<protocol>: " + text [+ " <code> - " + Winsock error text],
   so they carry no printf conversions. */
#define IDS_NO_STREAM_PROVIDER   20
#define IDS_SOCKET_CREATE_FAILED 21
#define IDS_NET_ERROR_UNKNOWN    22 /* stands in for a missing Winsock error text */
#define IDS_RCVBUF_FAILED        23
#define IDS_BIND_FAILED          24
#define IDS_NODELAY_FAILED       25
#define IDS_CONNECTING_TO        26 /* HostText is appended: ends with a blank */
#define IDS_CONNECT_FAILED       28
#define IDS_CONNECTION_LOST      29
#define IDS_SEND_FAILED          30
#define IDS_RECEIVE_FAILED       31
#define IDS_UNKNOWN_REQUEST      32 /* appended directly after 31: starts with a blank */

/* Main toolbar tooltips, by command (the console pad shares them) */
#define IDS_TIP_EXIT              10  /* 40001 */
#define IDS_TIP_REMOTE_CONTROL    11  /* 40002 */
#define IDS_TIP_SEND_MESSAGE      12  /* 40004 */
#define IDS_TIP_HAND_TOOL         13  /* 40005 */
#define IDS_TIP_SWITCH            14  /* 40003 */
#define IDS_TIP_FULL_SCREEN       15  /* 40006 */
#define IDS_TIP_AGENT_SETTINGS    16  /* 40012 */
#define IDS_TIP_LEFT_CTRL         17  /* 40017 */
#define IDS_TIP_LEFT_ALT          18  /* 40018 */
#define IDS_TIP_WIN_KEY           19  /* 40019 */
#define IDS_TIP_RIGHT_CTRL        35  /* 40022 */
#define IDS_TIP_RIGHT_ALT         36  /* 40021 */
#define IDS_TIP_AGENT_KEYS        38  /* 40020 */
#define IDS_TIP_CLIPBOARD         39  /* 40024 */
#define IDS_TIP_LEVEL             59  /* level slider beside the toolbar */
#define IDS_TIP_FILE_TRANSFER     87  /* 40013 */
#define IDS_TIP_AUTO_SCALE        149 /* 40059 */
#define IDS_TIP_SCREEN_CHOICE     150 /* 40060 */
#define IDS_TIP_LEAVE_FULL_SCREEN 37  /* 40023, full-screen pad */
#define IDS_TIP_PAD_FOLLOWS       60  /* 40026, console pad */
#define IDS_TIP_ALT_ENTER         61  /* 40025, console pad */

/* File-transfer toolbars' tooltips, by command */
#define IDS_TIP_FT_COPY_RIGHT 88  /* 40030 */
#define IDS_TIP_FT_BACK       89  /* 40007 */
#define IDS_TIP_FT_COPY_LEFT  90  /* 40032 */
#define IDS_TIP_FT_COMPARE    91  /* 40058 */
#define IDS_TIP_FT_UP         99  /* 40034 */
#define IDS_TIP_FT_NEW_FOLDER 100 /* 40035 */
#define IDS_TIP_FT_PROPERTIES 101 /* 40036 */
#define IDS_TIP_FT_DELETE     102 /* 40037 */
#define IDS_TIP_FT_REFRESH    103 /* 40038 */
#define IDS_TIP_FT_ROOT       109 /* 40045 */
#define IDS_TIP_FT_VIEW       137 /* 40052 */

/* Session: access level granted at login (system information shows it) */
#define IDS_ACCESS_VIEW          40 /* no rights bit */
#define IDS_ACCESS_CONTROL       41 /* bit 0x02 */
#define IDS_ACCESS_ADMIN         49 /* bit 0x08 */
#define IDS_ACCESS_CONTROL_FILES 50 /* bit 0x04 */

/* System information: an unknown remote system, colour depths */
#define IDS_OS_UNKNOWN  42
#define IDS_DEPTH_1     43
#define IDS_DEPTH_4     44
#define IDS_DEPTH_8     45
#define IDS_DEPTH_16    46
#define IDS_DEPTH_24    47
#define IDS_DEPTH_OTHER 48

/* Session: the Agent refused the login (reply status 1 and 2) */
#define IDS_LOGIN_BAD_PASSWORD 146
#define IDS_LOGIN_NODE_REFUSED 147

/* Session: malformed traffic from the Agent and start-up of the envelope */
#define IDS_PACKET_TOO_LONG    900 /* %u type, %u announced payload bytes, %u the limit */
#define IDS_PACKET_TOO_SHORT   901 /* %u type, %u payload bytes, %u bytes expected */
#define IDS_KEY_UNAVAILABLE    902
#define IDS_WEAK_RANDOM        903
#define IDS_SCREEN_UNSUPPORTED 904 /* %u width, %u height, %u depth */
#define IDS_SCREEN_NO_MEMORY   905 /* %u width, %u height, %u depth */
#define IDS_SEND_STALLED       906 /* %s the Agent's address */
#define IDS_WINDOW_FAILED      907 /* %s the system error text */
#define IDS_MESSAGE_NOT_SEALED 908

/* Remote console: the local console could not be shown */
#define IDS_CONSOLE_NOT_CREATED 913  /* %s the system error text */
#define IDS_CONSOLE_NOT_FOUND   914  /* %s the console title */
#define IDS_CONSOLE_NO_KEYS     1120 /* %s the system error text */

/* Send message: context help of the dialog's controls */
#define IDS_HELP_OK             51
#define IDS_HELP_CANCEL         52
#define IDS_HELP_HELP           53
#define IDS_HELP_MSG_TEXT       54
#define IDS_HELP_MSG_ICON       55
#define IDS_HELP_MSG_NO_TIMEOUT 56
#define IDS_HELP_MSG_TIMEOUT    57
#define IDS_HELP_MSG_SECONDS    58

/* System information: live session statistics */
#define IDS_STATS_BYTE_RATE   909 /* %s a grouped number */
#define IDS_STATS_PART_RATE   910 /* %s a grouped number */
#define IDS_STATS_DECODE_TIME 911 /* %s a number of microseconds */
#define IDS_STATS_MEASURING   912 /* shown until two samples are in */

/* Dialog templates of the libraries and their controls (not strings) */
#define IDD_SYSTEM_INFO        125
#define IDC_INFO_ACCESS        1008
#define IDC_INFO_AGENT_VERSION 1009
#define IDC_INFO_OS            1010
#define IDC_INFO_COMPUTER      1011
#define IDC_INFO_SCREEN_SIZE   1012
#define IDC_INFO_DEPTH         1013
#define IDC_INFO_COLOURS       1014
#define IDC_INFO_SENT          1015
#define IDC_INFO_RECEIVED      1016
#define IDC_INFO_SEND_RATE     1030
#define IDC_INFO_RECEIVE_RATE  1031
#define IDC_INFO_PART_RATE     1032
#define IDC_INFO_DECODE_TIME   1033

#define IDD_SEND_MESSAGE    126
#define IDC_MSG_TEXT        1010
#define IDC_MSG_ICON        1011
#define IDC_MSG_INFORMATION 1017 /* the four icon radios in order */
#define IDC_MSG_WARNING     1018
#define IDC_MSG_QUESTION    1019
#define IDC_MSG_ERROR       1020
#define IDC_MSG_NO_TIMEOUT  1021
#define IDC_MSG_TIMEOUT     1022
#define IDC_MSG_SECONDS     1023
#define IDC_MSG_HELP        9 /* IDHELP */

/* Agent settings: the sheet (caption 62), its pages 128, 130, 131, the node dialogs
   132..135 and the community password dialog 136. The Help buttons are IDHELP. */
#define IDS_AS_CAPTION              62
#define IDS_HELP_AS_TRISTATE        63
#define IDS_HELP_AS_SWITCH_B        64
#define IDS_HELP_AS_SWITCH_C        65
#define IDS_HELP_AS_SWITCH_F        66
#define IDS_HELP_AS_SWITCH_D        67
#define IDS_HELP_AS_SWITCH_E        68
#define IDS_HELP_AS_SWITCH_A        69
#define IDS_HELP_AS_MODE            70
#define IDS_HELP_AS_LEVEL           71
#define IDS_AS_NO_PASSWORD          72 /* %s the community's name */
#define IDS_HELP_AS_IN_USE          73
#define IDS_HELP_AS_COMMUNITIES     74
#define IDS_HELP_AS_PASSWORD_BUTTON 75
#define IDS_HELP_AS_TCP_NODES       76
#define IDS_HELP_AS_ADD_NODE        77
#define IDS_HELP_AS_EDIT_TCP_NODE   78
#define IDS_HELP_AS_DELETE_NODE     79
#define IDS_AS_PASSWORDS_DIFFER     80
#define IDS_AS_PASSWORD_CHARS       81
#define IDS_AS_TOO_MANY_NODES       1130 /* %u the nodes past which an answer is given up */
#define IDS_AS_NO_ANSWER            1131 /* %u the seconds waited */
#define IDS_AS_INCOMPLETE           1132 /* a refused packet: shown, not sent back */
#define IDS_AS_NO_SHEET             1133
#define IDS_HELP_AS_PASSWORD        82
#define IDS_HELP_AS_TCP_NODE        83
#define IDS_HELP_AS_IPX_NODES       84
#define IDS_HELP_AS_EDIT_IPX_NODE   85
#define IDS_HELP_AS_IPX_NODE        86

#define IDD_AS_COMMON        128
#define IDD_AS_TCP           130
#define IDD_AS_IPX           131
#define IDD_AS_NEW_TCP_NODE  132
#define IDD_AS_EDIT_TCP_NODE 133
#define IDD_AS_NEW_IPX_NODE  134
#define IDD_AS_EDIT_IPX_NODE 135
#define IDD_AS_PASSWORD      136

#define IDC_AS_TRISTATE        1024
#define IDC_AS_LEVEL           1025
#define IDC_AS_SWITCH_B        1026
#define IDC_AS_SWITCH_C        1027
#define IDC_AS_SWITCH_F        1028
#define IDC_AS_SWITCH_D        1029
#define IDC_AS_SWITCH_E        1030
#define IDC_AS_SWITCH_A        1031
#define IDC_AS_MODE_0          1032
#define IDC_AS_MODE_1          1033
#define IDC_AS_TEXT            1067
#define IDC_AS_NUMBER          1068
#define IDC_AS_FLAG            1069
#define IDC_AS_OPTION          1070
#define IDC_AS_IN_USE          1034
#define IDC_AS_COMMUNITIES     1035
#define IDC_AS_PASSWORD_BUTTON 1036
#define IDC_AS_NODES           1037
#define IDC_AS_ADD_NODE        1038
#define IDC_AS_EDIT_NODE       1039
#define IDC_AS_DELETE_NODE     1040
#define IDC_AS_LIST            1041
#define IDC_AS_ADD_ENTRY       1042
#define IDC_AS_EDIT_ENTRY      1043
#define IDC_AS_DELETE_ENTRY    1044
#define IDC_AS_NODE_TEXT       1041 /* in the node dialogs */
#define IDC_AS_PASSWORD        1007 /* in the password dialog */
#define IDC_AS_CONFIRM         1043

/* File-transfer window: panels and the request dialogs */
#define IDD_FT_LISTING        159 /* request dialog while a listing is read */
#define IDD_FT_REQUEST        160 /* request dialog of a single remote change */
#define IDC_FT_REQUEST_ANIM   1004
#define IDC_FT_REQUEST_TEXT   1005
#define IDS_FT_LOCAL_CAPTION  92
#define IDS_FT_REMOTE_CAPTION 93
#define IDS_FT_COL_NAME       94
#define IDS_FT_COL_SIZE       95
#define IDS_FT_COL_TYPE       96
#define IDS_FT_COL_MODIFIED   97
#define IDS_FT_COL_ATTRIBUTES 98
#define IDS_FT_SELECTED_ITEMS 104 /* after the count of selected items */
#define IDS_FT_SELECTED_BYTES 105 /* after a plain byte count */
#define IDS_FT_SELECTED_SIZE  106 /* after a formatted size */
#define IDS_FT_FREE_BYTES     107 /* after a plain byte count */
#define IDS_FT_FREE_SIZE      108 /* after a formatted size */

/* File-transfer dialogs that change files */
#define IDD_FT_PROPERTIES            149
#define IDD_FT_NEW_FOLDER            152
#define IDD_FT_PROTECTED             153
#define IDD_FT_DELETE                154
#define IDD_FT_DELETE_PROGRESS       156
#define IDC_FT_NAME                  1044
#define IDC_FT_SIZE                  1045
#define IDC_FT_CREATED               1046
#define IDC_FT_MODIFIED              1047
#define IDC_FT_ACCESSED              1048
#define IDC_FT_READ_ONLY             1049
#define IDC_FT_HIDDEN                1050
#define IDC_FT_SYSTEM                1051
#define IDC_FT_TYPE                  1052
#define IDC_FT_ATTRIBUTE_NAMES       1054
#define IDC_FT_YES_TO_ALL            1056
#define IDC_FT_SENTENCE              1059
#define IDC_FT_FOLDER                1060
#define IDC_FT_PROGRESS_SOURCE       1062
#define IDD_FT_COPY                  161 /* copy confirmation */
#define IDD_FT_COPY_PROGRESS         163
#define IDD_FT_EXISTS                166 /* a copy meets an existing file */
#define IDC_FT_TARGET                1061
#define IDC_FT_PROGRESS_TARGET       1063
#define IDC_FT_EXISTS_NOTE           1065 /* the label before the attribute names */
#define IDC_FT_CLEAR_READ_ONLY       1066
#define IDC_FT_PROGRESS_BAR          1072
#define IDC_FT_PROGRESS_LINE         1073
#define IDS_FT_COPY_LINE             915 /* %1 done of %2, %3 a second, %4 left */
#define IDS_FT_COPY_LINE_OPEN        916 /* %1 done in %2 files, %3 a second */
#define IDS_FT_BAD_DOWNLOAD_PATH     917 /* %1 the path the Agent named */
#define IDS_FT_DAMAGED_DOWNLOAD      918 /* %1 the file's path */
#define IDS_FT_STILL_ENDING_TITLE    930 /* a copy or delete refused */
#define IDS_FT_STILL_ENDING          931 /* the one before has not ended */
#define IDS_FT_FOREIGN_DOWNLOAD_PATH 920 /* %1 the path the Agent named */
#define IDS_FT_NO_ANSWER             940 /* %1 the seconds the Agent was silent */
#define IDS_FT_LISTING_LIMIT         941 /* %1 the remote folder; names the 200,000-entry limit */
#define IDS_FT_LISTING_DAMAGED       942
#define IDS_FT_CANNOT_COPY           943
#define IDS_FT_COPY_NO_REMOTE        944  /* a copy before the remote panel shows a folder */
#define IDS_FT_COPY_NO_LOCAL         945  /* the same for the local panel */
#define IDS_FT_PASTE_NO_FILES        1140 /* Paste with no files on the clipboard */
#define IDS_FT_DROP_BAD_PATH         1141 /* a dropped path that names no file in a folder (%1) */
#define IDS_FT_DROP_NAME_CHARS       1142 /* a dropped name beyond the code page (%1) */
#define IDS_FT_DROP_FOLDERS          1143 /* the copy dialog's source: the first folder, how many more */
#define IDS_FT_CLIPBOARD_BUSY        1144 /* the clipboard cannot be opened */
#define IDS_FT_DROP_DAMAGED          1145 /* the file list offered cannot be read */
#define IDS_FT_PASTE_OWN_ITEMS       1146 /* Paste of remote items this viewer put on the clipboard */
#define IDS_FT_CANNOT_SET_ATTRIBUTES 110
#define IDS_HELP_FT_NAME             111
#define IDS_HELP_FT_TYPE             112
#define IDS_HELP_FT_SIZE             113
#define IDS_HELP_FT_CREATED          114
#define IDS_HELP_FT_MODIFIED         115
#define IDS_HELP_FT_ACCESSED         116
#define IDS_HELP_FT_ATTRIBUTES       117
#define IDS_HELP_FT_NEW_NAME         118
#define IDS_FT_CANNOT_CREATE_FOLDER  119
#define IDS_FT_READ_ONLY             121
#define IDS_FT_HIDDEN                122
#define IDS_FT_SYSTEM                123
#define IDS_FT_DELETE_LOCAL          125 /* after the delete titles */
#define IDS_FT_CANNOT_DELETE         127
#define IDS_FT_ONE_FILE              128
#define IDS_FT_ONE_FOLDER            129
#define IDS_FT_FOLDERS               130
#define IDS_FT_FILES                 131
#define IDS_FT_ITEMS                 132
#define IDS_FT_FOLDER_TREE           133
#define IDS_FT_CANNOT_READ_FOLDER    134
#define IDS_FT_FOLDER_SIZE           135
#define IDS_FT_CANNOT_RENAME         136
#define IDS_FT_DELETE_REMOTE         138
#define IDS_FT_LOCAL_SUFFIX          143
#define IDS_FT_REMOTE_SUFFIX         144
#define IDS_FT_CANNOT_READ_ENTRY     120
#define IDS_FT_CANNOT_OPEN_FILE      124
#define IDS_FT_CANNOT_READ_FILE      126
#define IDS_FT_CANNOT_CREATE_FILE    139
#define IDS_FT_CANNOT_WRITE_FILE     140
#define IDS_FT_UPLOAD                141 /* after the copy titles */
#define IDS_FT_DOWNLOAD              142
#define IDS_FT_BAD_NAME              145 /* a typed name that is not one file name */

/* Remote files given to other programs (a drag out, Ctrl+C) */
#define IDS_FT_OUT_NO_WINDOW    1160 /* asked for while the file-transfer window is closed */
#define IDS_FT_OUT_NO_RIGHT     1161
#define IDS_FT_OUT_BUSY         1162 /* asked for while another operation runs */
#define IDS_FT_OUT_NO_CLIPBOARD 1163

#endif

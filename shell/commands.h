/* Command identifiers shared by menu 101 of the language libraries, the main
   toolbar, the console pad and the main window's WM_COMMAND switch.
   Plain preprocessor only: included by the .rc files and by C++ code. */
#ifndef CORVID_SHELL_COMMANDS_H
#define CORVID_SHELL_COMMANDS_H

/* Main menu in each language library. Its third top-level menu's first
   submenu holds the remote screen items, which the program refills. */
#define IDR_MAIN_MENU 101

#define IDM_EXIT                40001
#define IDM_REMOTE_CONTROL      40002 /* toggle */
#define IDM_SWITCH              40003 /* toggle, sent as PKT_SET_SWITCH */
#define IDM_SEND_MESSAGE        40004
#define IDM_HAND_TOOL           40005 /* toggle */
#define IDM_FULL_SCREEN         40006
#define IDM_SAVE_SETTINGS_NOW   40008
#define IDM_SAVE_ON_EXIT        40009 /* toggle */
#define IDM_SYSTEM_INFO         40010
#define IDM_AGENT_SETTINGS      40012
#define IDM_FILE_TRANSFER       40013
#define IDM_HELP                40014
#define IDM_WEB_PAGE            40015
#define IDM_LOGO                40016
#define IDM_LEFT_CTRL           40017 /* latch */
#define IDM_LEFT_ALT            40018 /* latch */
#define IDM_WIN_KEY             40019
#define IDM_AGENT_KEYS          40020
#define IDM_RIGHT_ALT           40021 /* latch */
#define IDM_RIGHT_CTRL          40022 /* latch */
#define IDM_LEAVE_FULL_SCREEN   40023 /* full-screen pad only */
#define IDM_CLIPBOARD_EXCHANGE  40024 /* toggle */
#define IDM_ALT_ENTER           40025
#define IDM_PAD_FOLLOWS_CONSOLE 40026 /* toggle, console pad only */
#define IDM_SHOW_REMOTE_CURSOR  40027 /* toggle */
#define IDM_LANG_ENGLISH        40028 /* radio pair with 40029 */
#define IDM_LANG_RUSSIAN        40029
#define IDM_AUTO_SCALE          40059 /* toggle */
#define IDM_SCREEN_CHOICE       40060 /* toolbar drop-down */
#define IDM_BRING_FORWARD       1225  /* sent by the console window, never in a menu */

/* Remote screen n (1..255) is command IDM_SCREEN_FIRST + n - 1. */
#define IDM_SCREEN_FIRST 41000
#define IDM_SCREEN_LAST  41254

#endif

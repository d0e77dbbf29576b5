// Private window messages of the viewer (WM_USER + n), to the main window unless noted.
#pragma once
#include <windows.h>

enum {
    WM_CV_PAD_ANCHOR = WM_USER + 0,  // to the console's button pad: record its offset
    WM_CV_CONNECT = WM_USER + 1,     // start the login
    WM_CV_SOCKET = WM_USER + 3,      // socket event; lParam: error << 16 | FD_ event
    WM_CV_LOGIN_REPLY = WM_USER + 4, // wParam: status
    WM_CV_SCREEN_INFO = WM_USER + 5, // wParam: its number; only the latest is built
    WM_CV_PALETTE = WM_USER + 6,
    WM_CV_DESKTOP_RESTART = WM_USER + 7,
    WM_CV_CURSOR_SHAPE = WM_USER + 8,      // wParam 0: lParam standard index; 1: lParam 261-byte heap block
    WM_CV_CONSOLE_CHANGED = WM_USER + 10,  // the console notice: starts, stops, lines, cursor are pending
    WM_CV_SETTINGS_READY = WM_USER + 13,   // the Agent's settings are in: open the sheet
    WM_CV_CURSOR_POS = WM_USER + 14,       // wParam x, lParam y
    WM_CV_LANGUAGE_CHANGED = WM_USER + 15, // to the file-transfer window
    WM_CV_FT_SELECTION = WM_USER + 16,     // to a file-transfer panel: recount its selection
    WM_CV_FT_PROGRESS = WM_USER + 100,     // to a file-transfer progress dialog: show ProgressSource
    WM_CV_FT_DONE = WM_USER + 101,         // to a progress dialog: end with wParam (1 done, 2 stopped)
    WM_CV_FT_CONTINUE = WM_USER + 110,     // to a progress dialog: set the worker's reply event
    WM_CV_FT_REQUEST_DONE = WM_USER + 102, // to the request dialog: wParam 1 done, 2 failed
    WM_CV_FT_REPLY_FIRST = WM_USER + 103,  // to the file-transfer window, lParam the packet's heap copy:
    WM_CV_FT_REPLY_LAST = WM_USER + 111,   //   1127..1133 and 1135 by type
    WM_CV_FT_CANCEL_DRAG = WM_USER + 112,  // to the file-transfer window: end a drag without dropping
    WM_CV_FT_REPLIES = WM_USER + 113,      // to the file-transfer window: replies wait (FtTakeReply)
    WM_CV_SET_STAMP = WM_USER + 70,        // from outside the program; lParam: stamp
    WM_CV_KEY_INPUT = WM_USER + 100,       // from a keyboard hook: wParam virtual key, lParam keystroke flags
    WM_CV_CONNECT_DONE = WM_USER + 200,    // to the connect dialog
    WM_CV_TILES_CHANGED = WM_USER + 400,   // tiles await repainting (see ScreenModel::changed)
    WM_CV_SEND_STALLED = WM_USER + 401,    // the send queue is full: the Agent stopped reading
    WM_CV_CLIPBOARD_TEXT = WM_USER + 402,  // a whole text from the Agent waits to go on the clipboard
    WM_CV_SETTINGS_SENT = WM_USER + 403,   // the Agent's settings have gone back (or could not)
    WM_CV_CONSOLE_KEY = WM_USER + 404,     // from the console input thread: wParam virtual key, lParam flags
};

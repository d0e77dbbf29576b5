// Help through HTML Help, bound at run time on the first request, and the status-bar
// help of menu items. UI thread only.
#pragma once
#include <windows.h>

#include <cstddef>

// Topics that the viewer opens (page, optionally "#anchor"). Every topic passed to
// ShowHelp must be listed in help/topics.txt; tests/native/help_check.py holds the
// compiled help file to that list.
#define HELP_FILE_NAME                "Tlyhlpru.chm"
#define HELP_TOPIC_MAIN               "Corvids.htm#RemoteDesktopWnd"
#define HELP_TOPIC_SETTINGS_COMMON    "CvaSettings.htm#Common"
#define HELP_TOPIC_SETTINGS_PROTOCOL  "CvaSettings.htm#TCPIP"
#define HELP_TOPIC_COMMUNITY_PASSWORD "DlgCommunityPassword.htm"
#define HELP_TOPIC_NEW_NODE           "DlgNewCommunityNode.htm"
#define HELP_TOPIC_EDIT_NODE          "DlgEditCommunityNode.htm"
#define HELP_TOPIC_SEND_MESSAGE       "DlgSendMessage.htm"
#define HELP_TOPIC_FILE_TRANSFER      "FileTransfer.htm"
#define HELP_TOPIC_FILE_PROPERTIES    "DlgFileProperties.htm"
#define HELP_TOPIC_NEW_FOLDER         "DlgNewFolder.htm"
#define HELP_TOPIC_DELETE             "DlgDeleteFile.htm"
#define HELP_TOPIC_COPY               "DlgCopy.htm"

// The help file beside the program, with "::/" and the topic when one is given.
// Returns 0 when the path does not fit cap bytes.
int HelpFilePath(char *out, size_t cap, const char *topic);

// Opens the help file (at topic, or its default page when topic is NULL) with the
// HTML Help command and data given (HH_DISPLAY_TOPIC and 0 everywhere in the
// viewer). Returns the HTML Help result, 0 when HTML Help is unavailable; then
// every later call returns 0 too, without a message.
int ShowHelp(HWND wnd, const char *topic, UINT command, DWORD_PTR data);

// WM_HELP on a dialog control: string stringId of lib as a text pop-up at the mouse.
void ShowContextHelpPopup(HWND dlg, const HELPINFO *hi, HINSTANCE lib, UINT stringId);

// WM_HELP on a dialog control: its help string from a table of {control, string}
// ending with {0, 0}, from the active language library; controls not listed get none.
struct ControlHelp {
    int control;
    UINT stringId;
};
void ShowControlHelp(HWND dlg, const HELPINFO *hi, const ControlHelp *table);

// WM_MENUSELECT of the file-transfer window: the string whose id is the selected
// command (from lib) in statusBar; pop-ups, the system menu and closing clear it.
void ShowMenuHelp(WPARAM wp, LPARAM lp, HMENU menu, HINSTANCE lib, HWND statusBar);

// The HTML Help binding. HtmlHelpBind tries the library registered under
// HKEY_CLASSES_ROOT\clsidKey (default value), then libraryName, and takes the ANSI
// entry by ordinal 14; a failure is final until HtmlHelpRelease. ShowHelp binds
// with the registered HTML Help control and "hhctrl.ocx". HtmlHelpRelease closes
// the help windows and frees the library (at exit, and between tests).
int HtmlHelpBind(const char *clsidKey, const char *libraryName);
void HtmlHelpRelease(void);

// Command 40015 of the main and the file-transfer windows: the product's web page
// through the shell's "open" verb.
void OpenWebPage(HWND owner);

extern const char kHtmlHelpClsidKey[];

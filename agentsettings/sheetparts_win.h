// Pieces shared by the settings sheet's pages and dialogs. UI thread only.
#pragma once
#include <windows.h>

#include "ui/help_win.h"

#include <cstddef>
#include <cstdint>

// Texts of the Agent's settings are single-byte: nodes and the text in the system's
// code page, passwords in Windows-1251 (their character rule is written for it).
enum { kAsTextPage = CP_ACP, kAsPasswordPage = 1251 };

// Reads at most maxChars characters of a control as single-byte text (always
// terminated within cap).
void GetItemBytes(HWND dlg, int id, UINT codePage, int maxChars, char *out, size_t cap);
void SetItemBytes(HWND dlg, int id, UINT codePage, const char *text);
// List-box lines from single-byte text.
void ListAddBytes(HWND list, UINT codePage, const char *text);
void ListReplaceBytes(HWND list, int index, UINT codePage, const char *text);

// Language string id as an error box (hand icon) over owner; with one %s argument
// when arg is not NULL.
void SettingsErrorBox(HWND owner, UINT stringId, const char *arg);

// The protocol pages' dialog procedure; lParam of its page is the protocol.
INT_PTR CALLBACK ProtocolPageProc(HWND page, UINT msg, WPARAM wp, LPARAM lp);
// WM_NOTIFY of a page: help opens topic, OK confirms the sheet, leaving the page runs
// leave (nonzero keeps the page). Returns the dialog procedure's result.
typedef int (*PageLeaveFn)(HWND page);
INT_PTR AnswerPageNotify(HWND page, const NMHDR *n, const char *topic, PageLeaveFn leave);
// Centres the sheet the first time one of its pages starts.
void CentreSheetOnce(HWND page);
extern uint16_t g_sheetAgentVersion;
extern int g_sheetConfirmed;

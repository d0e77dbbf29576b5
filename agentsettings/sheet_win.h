// The settings sheet (Common, TCP/IP and IPX/SPX pages from the language library) and
// its community dialogs. UI thread only; edits g_agentSettings.values in place.
#pragma once
#include <windows.h>

#include <cstdint>
#include "agentsettings/state_win.h"

// Runs the sheet modally over owner for an Agent of agentVersion; nonzero when the
// operator confirmed it with OK.
int RunSettingsSheet(HWND owner, uint16_t agentVersion);

// The community dialogs, also for tests. text holds 128 bytes (a node) or 16 (a
// password) and is changed only on OK. Return the dialog's result.
INT_PTR NodeDialog(HWND owner, int protocol, char *text);
INT_PTR CommunityPasswordDialog(HWND owner, char *password);

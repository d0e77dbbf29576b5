// System information (command 40010): the remote system's facts from the login reply
// and the screen information, the session's byte counters and live statistics, in
// template 125 of the language library. UI thread only.
#pragma once
#include <windows.h>

// Runs the dialog modally in the open-dialog slot. Returns 1 when it was shown, 0
// when another dialog holds the slot or it could not be made (then reported).
int ShowSystemInfo(HWND mainWindow);

// The failure report: log line, console record and timed box together, so callers
// only pass their 0 on.
#pragma once
#include <windows.h>

// Before the main window exists: log and MessageRecord with the start-up flag.
void ReportStartupFailure(const char *text);
void ReportStartupFailureId(UINT stringId);

// Log, MessageRecord (flag 0) and a 5-second box captioned with the main title.
void ReportFailure(HWND parent, const char *text);

// For failures the Agent can repeat at will (screen announcements, console starts):
// a box only while no other such box is open, which would pump more of them in and
// nest; the rest are logged and recorded only.
void ReportRepeatableFailure(HWND parent, const char *text);

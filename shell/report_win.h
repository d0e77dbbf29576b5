// The failure report: log line, console record and timed box together, so callers
// only pass their 0 on.
#pragma once
#include <windows.h>

// Before the main window exists: log and MessageRecord with the start-up flag.
void ReportStartupFailure(const char *text);
void ReportStartupFailureId(UINT stringId);

// Log, MessageRecord (flag 0) and a 5-second box captioned with the main title.
void ReportFailure(HWND parent, const char *text);

// The report of a window or dialog that could not be opened. UI thread.
#pragma once
#include <windows.h>

// Logs, records and shows string IDS_WINDOW_FAILED with the system's text for the
// last error; parent owns the box.
void ReportWindowFailure(HWND parent);

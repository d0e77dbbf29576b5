// Version of a system library from its DllGetVersion export. Any thread.
#pragma once
#include <windows.h>

// major * 256 + minor, 0 when the library or its DllGetVersion is missing or fails.
DWORD LibraryVersion(const char *dllName);

// Loading and saving the viewer's preferences under HKCU. UI thread only.
#pragma once
#include <windows.h>

// Fills g_viewer.settings; writes the full set back when a value was missing.
// Returns 0 (after reporting) when the key cannot be opened or created.
int LoadSettings(void);

// Writes SaveOnExit only, or every stored value when allValues is set, through key
// or, when key is NULL, through a key opened here. Stops at the first failed write.
int SaveSettings(HKEY key, int allValues);

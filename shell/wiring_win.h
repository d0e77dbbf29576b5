// The one place that knows every subsystem: it sets each owner's packet handler and
// registers the window classes. Start-up calls WireViewer once, on the UI thread,
// before any worker thread exists.
#pragma once
#include <windows.h>

// Handlers and window classes; 0 when a class cannot be registered.
int WireViewer(void);
// The packet handlers and receive hooks alone (the Wine unit tests have no classes).
void WirePacketHandlers(void);

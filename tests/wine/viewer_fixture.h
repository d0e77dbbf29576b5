// Shared set-up of the Wine unit tests: the parts of ViewerState that start-up
// would prepare, without a command line or windows.
#pragma once
#include "shell/state.h"

// Idempotent: locks, log path in the test folder, language libraries, link objects.
void PrepareTestViewer(void);
// The main window's procedure, its class registered under a test name, for cases that
// drive its messages on a window of their own.
WNDPROC MainWindowProcForTest(void);
// Path of a scratch file beside the test program.
void TestFilePath(char *out, size_t cap, const char *name);

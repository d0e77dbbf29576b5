// The system's text for the calling thread's last error. Any thread.
#pragma once
#include <windows.h>

#include <cstddef>

// "<code> - <system text>" for GetLastError() in buf, laid out and cut as
// FormatErrorText does; always terminated within size. Keeps the last error.
// Returns the length written, 0 when size is 0.
size_t SystemErrorText(char *buf, size_t size);

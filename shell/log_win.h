// The diagnostic log beside the program. Callable from any thread (LogLock).
#pragma once

// Appends one stamped line; a file that cannot be opened loses the line silently.
void WriteLog(const char *text);
void WriteLogF(const char *format, ...);
// Logs a string of the active language library.
void WriteLogString(unsigned stringId);

// The timed message box (template 102) and the password prompt (template 108), both
// modal on the calling thread.
#pragma once
#include <windows.h>

struct TimedBoxRequest {
    WORD templateId;     // 102
    DWORD timeoutMs;     // 0: stays until closed; else closes itself as if OK
    const char *caption; // NULL: the product text
    const char *text;
    UINT icon;    // 32 question, 48 exclamation, 64 asterisk, else hand
    BOOL tracked; // listed among the open boxes that CloseTimedBoxes ends
};

// Returns the id of the button that closed the box (IDOK after a time-out), 0 on failure.
// Any thread may show one; several may be shown at once.
INT_PTR TimedMessageBox(HWND parent, const TimedBoxRequest *req);
// Shutdown: ends every tracked box now open, whatever thread shows it, and every one
// opened from here on, so that no thread is left waiting out a time-out.
void CloseTimedBoxes(void);

// Asks for the password; on IDOK the target's password buffer holds the typed text.
INT_PTR PasswordPrompt(HWND owner);

// Send message (command 40004): the dialog of template 126 and the sealed packet it
// leads to. UI thread only.
#pragma once
#include <windows.h>

#include "ui/sendmsg.h"

// What the dialog edits: filled from the remembered choice, copied back on OK.
struct SendMessageForm {
    MessageChoice choice;
    char text[kSendTextMax + 1]; // single-byte, as the remote message box shows it
};

// Runs the dialog modally in the open-dialog slot. Returns IDOK with a text in the
// form, IDCANCEL when cancelled or left empty, 0 when another dialog holds the slot,
// -1 when the dialog could not be made (nothing reported).
INT_PTR RunSendMessageDialog(HWND owner, SendMessageForm *form);

// The command: the dialog, then PKT_SEND_MESSAGE queued and the choice remembered.
// Returns the queueing result; 0 when nothing was sent. Failures are reported here.
int SendMessageCommand(HWND mainWindow);

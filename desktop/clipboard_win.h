// Clipboard exchange with the Agent: the main window in the clipboard viewer chain,
// local text sent in chunks by a sender thread, the Agent's text collected on the
// receive thread and put on the local clipboard by the UI thread when whole.
#pragma once
#include <winsock2.h>
#include <windows.h>

#include "session/packet.h"

// UI thread: join at main-window creation, leave at its destruction (which also ends
// the sender thread and frees a text not yet taken; StopEvent must be set and the
// receive thread ended by then).
void ClipboardJoinChain(HWND mainWindow);
void ClipboardLeaveChain(HWND mainWindow);
// UI thread: the chain messages of the main window.
void ClipboardOnChangeChain(HWND leaving, HWND next);
void ClipboardOnDraw(HWND mainWindow);
// UI thread: WM_CV_CLIPBOARD_TEXT, the newest whole text from the Agent.
void ClipboardOnText(HWND mainWindow);
// UI thread: command 40024.
void ToggleClipboardExchange(void);

// Receive thread: one PKT_CLIPBOARD_TEXT.
int HandleClipboardChunk(const SessPacketHeader *h, const uint8_t *payload);

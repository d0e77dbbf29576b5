// The settings session: command 40012 asks the Agent for its settings, the receive
// thread stores what comes while the request is out, the last packet opens the sheet,
// and a confirmed sheet goes back to the Agent from a worker thread (it may take more
// packets than the send queue holds, and only a worker may wait for room).
#pragma once
#include <winsock2.h>
#include <windows.h>

#include "session/packet.h"

// kAsGivenUp: the receive thread stopped collecting an answer past any Agent's size; the
// UI thread tells the operator and brings command 40012 back.
enum { kAsIdle, kAsRequested, kAsEditing, kAsGivenUp };

// Timer of the main window that gives up a request the Agent never finishes, and the
// wait (CORVID_TEST_SETTINGS_WAIT_MS, read only when set, shortens it for tests).
enum { kSettingsWaitTimer = 0x7C02, kSettingsWaitMs = 30000 };
DWORD SettingsWaitMs(void);

// UI thread: command 40012.
void RequestAgentSettings(HWND mainWindow);
// Receive thread: the five settings packets; anything arriving without a request out
// is logged and ignored.
int HandleAgentSettingsPacket(const SessPacketHeader *h, const uint8_t *payload);
// UI thread: WM_CV_SETTINGS_READY, the wait timer, and the end of the sending worker.
void OnAgentSettingsReady(HWND mainWindow);
void OnAgentSettingsTimer(HWND mainWindow);
void OnAgentSettingsSent(void);
// UI thread, at the main window's destruction once the receive thread has ended
// (StopEvent set): the worker is joined and the lists freed.
void EndAgentSettings(void);

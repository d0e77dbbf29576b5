// The Agent settings being fetched or edited: stored by the receive thread only while a
// request is out, then edited in the sheet by the UI thread (AgentSettingsLock guards
// the state and the stores; the sheet runs after the last packet, when nothing more is
// stored).
#pragma once
#include <windows.h>

#include "agentsettings/settings.h"

struct AgentSettingsState {
    AgentSettings values;
    DWORD state; // AgentSettingsLock: kAsIdle, kAsRequested, kAsEditing, kAsGivenUp
    DWORD tick;  // AgentSettingsLock: the request or the last packet
};

extern AgentSettingsState g_agentSettings;

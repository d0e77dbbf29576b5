// The settings session on the Win32 side: request, storing under the lock while the
// request is out, the sheet, and sending back from a worker.
#include "agentsettings/session_win.h"

#include "agentsettings/settings.h"
#include "agentsettings/sheet_win.h"
#include "agentsettings/state_win.h"
#include "lang/stringids.h"
#include "session/sendqueue_win.h"
#include "session/state_win.h"
#include "shell/commands.h"
#include "shell/commandstate_win.h"
#include "shell/log_win.h"
#include "shell/messages.h"
#include "shell/post_win.h"
#include "shell/report_win.h"
#include "shell/state.h"
#include "shell/strings_win.h"

#include <cstdio>

AgentSettingsState g_agentSettings;

// More nodes than any Agent holds: an Agent that goes on sending past this is not
// answering the request, and the viewer stops collecting.
enum { kAsNodesMax = 100000 };

static HANDLE g_sender;          // UI thread: the worker sending the settings back
static UiNotice g_settingsReady; // a whole set arrived or was given up; taken once
static int g_incomplete;         // AgentSettingsLock: a packet of this answer was refused
static int g_sheetOpen;          // UI thread: the sheet runs, a late notice must not open another

DWORD SettingsWaitMs(void)
{
    char text[16];
    const DWORD n = GetEnvironmentVariableA("CORVID_TEST_SETTINGS_WAIT_MS", text, sizeof(text));
    const unsigned long ms = n > 0 && n < sizeof(text) ? strtoul(text, NULL, 10) : 0;
    return ms > 0 ? (DWORD)ms : (DWORD)kSettingsWaitMs;
}

static void ReportId(HWND parent, UINT id, unsigned arg)
{
    char format[512], text[600];
    LoadLangString(id, format, sizeof(format));
    snprintf(text, sizeof(text), format, arg);
    ReportFailure(parent, text);
}

static uint16_t AgentVersion(void)
{
    EnterCriticalSection(&g_viewer.loginInfoLock);
    const uint16_t v = g_session.info.login.agentVersion;
    LeaveCriticalSection(&g_viewer.loginInfoLock);
    return v;
}

// The command comes back only for a session whose login granted it.
static void ReenableCommand(void)
{
    EnterCriticalSection(&g_viewer.loginInfoLock);
    const uint32_t rights = g_session.info.login.rights;
    LeaveCriticalSection(&g_viewer.loginInfoLock);
    const int on = g_session.loggedIn && (rights & RIGHT_AGENT_SETTINGS) && g_viewer.stopEvent &&
                   WaitForSingleObject(g_viewer.stopEvent, 0) == WAIT_TIMEOUT;
    EnableCommand(on, IDM_AGENT_SETTINGS, kCheckLeave);
}

static long NodesHeld(const AgentSettings *s)
{
    long n = s->lists[0].count + s->lists[1].count;
    for (const AsCommunity &c : s->communities)
        n += c.protocol[0].nodes.count + c.protocol[1].nodes.count;
    return n;
}

void RequestAgentSettings(HWND mainWindow)
{
    EnterCriticalSection(&g_viewer.agentSettingsLock);
    const int idle = g_agentSettings.state == kAsIdle && !g_sender;
    if (idle) {
        AsRelease(&g_agentSettings.values);
        g_agentSettings.state = kAsRequested;
        g_agentSettings.tick = GetTickCount();
        g_incomplete = 0;
    }
    LeaveCriticalSection(&g_viewer.agentSettingsLock);
    if (!idle)
        return;
    uint8_t packet[kPacketHeaderSize];
    SessPacketHeader h = {PKT_GET_AGENT_SETTINGS, 0, 1};
    EncodePacketHeader(&h, packet, sizeof(packet));
    int oom;
    if (!EnqueuePacket(packet, sizeof(packet), &oom)) {
        EnterCriticalSection(&g_viewer.agentSettingsLock);
        g_agentSettings.state = kAsIdle;
        LeaveCriticalSection(&g_viewer.agentSettingsLock);
        return;
    }
    EnableCommand(0, IDM_AGENT_SETTINGS, kCheckLeave);
    SetTimer(mainWindow, kSettingsWaitTimer, 1000, NULL);
}

int HandleAgentSettingsPacket(const SessPacketHeader *h, const uint8_t *payload)
{
    const uint16_t version = AgentVersion();
    const char *why = NULL;
    int ok = 1, last = 0, stored = 0;
    EnterCriticalSection(&g_viewer.agentSettingsLock);
    AgentSettings *s = &g_agentSettings.values;
    if (g_agentSettings.state == kAsRequested) {
        stored = 1;
        g_agentSettings.tick = GetTickCount();
        switch (h->dwType) {
        case PKT_AGENT_SETTINGS_COMMON:
            ok = AsReceiveCommon(s, h, payload, version, &why);
            break;
        case PKT_AGENT_SETTINGS_STRING:
            ok = AsReceiveString(s, h, payload, &why);
            break;
        case PKT_AGENT_SETTINGS_FLAG:
            ok = AsReceiveFlag(s, h, payload, &why);
            break;
        case PKT_AGENT_SETTINGS_NODE_LISTS:
            ok = AsReceiveNodeLists(s, h, payload, &why);
            break;
        case PKT_AGENT_SETTINGS_COMMUNITIES:
            ok = AsReceiveCommunities(s, h, payload, &last, &why);
            break;
        }
        if (NodesHeld(s) > kAsNodesMax) {
            // Nothing is opened on these: the UI thread reports it and brings the command back.
            AsRelease(s);
            g_agentSettings.state = kAsGivenUp;
            why = "past the nodes an Agent holds: the settings are given up";
            ok = 0;
            last = 1;
        } else if (!ok) {
            g_incomplete = 1; // sending the rest back would cut the Agent's lists short
        } else if (last) {
            g_agentSettings.state = kAsEditing; // nothing more is stored from here on
        }
    }
    LeaveCriticalSection(&g_viewer.agentSettingsLock);
    if (!stored)
        WriteLogF("Agent settings packet of type %u arrived without a request: ignored.", (unsigned)h->dwType);
    else if (why)
        WriteLogF("Agent settings packet of type %u (%u bytes) %s.", (unsigned)h->dwType, (unsigned)h->dwDataLen, why);
    if (last)
        UiNoticeRaise(&g_settingsReady, g_viewer.mainWindow, WM_CV_SETTINGS_READY, 0, 0);
    return 1;
}

static int QueueSettingsPacket(void *, const uint8_t *packet, size_t length)
{
    int oom;
    return EnqueuePacket(packet, (DWORD)length, &oom);
}

struct SendJob {
    uint16_t version;
};

static DWORD WINAPI SendSettingsThread(LPVOID param)
{
    SendJob *job = (SendJob *)param;
    if (!AsSendAll(&g_agentSettings.values, job->version, QueueSettingsPacket, NULL))
        WriteLog("The Agent's settings could not all be sent back: the session is ending.");
    HeapFree(GetProcessHeap(), 0, job);
    UiPost(g_viewer.mainWindow, WM_CV_SETTINGS_SENT, 0, 0);
    return 0;
}

static void BackToIdle(void)
{
    EnterCriticalSection(&g_viewer.agentSettingsLock);
    AsRelease(&g_agentSettings.values);
    g_agentSettings.state = kAsIdle;
    LeaveCriticalSection(&g_viewer.agentSettingsLock);
    ReenableCommand();
}

// The answer is whole, incomplete or given up: the sheet, or the operator told why not.
static void ActOnAnswer(HWND mainWindow)
{
    if (g_sheetOpen || g_sender)
        return;
    EnterCriticalSection(&g_viewer.agentSettingsLock);
    const DWORD state = g_agentSettings.state;
    const int incomplete = g_incomplete;
    LeaveCriticalSection(&g_viewer.agentSettingsLock);
    if (state == kAsRequested)
        return; // the wait timer goes on
    KillTimer(mainWindow, kSettingsWaitTimer);
    if (state == kAsGivenUp) {
        BackToIdle();
        ReportId(mainWindow, IDS_AS_TOO_MANY_NODES, kAsNodesMax);
        return;
    }
    if (state != kAsEditing)
        return;
    g_sheetOpen = 1;
    if (incomplete)
        ReportId(mainWindow, IDS_AS_INCOMPLETE, 0);
    const uint16_t version = AgentVersion();
    const int confirmed = RunSettingsSheet(mainWindow, version);
    g_sheetOpen = 0;
    if (confirmed && incomplete)
        WriteLog("The Agent's settings arrived incomplete: nothing was sent back.");
    if (!confirmed || incomplete) {
        BackToIdle();
        return;
    }
    SendJob *job = (SendJob *)HeapAlloc(GetProcessHeap(), 0, sizeof(SendJob));
    DWORD id;
    if (job) {
        job->version = version;
        g_sender = CreateThread(NULL, 0, SendSettingsThread, job, 0, &id);
    }
    if (!g_sender) {
        HeapFree(GetProcessHeap(), 0, job);
        WriteLog("No thread to send the Agent's settings back: nothing was sent.");
        BackToIdle();
    }
}

void OnAgentSettingsReady(HWND mainWindow)
{
    UiNoticeTaken(&g_settingsReady);
    ActOnAnswer(mainWindow);
}

void OnAgentSettingsSent(void)
{
    if (!g_sender)
        return;
    WaitForSingleObject(g_sender, INFINITE); // it has posted its last word
    CloseHandle(g_sender);
    g_sender = NULL;
    BackToIdle();
}

void OnAgentSettingsTimer(HWND mainWindow)
{
    int gaveUp = 0;
    const DWORD waitMs = SettingsWaitMs();
    EnterCriticalSection(&g_viewer.agentSettingsLock);
    const DWORD state = g_agentSettings.state;
    if (state != kAsRequested) {
        LeaveCriticalSection(&g_viewer.agentSettingsLock);
        // The notice may have been lost to a full message queue: it is acted on here.
        ActOnAnswer(mainWindow);
        return;
    }
    if (GetTickCount() - g_agentSettings.tick >= waitMs) {
        AsRelease(&g_agentSettings.values);
        g_agentSettings.state = kAsIdle;
        gaveUp = 1;
    }
    LeaveCriticalSection(&g_viewer.agentSettingsLock);
    if (!gaveUp)
        return;
    KillTimer(mainWindow, kSettingsWaitTimer);
    ReenableCommand();
    ReportId(mainWindow, IDS_AS_NO_ANSWER, (unsigned)((waitMs + 999) / 1000));
}

void EndAgentSettings(void)
{
    if (g_sender) {
        WaitForSingleObject(g_sender, INFINITE); // StopEvent is set: its queueing fails at once
        CloseHandle(g_sender);
        g_sender = NULL;
    }
    EnterCriticalSection(&g_viewer.agentSettingsLock);
    AsRelease(&g_agentSettings.values);
    g_agentSettings.state = kAsIdle;
    LeaveCriticalSection(&g_viewer.agentSettingsLock);
}

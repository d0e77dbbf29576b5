// The link to the management console. Records are written under the named mutex, which
// also serialises viewers of other hosts; the console confirms each with the
// completion event. TerminateWatchThread only posts to the main window.
#include "shell/managerlink_win.h"
#include "shell/log_win.h"
#include "shell/post_win.h"

#include "shell/managerrecord.h"
#include "shell/state.h"

#include <cstdio>
#include <cstring>

enum { kConsoleConfirmWaitMs = 4000 };

int ManagerLinkOpen(void)
{
    g_viewer.managerMap =
        CreateFileMappingA(INVALID_HANDLE_VALUE, NULL, PAGE_READWRITE, 0, kManagerMapSize, CORVID_MANAGER_MAP_NAME);
    if (!g_viewer.managerMap)
        return 0;
    g_viewer.managerView = (BYTE *)MapViewOfFile(g_viewer.managerMap, FILE_MAP_ALL_ACCESS, 0, 0, 0);
    if (!g_viewer.managerView)
        return 0;
    g_viewer.managerDoneEvent = CreateEventA(NULL, FALSE, FALSE, CORVID_MANAGER_DONE_EVENT);
    if (!g_viewer.managerDoneEvent)
        return 0;
    g_viewer.managerMutex = CreateMutexA(NULL, FALSE, CORVID_MANAGER_MUTEX_NAME);
    if (!g_viewer.managerMutex)
        return 0;
    return 1;
}

void ManagerLinkClose(void)
{
    if (g_viewer.managerView)
        UnmapViewOfFile(g_viewer.managerView);
    if (g_viewer.managerMap)
        CloseHandle(g_viewer.managerMap);
    if (g_viewer.managerDoneEvent)
        CloseHandle(g_viewer.managerDoneEvent);
    if (g_viewer.managerMutex)
        CloseHandle(g_viewer.managerMutex);
    g_viewer.managerView = NULL;
    g_viewer.managerMap = g_viewer.managerDoneEvent = g_viewer.managerMutex = NULL;
}

// Writes len bytes at the start of the shared memory and waits for the console.
static void DeliverRecord(const BYTE *record, size_t len, LPARAM kind)
{
    if (!g_viewer.managerView || !g_viewer.managerMutex || len > kManagerMapSize)
        return;
    HWND console = FindWindowA(CORVID_MANAGER_WINDOW_CLASS, NULL);
    if (!console)
        return;
    DWORD w = WaitForSingleObject(g_viewer.managerMutex, INFINITE);
    if (w != WAIT_OBJECT_0 && w != WAIT_ABANDONED)
        return;
    memcpy(g_viewer.managerView, record, len);
    // A confirmation that came after an earlier record's time-out must not pass for
    // this record's.
    ResetEvent(g_viewer.managerDoneEvent);
    if (PostMessageA(console, kManagerNotifyMessage, (WPARAM)GetCurrentProcessId(), kind))
        WaitForSingleObject(g_viewer.managerDoneEvent, kConsoleConfirmWaitMs);
    ReleaseMutex(g_viewer.managerMutex);
}

void SendMessageRecord(DWORD startupFlag, const char *text)
{
    MessageRecord r;
    MakeMessageRecord(&r, startupFlag, g_viewer.target.hostText, text);
    BYTE buf[kMessageRecordMax];
    size_t n = EncodeMessageRecord(buf, sizeof(buf), &r);
    if (n)
        DeliverRecord(buf, n, 0);
}

void SendConnectionRecord(DWORD state, int returnPassword)
{
    ConnectionRecord r;
    memset(&r, 0, sizeof(r));
    r.state = state;
    r.protocol = g_viewer.target.protocol == PROTO_SPX ? 1 : 0;
    if (g_viewer.target.protocol == PROTO_SPX) {
        memcpy(r.address, g_viewer.target.ipxNet, 4);
        memcpy(r.node, g_viewer.target.ipxNode, 6);
    } else {
        memcpy(r.address, &g_viewer.target.ipv4, 4);
    }
    if (returnPassword) {
        r.passwordReturned = 1;
        memcpy(r.password, g_viewer.target.password, 15);
    }
    BYTE buf[kConnectionRecordSize];
    EncodeConnectionRecord(buf, &r);
    DeliverRecord(buf, sizeof(buf), 1);
}

static HWND g_termWindow;
static HANDLE g_termEvent;

static DWORD WINAPI TerminateWatchThread(LPVOID)
{
    HANDLE waits[2] = {g_viewer.stopEvent, g_termEvent};
    DWORD w = WaitForMultipleObjects(g_termEvent ? 2 : 1, waits, FALSE, INFINITE);
    if (g_termEvent)
        CloseHandle(g_termEvent);
    g_termEvent = NULL;
    if (w == WAIT_OBJECT_0 + 1) {
        UiPost(g_termWindow, WM_CLOSE, 0, 0);
        WaitForSingleObject(g_viewer.stopEvent, INFINITE);
    }
    return 0;
}

// Before the main window exists: a console that finds the window may set it at once.
void CreateTerminateEvent(void)
{
    if (g_termEvent)
        return;
    char name[32];
    snprintf(name, sizeof(name), CORVID_TERM_EVENT_FORMAT, (unsigned)GetCurrentProcessId());
    // Without it the viewer still runs; only the console cannot close it.
    g_termEvent = CreateEventA(NULL, FALSE, FALSE, name);
    if (!g_termEvent)
        WriteLogF("The termination event %s could not be created (error %lu).", name, GetLastError());
}

int StartTerminateWatch(HWND mainWindow)
{
    CreateTerminateEvent();
    g_termWindow = mainWindow;
    DWORD id;
    g_viewer.terminateWatchThread = CreateThread(NULL, 0, TerminateWatchThread, NULL, 0, &id);
    return g_viewer.terminateWatchThread != NULL;
}

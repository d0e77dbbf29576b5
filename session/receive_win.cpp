// The ReceiveThread: reads into the ReceiveBuffer, cuts whole packets and dispatches
// them. Login facts are written under LoginInfoLock, the screen facts before the
// message that announces them; boxes it shows block only this thread.
#include "session/receive_win.h"

#include "agentsettings/session_win.h"
#include "console/console_win.h"
#include "desktop/clipboard_win.h"
#include "desktop/pointer.h"
#include "desktop/profile_win.h"
#include "desktop/update_win.h"
#include "filetransfer/route_win.h"
#include "lang/stringids.h"
#include "session/framer.h"
#include "session/login.h"
#include "session/transport_win.h"
#include "shell/log_win.h"
#include "shell/mainwindow_win.h"
#include "shell/post_win.h"
#include "shell/report_win.h"
#include "shell/state.h"
#include "shell/strings_win.h"
#include "ui/toolbar_win.h"

#include <cstdio>
#include <cstring>

static PacketFramer g_receiveBuffer; // the ReceiveThread's own
static BOOL g_loginAccepted;         // the ReceiveThread's own: a status 0 reply was taken

static void EndSession(void)
{
    UiPost(g_viewer.mainWindow, WM_CV_SOCKET, (WPARAM)g_viewer.socket, FD_CLOSE);
}

// What the Agent may send without bound reaches the UI thread as notices: one message
// until taken, the latest facts beside it.
static UiNotice g_loginNotice, g_screenNotice, g_restartNotice, g_shapeNotice, g_posNotice;
static SRWLOCK g_cursorLock = SRWLOCK_INIT;
static volatile LONG g_loginStatus;
static PendingCursor g_cursor; // under g_cursorLock

static void Announce(UiNotice *n, UINT msg)
{
    if (!UiNoticeRaise(n, g_viewer.mainWindow, msg, 0, 0))
        WriteLogF("Message %u could not be posted (error %lu): the next packet of its kind announces it.", msg,
                  GetLastError());
}

int TakeLoginStatus(DWORD *status)
{
    UiNoticeTaken(&g_loginNotice);
    *status = (DWORD)InterlockedCompareExchange(&g_loginStatus, 0, 0);
    return 1;
}

void TakeScreenNotice(void) { UiNoticeTaken(&g_screenNotice); }
void TakeRestartNotice(void) { UiNoticeTaken(&g_restartNotice); }

int TakeCursorShape(PendingCursor *out)
{
    UiNoticeTaken(&g_shapeNotice);
    AcquireSRWLockExclusive(&g_cursorLock);
    const int any = g_cursor.shapeKind != 0;
    out->shapeKind = g_cursor.shapeKind;
    out->index = g_cursor.index;
    if (g_cursor.shapeKind == 2)
        memcpy(out->shape, g_cursor.shape, sizeof(out->shape));
    g_cursor.shapeKind = 0;
    ReleaseSRWLockExclusive(&g_cursorLock);
    return any;
}

int TakeCursorPos(DWORD *x, DWORD *y)
{
    UiNoticeTaken(&g_posNotice);
    AcquireSRWLockExclusive(&g_cursorLock);
    const int any = g_cursor.posNew;
    *x = g_cursor.x;
    *y = g_cursor.y;
    g_cursor.posNew = 0;
    ReleaseSRWLockExclusive(&g_cursorLock);
    return any;
}

static int RefusePacket(UINT stringId, const SessPacketHeader *h, unsigned expected)
{
    char format[512], text[1024];
    LoadLangString(stringId, format, sizeof(format));
    snprintf(text, sizeof(text), format, (unsigned)h->dwType, (unsigned)h->dwDataLen, expected);
    ReportFailure(NULL, text);
    EndSession();
    return 0;
}

static int RefuseUnknown(void)
{
    char a[512], b[512], text[1024];
    LoadLangString(IDS_RECEIVE_FAILED, a, sizeof(a));
    LoadLangString(IDS_UNKNOWN_REQUEST, b, sizeof(b));
    snprintf(text, sizeof(text), "%s%s", a, b);
    ReportFailure(NULL, text);
    EndSession();
    return 0;
}

static int OnLoginReply(const SessPacketHeader *h, const uint8_t *payload)
{
    // A second reply would wipe the facts of a session in use (the screen, the byte
    // counters, desktop-active) under the UI thread's feet.
    if (g_loginAccepted) {
        WriteLogF("PKT_LOGIN_REPLY of %u bytes after the login was accepted: ignored.", (unsigned)h->dwDataLen);
        return 1;
    }
    uint32_t status;
    LoginInfo info;
    if (!ParseLoginReply(h, payload, &status, &info))
        return RefusePacket(IDS_PACKET_TOO_SHORT, h, 39);
    if (status == 0) {
        g_loginAccepted = TRUE;
        EnterCriticalSection(&g_viewer.loginInfoLock);
        memset(&g_viewer.session, 0, sizeof(g_viewer.session));
        g_viewer.session.login = info;
        LeaveCriticalSection(&g_viewer.loginInfoLock);
    }
    InterlockedExchange(&g_loginStatus, (LONG)status);
    Announce(&g_loginNotice, WM_CV_LOGIN_REPLY);
    return 1;
}

static int OnScreenInfo(const SessPacketHeader *h, const uint8_t *payload)
{
    RemoteScreen s;
    if (!ParseScreenInfo(h, payload, &s))
        return RefusePacket(IDS_PACKET_TOO_SHORT, h, 12);
    // Handed over under ScreenLock: the UI thread may be building from the previous
    // announcement while this one arrives.
    EnterCriticalSection(&g_viewer.screenLock);
    g_viewer.screen.announced = s;
    ++g_viewer.screen.announcements;
    LeaveCriticalSection(&g_viewer.screenLock);
    Announce(&g_screenNotice, WM_CV_SCREEN_INFO);
    return 1;
}

// Cursor packets go to the UI thread; a short one is logged and dropped.
static int ShortCursorPacket(const SessPacketHeader *h, uint32_t need)
{
    WriteLogF("Packet type %u of %u bytes, %u expected: dropped.", (unsigned)h->dwType, (unsigned)h->dwDataLen,
              (unsigned)need);
    return 1;
}

static int OnCursorStandard(const SessPacketHeader *h, const uint8_t *payload)
{
    uint32_t index;
    if (!ParseU32Payload(h, payload, &index))
        return ShortCursorPacket(h, kCursorStandardLen);
    // Refused here, not when taken: a later cursor replaces one still waiting.
    int known;
    if (!StandardCursorIndex(index, &known)) {
        WriteLogF("PKT_CURSOR_STANDARD %u is not a standard cursor: ignored.", (unsigned)index);
        return 1;
    }
    AcquireSRWLockExclusive(&g_cursorLock);
    g_cursor.shapeKind = 1;
    g_cursor.index = index;
    ReleaseSRWLockExclusive(&g_cursorLock);
    Announce(&g_shapeNotice, WM_CV_CURSOR_SHAPE);
    return 1;
}

static int OnCursorShapePacket(const SessPacketHeader *h, const uint8_t *payload)
{
    if (h->dwDataLen < kCursorShapeLen)
        return ShortCursorPacket(h, kCursorShapeLen);
    CursorShape shape;
    if (!ParseCursorShape(payload, kCursorShapeLen, &shape)) {
        WriteLogF("PKT_CURSOR_SHAPE of %d x %d does not fit its %d-byte masks: ignored.", shape.width, shape.height,
                  kCursorMaskBytes);
        return 1;
    }
    AcquireSRWLockExclusive(&g_cursorLock);
    g_cursor.shapeKind = 2;
    memcpy(g_cursor.shape, payload, kCursorShapeLen);
    ReleaseSRWLockExclusive(&g_cursorLock);
    Announce(&g_shapeNotice, WM_CV_CURSOR_SHAPE);
    return 1;
}

static int OnCursorPosPacket(const SessPacketHeader *h, const uint8_t *payload)
{
    uint32_t x, y;
    if (!ParseCursorPos(h, payload, &x, &y))
        return ShortCursorPacket(h, kCursorPosLen);
    AcquireSRWLockExclusive(&g_cursorLock);
    g_cursor.x = x;
    g_cursor.y = y;
    g_cursor.posNew = 1;
    ReleaseSRWLockExclusive(&g_cursorLock);
    Announce(&g_posNotice, WM_CV_CURSOR_POS);
    return 1;
}

int DispatchPacket(const SessPacketHeader *h, const uint8_t *payload)
{
    switch (h->dwType) {
    case PKT_LOGIN_REPLY:
        return OnLoginReply(h, payload);
    case PKT_SCREEN_INFO:
        return OnScreenInfo(h, payload);
    case PKT_SCREEN_XOR_PART:
        return HandleXoredScrPart(h, payload);
    case PKT_SCREEN_XOR_RLE_PART:
        return HandleRlePart(h, payload, 1);
    case PKT_SCREEN_RLE_PART:
        return HandleRlePart(h, payload, 0);
    case PKT_PALETTE:
        return HandlePalette(h, payload);
    case PKT_DESKTOP_RESTART:
        // Restarts in a row are answered once, after the last: the Agent waits for one
        // client information, sent after its latest restart.
        Announce(&g_restartNotice, WM_CV_DESKTOP_RESTART);
        return 1;
    case PKT_KEYBOARD_LIGHTS:
        return HandleKeyboardLights(h, payload);
    case PKT_CURSOR_STANDARD:
        return OnCursorStandard(h, payload);
    case PKT_CURSOR_SHAPE:
        return OnCursorShapePacket(h, payload);
    case PKT_CURSOR_POS:
        return OnCursorPosPacket(h, payload);
    case PKT_CONSOLE_STOP:
    case PKT_CONSOLE_START:
    case PKT_CONSOLE_CURSOR:
    case PKT_CONSOLE_LINE:
        return HandleConsolePacket(h, payload);
    case PKT_CLIPBOARD_TEXT:
        return HandleClipboardChunk(h, payload);
    case PKT_AGENT_SETTINGS_COMMON:
    case PKT_AGENT_SETTINGS_STRING:
    case PKT_AGENT_SETTINGS_FLAG:
    case PKT_AGENT_SETTINGS_NODE_LISTS:
    case PKT_AGENT_SETTINGS_COMMUNITIES:
        return HandleAgentSettingsPacket(h, payload);
    case PKT_FT_DIR_LISTING:
    case PKT_FT_DIR_LISTING_MORE:
    case PKT_FT_SET_ATTRIBUTES_RESULT:
    case PKT_FT_RENAME_RESULT:
    case PKT_FT_CREATE_DIR_RESULT:
    case PKT_FT_CONFIRM_DELETE:
    case PKT_FT_ERROR:
    case PKT_FT_ACK:
    case PKT_FT_CONFIRM_OVERWRITE:
    case PKT_FT_FILE_BEGIN:
    case PKT_FT_FILE_DATA:
        return FtRoutePacket(h, payload);
    }
    if (h->dwRequired == 0)
        return 1;
    return RefuseUnknown();
}

static void ReportReadFailure(int code)
{
    char text[1024];
    FormatNetError(code, IDS_RECEIVE_FAILED, text, sizeof(text));
    ReportFailure(NULL, text);
    EndSession();
}

static DWORD WINAPI ReceiveThread(LPVOID)
{
    PacketFramer *f = &g_receiveBuffer;
    FramerInit(f);
    g_loginAccepted = FALSE;
    HANDLE waits[2] = {g_viewer.stopEvent, g_viewer.readReadyEvent};
    for (;;) {
        LONGLONG clock = ProfileClock();
        if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0 + 1)
            return 0;
        ProfileAdd(kProfReceiveWait, clock);
        uint8_t *tail;
        size_t room;
        if (!FramerFreeSpace(f, &tail, &room))
            return 0;
        clock = ProfileClock();
        int n = recv(g_viewer.socket, (char *)tail, (int)room, 0);
        ProfileAdd(kProfReceiveRead, clock);
        if (n == SOCKET_ERROR) {
            int code = WSAGetLastError();
            if (code == WSAEWOULDBLOCK)
                continue;
            ReportReadFailure(code);
            return 0;
        }
        if (n == 0)
            continue;
        FramerCommit(f, (size_t)n);
        ProfileCountAdd(kProfBytesRead, n);
        InterlockedExchangeAdd(&g_viewer.session.bytesReceived, n);
        SessPacketHeader h;
        const uint8_t *payload;
        int r;
        while ((r = FramerNext(f, &h, &payload)) == kFramerPacket)
            if (!DispatchPacket(&h, payload))
                return 0;
        AnnounceChangedTiles();
        if (r == kFramerError) {
            RefusePacket(IDS_PACKET_TOO_LONG, &h, kMaxPacketSize);
            return 0;
        }
    }
}

int StartReceiveThread(void)
{
    AcquireSRWLockExclusive(&g_cursorLock);
    memset(&g_cursor, 0, sizeof(g_cursor));
    ReleaseSRWLockExclusive(&g_cursorLock);
    // A message of an earlier session may have gone with its window, never taken.
    UiNotice *notices[] = {&g_loginNotice, &g_screenNotice, &g_restartNotice, &g_shapeNotice, &g_posNotice};
    for (UiNotice *n : notices)
        UiNoticeTaken(n);
    DWORD id;
    g_viewer.receiveThread = CreateThread(NULL, 0, ReceiveThread, NULL, 0, &id);
    return g_viewer.receiveThread != NULL;
}

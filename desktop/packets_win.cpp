// The desktop's packets, read on the ReceiveThread. Pointer facts are written under
// g_cursorLock and announced as notices: one message until taken, the latest facts
// beside it.
#include "desktop/packets_win.h"

#include "desktop/pointer.h"
#include "desktop/screeninfo.h"
#include "desktop/state_win.h"
#include "desktop/update_win.h"
#include "session/receive_win.h"
#include "shell/log_win.h"
#include "shell/messages.h"
#include "shell/post_win.h"
#include "shell/state.h"
#include "ui/toolbar_win.h"

#include <cstring>

static UiNotice g_screenNotice, g_shapeNotice, g_posNotice;
static SRWLOCK g_cursorLock = SRWLOCK_INIT;
static PendingCursor g_cursor; // under g_cursorLock

void ResetDesktopPackets(void)
{
    AcquireSRWLockExclusive(&g_cursorLock);
    memset(&g_cursor, 0, sizeof(g_cursor));
    ReleaseSRWLockExclusive(&g_cursorLock);
    // A message of an earlier session may have gone with its window, never taken.
    UiNoticeTaken(&g_screenNotice);
    UiNoticeTaken(&g_shapeNotice);
    UiNoticeTaken(&g_posNotice);
}

void TakeScreenNotice(void) { UiNoticeTaken(&g_screenNotice); }

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
    UiNoticeAnnounce(&g_shapeNotice, g_viewer.mainWindow, WM_CV_CURSOR_SHAPE);
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
    UiNoticeAnnounce(&g_shapeNotice, g_viewer.mainWindow, WM_CV_CURSOR_SHAPE);
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
    UiNoticeAnnounce(&g_posNotice, g_viewer.mainWindow, WM_CV_CURSOR_POS);
    return 1;
}

static int OnScreenInfo(const SessPacketHeader *h, const uint8_t *payload)
{
    RemoteScreen s;
    if (!ParseScreenInfo(h, payload, &s))
        return RefuseShortPacket(h, 12);
    // Handed over under ScreenLock: the UI thread may be building from the previous
    // announcement while this one arrives.
    EnterCriticalSection(&g_viewer.screenLock);
    g_desktop.screen.announced = s;
    ++g_desktop.screen.announcements;
    LeaveCriticalSection(&g_viewer.screenLock);
    UiNoticeAnnounce(&g_screenNotice, g_viewer.mainWindow, WM_CV_SCREEN_INFO);
    return 1;
}

int HandleDesktopPacket(const SessPacketHeader *h, const uint8_t *payload)
{
    switch (h->dwType) {
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
    case PKT_KEYBOARD_LIGHTS:
        return HandleKeyboardLights(h, payload);
    case PKT_CURSOR_STANDARD:
        return OnCursorStandard(h, payload);
    case PKT_CURSOR_SHAPE:
        return OnCursorShapePacket(h, payload);
    case PKT_CURSOR_POS:
        return OnCursorPosPacket(h, payload);
    }
    WriteLogF("Packet type %u reached the desktop, which does not read it: ignored.", (unsigned)h->dwType);
    return 1;
}

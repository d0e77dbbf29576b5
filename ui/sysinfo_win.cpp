// The system-information dialog. The facts are taken once when it opens; the byte
// counters and the rates are refreshed by its timer. UI thread only; the counters
// are read as the worker threads add to them.
#include "ui/sysinfo_win.h"

#include "desktop/state_win.h"
#include "lang/stringids.h"
#include "session/state_win.h"
#include "shell/state.h"
#include "shell/strings_win.h"
#include "ui/sessionstats.h"
#include "ui/sysinfo.h"
#include "ui/textformat.h"
#include "ui/windowfailure_win.h"

#include <cstdio>
#include <cstring>

enum { kRefreshTimer = 1, kRefreshMs = 3000, kStatsWindowMs = 9500 }; // three refreshes, with room for a late tick

// What the dialog shows: the facts as they were when it opened, and its samples.
struct SystemInfoView {
    LoginInfo login;
    RemoteScreen screen;
    SessionStats stats;
};

static void SetStringItem(HWND dlg, int id, UINT stringId)
{
    char text[256];
    LoadLangString(stringId, text, sizeof(text));
    SetLangItemText(dlg, id, text);
}

static void FillFacts(HWND dlg, const SystemInfoView *v)
{
    char text[64];
    SetStringItem(dlg, IDC_INFO_ACCESS, AccessLevelStringId(v->login.rights));
    AgentVersionText(v->login.agentVersion, text, sizeof(text));
    SetLangItemText(dlg, IDC_INFO_AGENT_VERSION, text);
    if (OsNameText(v->login.osPlatform, v->login.osMajor, v->login.osMinor, text, sizeof(text)))
        SetLangItemText(dlg, IDC_INFO_OS, text);
    else
        SetStringItem(dlg, IDC_INFO_OS, IDS_OS_UNKNOWN);
    SetLangItemText(dlg, IDC_INFO_COMPUTER, v->login.computerName);
    snprintf(text, sizeof(text), "%dx%d", (int)v->screen.width, (int)v->screen.height);
    SetLangItemText(dlg, IDC_INFO_SCREEN_SIZE, text);
    SetStringItem(dlg, IDC_INFO_DEPTH, DepthStringId(v->screen.displayDepth));
    SetStringItem(dlg, IDC_INFO_COLOURS, DepthStringId(ScreenDepth(&v->screen)));
}

static void SetCount(HWND dlg, int id, uint32_t count)
{
    char digits[16], grouped[24];
    snprintf(digits, sizeof(digits), "%lu", (unsigned long)count);
    GroupDigits(digits, grouped, sizeof(grouped));
    SetLangItemText(dlg, id, grouped);
}

// A rate or a time in a language's unit: whole and grouped from 100 up, else with
// one decimal, so slow rates and short decode times do not read as 0.
static void SetAmount(HWND dlg, int id, UINT formatId, double amount)
{
    char number[32], grouped[40], format[128], text[192];
    if (amount >= 100.0) {
        snprintf(number, sizeof(number), "%lu", (unsigned long)(amount + 0.5));
        GroupDigits(number, grouped, sizeof(grouped));
    } else {
        snprintf(grouped, sizeof(grouped), "%.1f", amount);
    }
    LoadLangString(formatId, format, sizeof(format));
    snprintf(text, sizeof(text), format, grouped);
    SetLangItemText(dlg, id, text);
}

static void Refresh(HWND dlg, SystemInfoView *v)
{
    SessionCounters now;
    now.bytesSent = (uint32_t)g_session.info.bytesSent;
    now.bytesReceived = (uint32_t)g_session.info.bytesReceived;
    now.parts = (uint32_t)g_desktop.partsDecoded;
    now.decodeMicros = (uint32_t)g_desktop.decodeMicros;
    SetCount(dlg, IDC_INFO_SENT, now.bytesSent);
    SetCount(dlg, IDC_INFO_RECEIVED, now.bytesReceived);
    StatsAdd(&v->stats, GetTickCount(), &now);
    SessionRates r;
    if (!StatsRates(&v->stats, &r)) {
        static const int kRates[] = {IDC_INFO_SEND_RATE, IDC_INFO_RECEIVE_RATE, IDC_INFO_PART_RATE,
                                     IDC_INFO_DECODE_TIME};
        for (int id : kRates)
            SetStringItem(dlg, id, IDS_STATS_MEASURING);
        return;
    }
    SetAmount(dlg, IDC_INFO_SEND_RATE, IDS_STATS_BYTE_RATE, r.sentPerSecond);
    SetAmount(dlg, IDC_INFO_RECEIVE_RATE, IDS_STATS_BYTE_RATE, r.receivedPerSecond);
    SetAmount(dlg, IDC_INFO_PART_RATE, IDS_STATS_PART_RATE, r.partsPerSecond);
    SetAmount(dlg, IDC_INFO_DECODE_TIME, IDS_STATS_DECODE_TIME, r.microsPerPart);
}

static BOOL OnInit(HWND dlg, SystemInfoView *v)
{
    SetWindowLongPtrW(dlg, DWLP_USER, (LONG_PTR)v);
    g_viewer.dialogSlot = dlg;
    FillFacts(dlg, v);
    SetTimer(dlg, kRefreshTimer, kRefreshMs, NULL);
    PostMessageW(dlg, WM_TIMER, kRefreshTimer, 0);
    return TRUE;
}

static INT_PTR CALLBACK SystemInfoProc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_INITDIALOG:
        return OnInit(dlg, (SystemInfoView *)lp);
    case WM_TIMER:
        if (wp == kRefreshTimer)
            Refresh(dlg, (SystemInfoView *)GetWindowLongPtrW(dlg, DWLP_USER));
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wp) != IDOK && LOWORD(wp) != IDCANCEL)
            return FALSE;
        EndDialog(dlg, 0);
        return TRUE;
    case WM_DESTROY:
        KillTimer(dlg, kRefreshTimer);
        if (g_viewer.dialogSlot == dlg)
            g_viewer.dialogSlot = NULL;
        return FALSE;
    }
    return FALSE;
}

int ShowSystemInfo(HWND mainWindow)
{
    // One dialog at a time: a command posted while another is open is refused.
    if (g_viewer.dialogSlot)
        return 0;
    SystemInfoView view;
    memset(&view, 0, sizeof(view));
    EnterCriticalSection(&g_viewer.loginInfoLock);
    view.login = g_session.info.login;
    LeaveCriticalSection(&g_viewer.loginInfoLock);
    view.screen = g_desktop.remote;
    StatsInit(&view.stats, kStatsWindowMs);
    if (DialogBoxParamW(g_viewer.activeLanguage, MAKEINTRESOURCEW(IDD_SYSTEM_INFO), mainWindow, SystemInfoProc,
                        (LPARAM)&view) == -1) {
        ReportWindowFailure(mainWindow);
        return 0;
    }
    return 1;
}

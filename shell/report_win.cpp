// The failure report: log line, console record and timed box together.
#include "shell/report_win.h"

#include "resources/resource.h"
#include "shell/log_win.h"
#include "shell/managerlink_win.h"
#include "shell/msgbox_win.h"
#include "shell/state.h"
#include "shell/strings_win.h"

void ReportStartupFailure(const char *text)
{
    WriteLog(text);
    SendMessageRecord(1, text);
}

void ReportStartupFailureId(UINT stringId)
{
    char text[1024];
    LoadLangString(stringId, text, sizeof(text));
    ReportStartupFailure(text);
}

void ReportFailure(HWND parent, const char *text)
{
    WriteLog(text);
    SendMessageRecord(0, text);
    TimedBoxRequest req = {IDD_TIMED_BOX, 5000, g_viewer.names.mainTitle, text, 16, TRUE};
    TimedMessageBox(parent, &req);
}

static BOOL g_repeatableBoxOpen; // UI thread's own

void ReportRepeatableFailure(HWND parent, const char *text)
{
    if (g_repeatableBoxOpen) {
        WriteLogF("%s (no box: one of these is open)", text);
        SendMessageRecord(0, text);
        return;
    }
    g_repeatableBoxOpen = TRUE;
    ReportFailure(parent, text);
    g_repeatableBoxOpen = FALSE;
}

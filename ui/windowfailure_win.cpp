// A window that did not open is reported with the system's reason.
#include "ui/windowfailure_win.h"

#include "lang/stringids.h"
#include "shell/report_win.h"
#include "shell/strings_win.h"
#include "ui/syserror_win.h"

#include <cstdio>

void ReportWindowFailure(HWND parent)
{
    char reason[256], format[256], text[600];
    SystemErrorText(reason, sizeof(reason)); // first: loading the string may change the last error
    LoadLangString(IDS_WINDOW_FAILED, format, sizeof(format));
    snprintf(text, sizeof(text), format, reason);
    ReportFailure(parent, text);
}

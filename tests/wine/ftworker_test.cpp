// The progress dialog's worker: a dialog torn down while its worker is deaf to cancel and
// abort waits for it a bounded time, and no operation starts (a box says so) until that
// worker has ended; then the next one runs. A worker whose end could not be posted still
// ends its dialog.
#include <gtest/gtest.h>

#include <windows.h>
#include <cstring>

#include "filetransfer/operation_win.h"
#include "lang/stringids.h"
#include "resources/resource.h"
#include "shell/messages.h"
#include "shell/state.h"
#include "tests/wine/viewer_fixture.h"

namespace {

HANDLE g_release;
volatile LONG g_runs;
int g_boxes;

void StuckWorker(WorkerParams *w)
{
    InterlockedIncrement(&g_runs);
    WaitForSingleObject(g_release, INFINITE);
    FtWorkerDone(w, 1);
}

void QuickWorker(WorkerParams *w)
{
    InterlockedIncrement(&g_runs);
    FtWorkerDone(w, 1);
}

// As when the queue is over its quota: the post is refused.
void UnheardWorker(WorkerParams *w)
{
    w->dialog = (HWND)(UINT_PTR)0xDEAD0;
    FtWorkerDone(w, 1);
}

// Thread timers, run by whichever modal loop is up: the progress dialog goes as with its
// window, the refusal box is answered.
void CALLBACK DestroyDialog(HWND, UINT, UINT_PTR, DWORD)
{
    if (g_ft.activeDialog)
        DestroyWindow(g_ft.activeDialog);
}

BOOL CALLBACK AnswerOne(HWND w, LPARAM)
{
    char name[16];
    if (GetClassNameA(w, name, sizeof(name)) && strcmp(name, "#32770") == 0 && IsWindowVisible(w)) {
        g_boxes++;
        PostMessageA(w, WM_COMMAND, IDOK, 0);
        return FALSE;
    }
    return TRUE;
}

void CALLBACK AnswerBox(HWND, UINT, UINT_PTR id, DWORD)
{
    if (!EnumThreadWindows(GetCurrentThreadId(), AnswerOne, 0))
        KillTimer(NULL, id);
}

void SelectOne(void)
{
    g_selection.items = (FileItem *)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(FileItem));
    g_selection.count = g_selection.room = 1;
    strcpy(g_selection.items[0].entry.name, "a.txt");
}

int RunOperation(FtWorker worker, TIMERPROC during)
{
    const UINT_PTR t = during ? SetTimer(NULL, 0, 100, during) : 0;
    const int r = FtRunProgress(NULL, IDD_FT_DELETE_PROGRESS, IDA_DELETE, IDS_FT_DELETE_LOCAL, kFtLocal, 0, worker);
    if (t)
        KillTimer(NULL, t);
    return r;
}

TEST(FtWorker, AWorkerOutlivingItsDialogHoldsOffTheNextOperationUntilItEnds)
{
    PrepareTestViewer();
    g_viewer.activeLanguage = g_viewer.languageLibs[0];
    g_release = CreateEventA(NULL, TRUE, FALSE, NULL);
    ASSERT_NE(g_release, (HANDLE)NULL);

    SelectOne();
    const ULONGLONG start = GetTickCount64();
    EXPECT_EQ(RunOperation(StuckWorker, DestroyDialog), 2);
    const ULONGLONG waited = GetTickCount64() - start;
    EXPECT_GE(waited, 4900u); // the bounded wait, then on
    EXPECT_LT(waited, 20000u);
    EXPECT_EQ(g_runs, 1);

    SelectOne();
    EXPECT_EQ(RunOperation(QuickWorker, AnswerBox), 2);
    EXPECT_EQ(g_boxes, 1);
    EXPECT_EQ(g_runs, 1); // refused: the new worker never ran
    EXPECT_EQ(g_selection.items, (FileItem *)NULL);

    SetEvent(g_release);
    Sleep(300);
    SelectOne();
    EXPECT_EQ(RunOperation(QuickWorker, NULL), 1);
    EXPECT_EQ(g_runs, 2);
    EXPECT_EQ(g_boxes, 1);
    CloseHandle(g_release);

    SelectOne();
    const ULONGLONG unheard = GetTickCount64();
    EXPECT_EQ(RunOperation(UnheardWorker, NULL), 1);
    EXPECT_LT(GetTickCount64() - unheard, 3000u);
}

} // namespace

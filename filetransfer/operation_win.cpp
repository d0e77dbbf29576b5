// The progress dialog and its worker thread, the selection they work on, and the
// frame's answers to the Agent's questions. One worker at a time: the dialog's end waits
// for it. UI thread, apart from the worker side's helpers.
#include "filetransfer/operation_win.h"

#include "filetransfer/frame_win.h"
#include "filetransfer/panel_win.h"
#include "filetransfer/selectiontext.h"
#include "lang/stringids.h"
#include "resources/resource.h"
#include "session/sendqueue_win.h"
#include "session/state_win.h"
#include "shell/log_win.h"
#include "shell/messages.h"
#include "shell/post_win.h"
#include "shell/state.h"
#include "shell/strings_win.h"

#include <commctrl.h>
#include <cstdio>
#include <cstring>
#include <shlwapi.h>

SelectionList g_selection;
volatile LONG g_confirmEach;
volatile LONG g_clearReadOnly;
char g_progressSource[MAX_PATH];
char g_progressTarget[MAX_PATH];
FtCopyMeter g_copyMeter;

enum {
    kWatchTimer = 1,
    kWatchMs = 250,
    kProgressMs = 100,   // at least this between two paths drawn on the worker's word
    kWorkerEndMs = 5000, // what a worker told to abort may take to end
    kWorkerPollMs = 50,
    kOwedRetryMs = 50,
    kOwedBatch = 256, // stop answers in one queued block
};

// The progress dialog now open (UI thread): the frame's handlers answer only then.
static HWND g_progressDialog;
// The worker thread until it is seen to end, and its id (UI thread). At most one.
static HANDLE g_worker;
static volatile LONG g_workerResult; // FtWorkerDone's, 0 while the worker runs
static DWORD g_workerId;
// The frame's handler has a box up (UI thread): a further question is answered at once.
static int g_questionOpen;
// Stop answers that met a nearly full send queue, sent by a timer (UI thread).
static uint32_t g_owedStops;
static UINT_PTR g_owedTimer;

static void FreeSelection(SelectionList *s)
{
    if (s->items)
        HeapFree(GetProcessHeap(), 0, s->items);
    s->items = NULL;
    s->count = s->room = 0;
}

void FtFreeSelection(void) { FreeSelection(&g_selection); }

int FtBuildSelection(FilePanel *p)
{
    FtFreeSelection();
    for (int i = -1; (i = (int)SendMessageA(p->list, LVM_GETNEXTITEM, (WPARAM)i, LVNI_SELECTED)) >= 0;) {
        LVITEMA it = {};
        it.mask = LVIF_PARAM;
        it.iItem = i;
        const FileItem *f = SendMessageA(p->list, LVM_GETITEMA, 0, (LPARAM)&it) ? (const FileItem *)it.lParam : NULL;
        if (!f || strcmp(f->entry.name, "..") == 0)
            continue;
        if (g_selection.count == g_selection.room) {
            const uint32_t room = FtSelectionRoom(g_selection.room, sizeof(FileItem));
            const SIZE_T size = sizeof(FileItem) * (SIZE_T)room;
            void *grown = !room               ? NULL
                          : g_selection.items ? HeapReAlloc(GetProcessHeap(), 0, g_selection.items, size)
                                              : HeapAlloc(GetProcessHeap(), 0, size);
            if (!grown) {
                WriteLogF("No memory for the list of %u selected items: the operation does not start.",
                          (unsigned)g_selection.count + 1);
                FtFreeSelection();
                return 0;
            }
            g_selection.items = (FileItem *)grown;
            g_selection.room = room;
        }
        g_selection.items[g_selection.count++] = *f;
    }
    return g_selection.count > 0;
}

static UiNotice g_progressNotice;
// Paths not shown yet, and when the worker last raised the notice (its own).
static volatile LONG g_progressChanged;
static ULONGLONG g_progressRaised;

void FtShowProgress(WorkerParams *w, const char *source, const char *target)
{
    EnterCriticalSection(&g_viewer.progressLock);
    snprintf(g_progressSource, sizeof(g_progressSource), "%s", source ? source : "");
    snprintf(g_progressTarget, sizeof(g_progressTarget), "%s", target ? target : "");
    LeaveCriticalSection(&g_viewer.progressLock);
    InterlockedExchange(&g_progressChanged, 1);
    // A run of small files would have the dialog draw each name, which costs more than
    // copying the file (under Wine, X resources are read again for each text drawn):
    // the dialog is told at most every kProgressMs, its timer shows the rest.
    const ULONGLONG now = GetTickCount64();
    if (now - g_progressRaised >= kProgressMs || now < g_progressRaised) {
        g_progressRaised = now;
        UiNoticeRaise(&g_progressNotice, w->dialog, WM_CV_FT_PROGRESS, 0, 0);
    }
}

void FtWorkerDone(WorkerParams *w, int result)
{
    InterlockedExchange(&g_workerResult, result);
    if (!UiPost(w->dialog, WM_CV_FT_DONE, (WPARAM)result, 0))
        WriteLogF("The worker's end could not be posted (error %lu): the dialog's timer sees it.", GetLastError());
}

void FtMeterBegin(uint64_t total, int exact)
{
    EnterCriticalSection(&g_viewer.progressLock);
    FtMeterStart(&g_copyMeter, total, exact, GetTickCount64());
    LeaveCriticalSection(&g_viewer.progressLock);
}

void FtMeterBytes(uint64_t n)
{
    EnterCriticalSection(&g_viewer.progressLock);
    FtMeterAdd(&g_copyMeter, n);
    LeaveCriticalSection(&g_viewer.progressLock);
}

void FtMeterFileDone(void)
{
    EnterCriticalSection(&g_viewer.progressLock);
    g_copyMeter.files++;
    LeaveCriticalSection(&g_viewer.progressLock);
}

// Set beside the worker's AbortEvent and CancelEvent, so that a look once per packet or
// file needs no system call (under Wine a look at an event is a wineserver round trip).
static volatile LONG g_abortRaised, g_cancelRaised;

int FtAbortRaised(void) { return InterlockedCompareExchange(&g_abortRaised, 0, 0) != 0; }

int FtCancelRaised(void) { return InterlockedCompareExchange(&g_cancelRaised, 0, 0) != 0; }

void FtClearRaised(void)
{
    InterlockedExchange(&g_abortRaised, 0);
    InterlockedExchange(&g_cancelRaised, 0);
}

static void RaiseCancel(HANDLE cancelEvent)
{
    InterlockedExchange(&g_cancelRaised, 1);
    SetEvent(cancelEvent);
}

static void RaiseAbort(HANDLE abortEvent)
{
    InterlockedExchange(&g_abortRaised, 1);
    SetEvent(abortEvent);
}

int FtSessionGone(void)
{
    return (g_viewer.stopEvent && WaitForSingleObject(g_viewer.stopEvent, 0) == WAIT_OBJECT_0) ||
           (g_session.sendEndedEvent && WaitForSingleObject(g_session.sendEndedEvent, 0) == WAIT_OBJECT_0);
}

// ---- the worker thread ---------------------------------------------------------------

struct WorkerStart {
    WorkerParams params; // the worker's own: duplicated events, the selection
    FtWorker worker;
};

static void FreeStart(WorkerStart *s)
{
    if (s->params.cancelEvent)
        CloseHandle(s->params.cancelEvent);
    if (s->params.replyEvent)
        CloseHandle(s->params.replyEvent);
    if (s->params.abortEvent)
        CloseHandle(s->params.abortEvent);
    FreeSelection(&s->params.selection);
    HeapFree(GetProcessHeap(), 0, s);
}

static DWORD WINAPI WorkerMain(LPVOID arg)
{
    WorkerStart *s = (WorkerStart *)arg;
    s->worker(&s->params);
    FreeStart(s);
    return 0;
}

static int Duplicate(HANDLE h, HANDLE *out)
{
    *out = NULL;
    return !h || DuplicateHandle(GetCurrentProcess(), h, GetCurrentProcess(), out, 0, FALSE, DUPLICATE_SAME_ACCESS);
}

// ---- the progress dialog --------------------------------------------------------------

struct ProgressRun {
    WorkerParams params; // the dialog's events; the selection until the worker takes it
    FtWorker worker;
    UINT titleSuffix;
    WORD animation;
    int needsReply;
    int cancelled;
    int copy; // template 163: a target path and the figures too
};

static int StartWorker(HWND dlg, ProgressRun *run)
{
    run->params.dialog = dlg;
    run->params.cancelEvent = CreateEventA(NULL, FALSE, FALSE, NULL);
    if (run->needsReply)
        run->params.replyEvent = CreateEventA(NULL, FALSE, FALSE, NULL);
    run->params.abortEvent = CreateEventA(NULL, TRUE, FALSE, NULL);
    FtClearRaised();
    if (!run->params.cancelEvent || !run->params.abortEvent || (run->needsReply && !run->params.replyEvent))
        return 0;
    WorkerStart *s = (WorkerStart *)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(WorkerStart));
    if (!s)
        return 0;
    s->params = run->params;
    s->worker = run->worker;
    if (!Duplicate(run->params.cancelEvent, &s->params.cancelEvent) ||
        !Duplicate(run->params.replyEvent, &s->params.replyEvent) ||
        !Duplicate(run->params.abortEvent, &s->params.abortEvent)) {
        s->params.selection = SelectionList{};
        FreeStart(s);
        return 0;
    }
    run->params.selection = SelectionList{}; // the worker's from here on
    DWORD id = 0;
    InterlockedExchange(&g_workerResult, 0);
    UiNoticeTaken(&g_progressNotice);
    g_progressRaised = 0;
    HANDLE t = CreateThread(NULL, 0, WorkerMain, s, 0, &id);
    if (!t) {
        FreeStart(s);
        return 0;
    }
    g_worker = t;
    g_workerId = id;
    return 1;
}

// A box the worker raised is answered Cancel: its dialog is gone or going, and Cancel
// stops whatever the box asked about.
static BOOL CALLBACK CancelWorkerBox(HWND w, LPARAM)
{
    char name[16];
    if (GetClassNameA(w, name, sizeof(name)) && strcmp(name, "#32770") == 0)
        UiPost(w, WM_COMMAND, IDCANCEL, 0);
    return TRUE;
}

// Waits up to ms for the worker to end; 1 when none is left. Only messages other threads
// send are handled meanwhile (a box the worker opens sends to its owner's thread), so
// nothing posted to this thread's windows runs inside the wait.
static int JoinWorker(DWORD ms)
{
    if (!g_worker)
        return 1;
    const ULONGLONG until = GetTickCount64() + ms;
    for (;;) {
        if (ms)
            EnumThreadWindows(g_workerId, CancelWorkerBox, 0);
        const ULONGLONG now = GetTickCount64();
        const ULONGLONG left = now >= until ? 0 : until - now;
        const DWORD slice = left < kWorkerPollMs ? (DWORD)left : (DWORD)kWorkerPollMs;
        const DWORD r = MsgWaitForMultipleObjects(1, &g_worker, FALSE, slice, QS_SENDMESSAGE);
        if (r == WAIT_OBJECT_0) {
            CloseHandle(g_worker);
            g_worker = NULL;
            return 1;
        }
        if (r == WAIT_OBJECT_0 + 1) {
            MSG m;
            PeekMessageA(&m, NULL, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
            continue;
        }
        if (r == WAIT_FAILED || GetTickCount64() >= until) {
            if (ms)
                WriteLogF("The file-transfer worker has not ended %lu ms after its operation: it is left to end "
                          "by itself, and no copy or delete starts before it has.",
                          (unsigned long)ms);
            return 0;
        }
    }
}

void FtCompactInto(HWND dlg, int id, const char *text)
{
    char path[MAX_PATH];
    snprintf(path, sizeof(path), "%s", text);
    HWND c = GetDlgItem(dlg, id);
    RECT r;
    GetClientRect(c, &r);
    HDC dc = GetDC(c);
    HGDIOBJ old = SelectObject(dc, (HGDIOBJ)SendMessageA(c, WM_GETFONT, 0, 0));
    PathCompactPathA(dc, path, (UINT)r.right);
    SelectObject(dc, old);
    ReleaseDC(c, dc);
    FtSetNameText(dlg, id, path);
}

static void ShowSource(HWND dlg, int copy)
{
    char path[MAX_PATH], target[MAX_PATH];
    EnterCriticalSection(&g_viewer.progressLock);
    snprintf(path, sizeof(path), "%s", g_progressSource);
    snprintf(target, sizeof(target), "%s", g_progressTarget);
    LeaveCriticalSection(&g_viewer.progressLock);
    FtCompactInto(dlg, IDC_FT_PROGRESS_SOURCE, path);
    if (copy)
        FtCompactInto(dlg, IDC_FT_PROGRESS_TARGET, target);
}

static void ByteText(uint64_t n, char *out, UINT cap)
{
    if (!StrFormatByteSize64A((LONGLONG)n, out, cap))
        snprintf(out, cap, "%llu", (unsigned long long)n);
}

// The bar and the line of figures under the paths.
static void ShowFigures(HWND dlg)
{
    EnterCriticalSection(&g_viewer.progressLock);
    const FtCopyMeter m = g_copyMeter;
    LeaveCriticalSection(&g_viewer.progressLock);
    const uint64_t now = GetTickCount64();
    SendDlgItemMessageA(dlg, IDC_FT_PROGRESS_BAR, PBM_SETPOS, FtMeterPermille(&m), 0);
    char done[32], total[32], rate[32], left[16], files[16], tmpl[128], line[256];
    ByteText(m.done, done, sizeof(done));
    ByteText(m.total, total, sizeof(total));
    const uint64_t perSecond = FtMeterRate(&m, now);
    if (perSecond)
        ByteText(perSecond, rate, sizeof(rate));
    else
        snprintf(rate, sizeof(rate), "-");
    FtDurationText(FtMeterSecondsLeft(&m, now), left, sizeof(left));
    if (!left[0])
        snprintf(left, sizeof(left), "-");
    snprintf(files, sizeof(files), "%u", (unsigned)m.files);
    const char *exact[] = {done, total, rate, left};
    const char *open[] = {done, files, rate};
    LoadLangString(m.exact ? IDS_FT_COPY_LINE : IDS_FT_COPY_LINE_OPEN, tmpl, sizeof(tmpl));
    FtFillTemplate(tmpl, m.exact ? exact : open, m.exact ? 4 : 3, line, sizeof(line));
    SetLangItemText(dlg, IDC_FT_PROGRESS_LINE, line);
}

static void Cancel(HWND dlg, ProgressRun *run)
{
    EnableWindow(GetDlgItem(dlg, IDCANCEL), FALSE);
    run->cancelled = 1;
    RaiseCancel(run->params.cancelEvent);
}

static INT_PTR CALLBACK ProgressProc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp)
{
    ProgressRun *run = (ProgressRun *)GetWindowLongPtrW(dlg, DWLP_USER);
    switch (msg) {
    case WM_INITDIALOG:
        SetWindowLongPtrW(dlg, DWLP_USER, lp);
        run = (ProgressRun *)lp;
        g_ft.activeDialog = g_progressDialog = dlg;
        FtAppendTitle(dlg, run->titleSuffix);
        SendDlgItemMessageA(dlg, IDC_FT_REQUEST_ANIM, ACM_OPENA, (WPARAM)g_viewer.instance,
                            (LPARAM)MAKEINTRESOURCEA(run->animation));
        SendDlgItemMessageA(dlg, IDC_FT_REQUEST_ANIM, ACM_PLAY, (WPARAM)-1, MAKELPARAM(0, -1));
        if (run->copy)
            SendDlgItemMessageA(dlg, IDC_FT_PROGRESS_BAR, PBM_SETRANGE32, 0, 1000);
        if (!StartWorker(dlg, run)) {
            WriteLogF("The file-transfer worker cannot start (error %lu).", GetLastError());
            EndDialog(dlg, 2);
            return TRUE;
        }
        // The session's end stops the worker too.
        SetTimer(dlg, kWatchTimer, kWatchMs, NULL);
        return TRUE;
    case WM_COMMAND:
        if (run && LOWORD(wp) == IDCANCEL && !run->cancelled)
            Cancel(dlg, run);
        return TRUE;
    case WM_TIMER:
        if (run && !run->cancelled &&
            (WaitForSingleObject(g_viewer.stopEvent, 0) == WAIT_OBJECT_0 || !IsWindow(g_viewer.mainWindow)))
            Cancel(dlg, run);
        if (run && InterlockedExchange(&g_progressChanged, 0))
            ShowSource(dlg, run->copy);
        if (run && run->copy)
            ShowFigures(dlg);
        if (run && InterlockedCompareExchange(&g_workerResult, 0, 0))
            EndDialog(dlg, g_workerResult == 1 ? 1 : 2);
        return TRUE;
    case WM_CV_FT_PROGRESS:
        UiNoticeTaken(&g_progressNotice);
        InterlockedExchange(&g_progressChanged, 0);
        ShowSource(dlg, run && run->copy);
        return TRUE;
    case WM_CV_FT_CONTINUE:
        if (run && run->params.replyEvent)
            SetEvent(run->params.replyEvent);
        return TRUE;
    case WM_CV_FT_DONE:
        EndDialog(dlg, wp == 1 ? 1 : 2);
        return TRUE;
    case WM_DESTROY:
        KillTimer(dlg, kWatchTimer);
        SendDlgItemMessageA(dlg, IDC_FT_REQUEST_ANIM, ACM_STOP, 0, 0);
        if (run) {
            if (run->params.cancelEvent)
                RaiseCancel(run->params.cancelEvent); // torn down early: the worker stops too
            if (run->params.abortEvent)
                RaiseAbort(run->params.abortEvent);
            if (run->params.cancelEvent)
                CloseHandle(run->params.cancelEvent);
            if (run->params.replyEvent)
                CloseHandle(run->params.replyEvent);
            if (run->params.abortEvent)
                CloseHandle(run->params.abortEvent);
            run->params.cancelEvent = run->params.replyEvent = run->params.abortEvent = NULL;
        }
        g_ft.activeDialog = g_progressDialog = NULL;
        return TRUE;
    }
    return FALSE;
}

// A second worker would share SyncReplyBuffer, SyncReplyEvent and the stream contexts
// with the first, and could take its packets.
static int MayStart(HWND owner)
{
    if (JoinWorker(0) && !InterlockedCompareExchange(&g_syncReply.open, 0, 0))
        return 1;
    WriteLogF("A copy or delete does not start: the worker of the one before has not ended yet.");
    char text[512];
    LoadLangString(IDS_FT_STILL_ENDING, text, sizeof(text));
    FtMessageBox(owner, IDS_FT_STILL_ENDING_TITLE, 0, text, MB_OK | MB_ICONEXCLAMATION);
    return 0;
}

int FtRunProgress(HWND owner, WORD templateId, WORD animation, UINT titleSuffix, int panel, int needsReply,
                  FtWorker worker)
{
    if (!MayStart(owner)) {
        FtFreeSelection();
        return 2;
    }
    ProgressRun run = {};
    run.params.panel = panel;
    snprintf(run.params.folder, sizeof(run.params.folder), "%s", g_ft.panels[panel].currentDirectory);
    snprintf(run.params.target, sizeof(run.params.target), "%s", g_ft.panels[1 - panel].currentDirectory);
    run.copy = templateId == IDD_FT_COPY_PROGRESS;
    run.params.selection = g_selection;
    g_selection = SelectionList{};
    run.worker = worker;
    run.titleSuffix = titleSuffix;
    run.animation = animation;
    run.needsReply = needsReply;
    const INT_PTR r =
        DialogBoxParamW(g_viewer.activeLanguage, MAKEINTRESOURCEW(templateId), owner, ProgressProc, (LPARAM)&run);
    // Ended by the worker's WM_CV_FT_DONE it is about to return; torn down early (the
    // frame closed) its abort event is set and it stops at once.
    JoinWorker(kWorkerEndMs);
    FreeSelection(&run.params.selection); // still ours when the worker never started
    return r == 1 ? 1 : 2;
}

void EndFileTransferWorker(void)
{
    if (!g_worker)
        return;
    if (g_progressDialog) {
        ProgressRun *run = (ProgressRun *)GetWindowLongPtrW(g_progressDialog, DWLP_USER);
        if (run && run->params.abortEvent)
            RaiseAbort(run->params.abortEvent);
        if (run && !run->cancelled)
            Cancel(g_progressDialog, run);
    }
    JoinWorker(kWorkerEndMs);
}

// ---- the questions about one item: protected (153) and existing (166) ------------------

struct QuestionArgs {
    const char *path;
    uint32_t attributes;
    int existing; // dialog 166
};

static INT_PTR CALLBACK QuestionProc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_INITDIALOG: {
        const QuestionArgs *a = (const QuestionArgs *)lp;
        if (a->existing)
            FtCompactInto(dlg, IDC_FT_PROGRESS_SOURCE, a->path);
        else
            FtSetNameText(dlg, IDC_FT_NAME, a->path);
        if (a->existing && !(a->attributes & (kFtAttrReadOnly | kFtAttrHidden | kFtAttrSystem))) {
            SetDlgItemTextA(dlg, IDC_FT_EXISTS_NOTE, "");
            return TRUE;
        }
        char ro[64], hidden[64], system[64], names[200];
        LoadLangString(IDS_FT_READ_ONLY, ro, sizeof(ro));
        LoadLangString(IDS_FT_HIDDEN, hidden, sizeof(hidden));
        LoadLangString(IDS_FT_SYSTEM, system, sizeof(system));
        FtAttributeNames(a->attributes, ro, hidden, system, names, sizeof(names));
        SetLangItemText(dlg, IDC_FT_ATTRIBUTE_NAMES, names);
        return TRUE;
    }
    case WM_COMMAND:
        if (LOWORD(wp) == IDYES || LOWORD(wp) == IDC_FT_YES_TO_ALL || LOWORD(wp) == IDCANCEL) {
            EndDialog(dlg, LOWORD(wp));
            return TRUE;
        }
        return FALSE;
    }
    return FALSE;
}

static INT_PTR Ask(HWND owner, const char *path, uint32_t attributes, int existing)
{
    QuestionArgs a = {path, attributes, existing};
    const INT_PTR r =
        DialogBoxParamW(g_viewer.activeLanguage, MAKEINTRESOURCEW(existing ? IDD_FT_EXISTS : IDD_FT_PROTECTED), owner,
                        QuestionProc, (LPARAM)&a);
    return r == IDYES || r == IDC_FT_YES_TO_ALL ? r : IDCANCEL;
}

INT_PTR FtAskProtected(HWND owner, const char *path, uint32_t attributes) { return Ask(owner, path, attributes, 0); }

INT_PTR FtAskExisting(HWND owner, const char *path, uint32_t attributes) { return Ask(owner, path, attributes, 1); }

// ---- the selection sentence of the confirmations ---------------------------------------

int FtShowSelectionSentence(HWND dlg, const SelectionList *s)
{
    uint32_t folders = 0, files = 0;
    for (uint32_t i = 0; i < s->count; i++)
        (s->items[i].entry.directory ? folders : files)++;
    char pieces[6][160], sentence[kFtPathField + 400];
    static const UINT kIds[6] = {IDS_FT_ONE_FILE, IDS_FT_ONE_FOLDER, IDS_FT_FOLDERS,
                                 IDS_FT_FILES,    IDS_FT_ITEMS,      IDS_FT_FOLDER_TREE};
    for (int i = 0; i < 6; i++)
        LoadLangString(kIds[i], pieces[i], sizeof(pieces[i]));
    const FtSentencePieces t = {pieces[0], pieces[1], pieces[2], pieces[3], pieces[4], pieces[5]};
    if (!FtSelectionSentence(folders, files, s->count ? s->items[0].entry.name : "", &t, sentence, sizeof(sentence)))
        return 0;
    SetLangItemText(dlg, IDC_FT_SENTENCE, sentence);
    return 1;
}

// ---- the frame's handlers --------------------------------------------------------------

static void FlushOwedStops(void);

static void CALLBACK OwedTimer(HWND, UINT, UINT_PTR, DWORD) { FlushOwedStops(); }

// Sends the owed stop answers, many to one queue slot, while the queue has room; the
// UI thread may not wait for room, and a full queue would end the session. The rest
// wait for the timer.
static void FlushOwedStops(void)
{
    static uint8_t block[kOwedBatch * (sizeof(SessPacketHeader) + 20)];
    while (g_owedStops) {
        const uint32_t n = g_owedStops < kOwedBatch ? g_owedStops : (uint32_t)kOwedBatch;
        size_t used = 0, one = 0;
        for (uint32_t i = 0; i < n; i++) {
            one = BuildFtAnswer(FT_ANSWER_NO, block + used, sizeof(block) - used);
            if (!one)
                break;
            used += one;
        }
        const int r = used ? EnqueueDroppable(block, (DWORD)used) : 0;
        if (r == kQueueDropped)
            break;
        if (r != kQueued) {
            WriteLogF("%u stop answers to the Agent's questions cannot be sent: the session has ended.",
                      (unsigned)g_owedStops);
            g_owedStops = 0;
            break;
        }
        g_owedStops -= n;
    }
    if (g_owedStops && !g_owedTimer)
        g_owedTimer = SetTimer(NULL, 0, kOwedRetryMs, OwedTimer);
    if (!g_owedStops && g_owedTimer) {
        KillTimer(NULL, g_owedTimer);
        g_owedTimer = 0;
    }
}

// A question nobody is asked: answered with stop, so the Agent does not wait for it.
static void AnswerStop(void)
{
    g_owedStops++;
    FlushOwedStops();
}

// 1 when the question may open a box; otherwise it is answered with stop here.
static int MayAsk(const char *name)
{
    if (!g_progressDialog) {
        WriteLogF("%s with no operation open: answered with stop.", name);
        AnswerStop();
        return 0;
    }
    if (g_questionOpen) {
        // A box's own message loop brings the next question here: one box at a time.
        WriteLogF("%s while another question is open: answered with stop.", name);
        AnswerStop();
        return 0;
    }
    return 1;
}

static void Answer(int kind)
{
    uint8_t packet[sizeof(SessPacketHeader) + 20];
    const size_t n = BuildFtAnswer(kind, packet, sizeof(packet));
    int outOfMemory = 0;
    if (!n || !EnqueuePacket(packet, (DWORD)n, &outOfMemory)) {
        WriteLogF("The answer to the Agent's question cannot be sent: the operation stops.");
        if (g_progressDialog)
            PostMessageA(g_progressDialog, WM_COMMAND, IDCANCEL, 0);
    }
}

static void OnQuestion(const SessPacketHeader *h, const uint8_t *payload, const char *name,
                       INT_PTR (*ask)(HWND, const char *, uint32_t))
{
    if (!MayAsk(name))
        return;
    FtQuestion q;
    const char *why = NULL;
    if (!ParseFtQuestion(h, payload, &q, &why)) {
        WriteLogF("%s of %u bytes refused: %s; answered with stop.", name, (unsigned)h->dwDataLen,
                  why ? why : "malformed");
        AnswerStop();
        return;
    }
    g_questionOpen = 1;
    const INT_PTR r = ask(g_progressDialog, q.path, q.attributes);
    g_questionOpen = 0;
    Answer(r == IDYES ? FT_ANSWER_YES : r == IDC_FT_YES_TO_ALL ? FT_ANSWER_YES_TO_ALL : FT_ANSWER_NO);
}

void FtOnQuestionPacket(const SessPacketHeader *h, const uint8_t *payload)
{
    OnQuestion(h, payload, "PKT_FT_CONFIRM_DELETE", FtAskProtected);
}

void FtOnOverwritePacket(const SessPacketHeader *h, const uint8_t *payload)
{
    OnQuestion(h, payload, "PKT_FT_CONFIRM_OVERWRITE", FtAskExisting);
}

void FtOnErrorPacket(const SessPacketHeader *h, const uint8_t *payload)
{
    static const struct {
        UINT caption, suffix;
        int pathShown, cancels;
    } kKinds[kFtErrorKinds] = {
        {IDS_FT_CANNOT_SET_ATTRIBUTES, IDS_FT_REMOTE_SUFFIX, 1, 0},
        {IDS_FT_CANNOT_DELETE, IDS_FT_REMOTE_SUFFIX, 1, 0},
        {IDS_FT_CANNOT_READ_ENTRY, IDS_FT_REMOTE_SUFFIX, 0, 0},
        {IDS_FT_CANNOT_CREATE_FILE, IDS_FT_UPLOAD, 1, 0},
        {IDS_FT_CANNOT_WRITE_FILE, IDS_FT_REMOTE_SUFFIX, 1, 0},
        {IDS_FT_CANNOT_CREATE_FOLDER, IDS_FT_REMOTE_SUFFIX, 1, 0},
        {IDS_FT_CANNOT_OPEN_FILE, IDS_FT_REMOTE_SUFFIX, 1, 1},
        {IDS_FT_CANNOT_READ_FILE, IDS_FT_REMOTE_SUFFIX, 1, 1},
    };
    if (!MayAsk("PKT_FT_ERROR"))
        return;
    FtError e;
    const char *why = NULL;
    if (!ParseFtError(h, payload, &e, &why)) {
        WriteLogF("PKT_FT_ERROR of %u bytes refused: %s; answered with stop.", (unsigned)h->dwDataLen,
                  why ? why : "malformed");
        AnswerStop();
        return;
    }
    if (why)
        WriteLogF("PKT_FT_ERROR: %s.", why);
    char text[kFtPathField + kFtTextMax + 4];
    if (kKinds[e.kind].pathShown)
        snprintf(text, sizeof(text), "%s\n%s", e.path, e.text);
    else
        snprintf(text, sizeof(text), "%s", e.text);
    const HWND dlg = g_progressDialog;
    g_questionOpen = 1;
    const int retry = FtMessageBox(dlg, kKinds[e.kind].caption, kKinds[e.kind].suffix, text,
                                   MB_RETRYCANCEL | MB_ICONQUESTION) == IDRETRY;
    g_questionOpen = 0;
    Answer(retry ? FT_ANSWER_YES : FT_ANSWER_NO);
    if (!retry && kKinds[e.kind].cancels && g_progressDialog)
        PostMessageA(g_progressDialog, WM_COMMAND, IDCANCEL, 0);
}

void FtOnAckPacket(const SessPacketHeader *h, const uint8_t *payload)
{
    if (!g_progressDialog) {
        WriteLogF("File-transfer packet type %u with no operation open: dropped.", (unsigned)h->dwType);
        return;
    }
    FtAck a;
    const char *why = NULL;
    if (!ParseFtAck(h, payload, &a, &why)) {
        // Waiting on for an acknowledgement that cannot be read would never end.
        WriteLogF("PKT_FT_ACK of %u bytes refused: %s; the operation stops.", (unsigned)h->dwDataLen,
                  why ? why : "malformed");
        PostMessageA(g_progressDialog, WM_COMMAND, IDCANCEL, 0);
        return;
    }
    if (a.goOn) {
        PostMessageA(g_progressDialog, WM_CV_FT_CONTINUE, 0, 0);
        return;
    }
    // The Agent has stopped. The cancel goes first, so a worker waiting for the item's end
    // (a download waits on past a cancel until then) sees both and stops.
    PostMessageA(g_progressDialog, WM_COMMAND, IDCANCEL, 0);
    PostMessageA(g_progressDialog, WM_CV_FT_CONTINUE, 0, 0);
}

// A download outside the two panels (remote files given to another program).
int FtDownloadInto(HWND owner, SelectionList *items, const char *remote, const char *target)
{
    if (!MayStart(owner)) {
        FreeSelection(items);
        return 2;
    }
    ProgressRun run = {};
    run.params.panel = kFtRemote;
    snprintf(run.params.folder, sizeof(run.params.folder), "%s", remote);
    snprintf(run.params.target, sizeof(run.params.target), "%s", target);
    run.copy = 1;
    run.params.selection = *items;
    *items = SelectionList{};
    run.worker = FtDownloadWorker;
    run.titleSuffix = IDS_FT_DOWNLOAD;
    run.animation = IDA_COPY;
    run.needsReply = 1;
    const INT_PTR r = DialogBoxParamW(g_viewer.activeLanguage, MAKEINTRESOURCEW(IDD_FT_COPY_PROGRESS), owner,
                                      ProgressProc, (LPARAM)&run);
    JoinWorker(kWorkerEndMs);
    FreeSelection(&run.params.selection);
    WriteLogF("Download into %s: %s.", target, r == 1 ? "every item arrived" : "stopped");
    return r == 1 ? 1 : 2;
}

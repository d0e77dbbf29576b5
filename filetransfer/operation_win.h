// What the delete and copy operations share: the selection they work on, the worker's
// parameters, the progress dialog and the answers to the Agent's questions.
#pragma once
#include <windows.h>

#include "filetransfer/copymeter.h"
#include "filetransfer/state_win.h"

// Copies of the selected items' records (".." left out), in list order: the worker
// reads them while the panels may be cleared (the session ending closes the window).
struct SelectionList {
    FileItem *items;
    uint32_t count;
    uint32_t room; // places allocated
};

struct WorkerParams {
    HANDLE cancelEvent;    // auto-reset; set by the dialog's Cancel
    HANDLE replyEvent;     // auto-reset; NULL for a local delete
    HANDLE abortEvent;     // manual reset; set when the dialog goes away: stop at once,
                           // keep nothing half-written
    HWND dialog;           // the progress dialog
    int panel;             // the panel worked on (delete) or the source (copy)
    char folder[MAX_PATH]; // that panel's current directory when the operation began
    char target[MAX_PATH]; // the other panel's (a copy's destination)
    SelectionList selection;
};

// A worker gets its own copy of the parameters (the events duplicated, the selection
// handed over) and frees it at its end, so a dialog torn down early leaves it nothing
// dangling. It ends with FtWorkerDone.
typedef void (*FtWorker)(WorkerParams *w);

extern SelectionList g_selection;
extern volatile LONG g_confirmEach;     // ConfirmEach
extern char g_progressSource[MAX_PATH]; // ProgressSource, under g_viewer.progressLock
extern char g_progressTarget[MAX_PATH]; // ProgressTarget
extern FtCopyMeter g_copyMeter;         // a copy's figures, under g_viewer.progressLock
extern volatile LONG g_clearReadOnly;   // ClearReadOnly: the copy option, kept for the process

// Fills g_selection from the panel; 0 (nothing kept) when memory runs out or nothing
// is selected.
int FtBuildSelection(FilePanel *p);
void FtFreeSelection(void);

// Runs progress dialog templateId owned by owner over g_selection (which it takes:
// g_selection is empty afterwards) for panel; the worker runs on its own thread, and
// the dialog's end waits for it (a dialog torn down early aborts it). Refused with a
// box while an earlier worker has not ended or a download holds SyncReplyBuffer.
// Returns 1 when it finished, 2 when it stopped or did not start. UI thread.
int FtRunProgress(HWND owner, WORD templateId, WORD animation, UINT titleSuffix, int panel, int needsReply,
                  FtWorker worker);

// Worker side: the dialog has gone and AbortEvent is set (a flag, read without a system call).
int FtAbortRaised(void);
// Worker side: Cancel was pressed (CancelEvent, which a worker's wait may have taken, is set too).
int FtCancelRaised(void);
// Before a worker starts: the flags of the one before are let go.
void FtClearRaised(void);
// Worker side: the path in ProgressSource (and ProgressTarget, or NULL) for the dialog.
void FtShowProgress(WorkerParams *w, const char *source, const char *target);
// The worker's last word (1 done, 2 stopped): kept where the dialog's timer looks too,
// then posted as WM_CV_FT_DONE, so a refused post cannot leave the dialog up.
void FtWorkerDone(WorkerParams *w, int result);
// Worker side of the copy's figures: the start (total bytes, exact or still growing),
// bytes copied, a file finished.
void FtMeterBegin(uint64_t total, int exact);
void FtMeterBytes(uint64_t n);
void FtMeterFileDone(void);

// The session can carry no more packets (ended, or the viewer is closing).
int FtSessionGone(void);

// A path shortened with an ellipsis to fit control id of dlg.
void FtCompactInto(HWND dlg, int id, const char *text);

// The selection sentence of a confirmation into its control 1059; 0 when nothing is
// selected (the dialog closes at once).
int FtShowSelectionSentence(HWND dlg, const SelectionList *s);

// Dialog 153 for a protected item: IDYES, IDC_FT_YES_TO_ALL or IDCANCEL. Any thread.
INT_PTR FtAskProtected(HWND owner, const char *path, uint32_t attributes);

// Dialog 166 for a file a copy would replace: IDYES, IDC_FT_YES_TO_ALL or IDCANCEL. Any
// thread.
INT_PTR FtAskExisting(HWND owner, const char *path, uint32_t attributes);

// The frame's handlers of PKT_FT_CONFIRM_DELETE, PKT_FT_CONFIRM_OVERWRITE, PKT_FT_ERROR
// and PKT_FT_ACK.
void FtOnQuestionPacket(const SessPacketHeader *h, const uint8_t *payload);
void FtOnOverwritePacket(const SessPacketHeader *h, const uint8_t *payload);
void FtOnErrorPacket(const SessPacketHeader *h, const uint8_t *payload);
void FtOnAckPacket(const SessPacketHeader *h, const uint8_t *payload);

// delete_win.cpp: the delete command (confirmation 154, the operation, the refresh).
void FtDeleteSelection(void);
// copy_win.cpp: the copy command from panel source to the other (confirmation 161, the
// operation, the refresh of the destination).
void FtCopySelection(int source);
// upload_win.cpp, download_win.cpp: the workers of progress dialog 163.
void FtUploadWorker(WorkerParams *w);
void FtDownloadWorker(WorkerParams *w);

// Downloads items (records of remote folder remote; taken, freed at the end) into the
// local folder target under progress dialog 163, with the copy's rules but without its
// confirmation or a refresh. Returns when it ended: 1 when every item arrived, 2 when it
// stopped, failed or did not start. UI thread.
int FtDownloadInto(HWND owner, SelectionList *items, const char *remote, const char *target);

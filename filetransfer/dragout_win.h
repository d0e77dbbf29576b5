// Remote items given to other programs as files: dragged out of the remote panel or put on
// the clipboard with Ctrl+C. Nothing is downloaded until a target asks for the files; then
// they come into a temporary folder of their own under %TEMP%, under the usual progress
// dialog. UI thread.
#pragma once
#include <windows.h>

#include "filetransfer/state_win.h"

// dropsource_win.cpp: the OLE drag of the remote panel's selection, the drag image already
// begun by drag_win.cpp. A release over the viewer's own window ends it as today's drag
// between the panels does: 1 with *own set and the point in *at; 1 also when it could not
// be had (told where). 0 when nothing is to be dragged out, for the drag between the panels.
int FtDragOut(FilePanel *p, int *own, POINT *at);
// drag_win.cpp: the drag out's picture and cursor at screen point, as between the panels
// while it is over the file-transfer window (1), the target's elsewhere (0); keep 0 ends
// the picture for good.
int FtDragFeedback(POINT screen, int keep);
// Ctrl+C on the remote list (command 40071): the selection on the clipboard.
void FtCopyToClipboard(void);
// The clipboard holds remote items this viewer put there: a paste into the remote panel
// would only download them to upload them again.
int FtClipboardHoldsOwnItems(void);

// dataobject_win.cpp: the temporary folders. At start-up those that ended viewers left;
// at exit the clipboard is let go (nothing is downloaded then) and this viewer's go.
void FtOutboxAtStart(void);
void FtOutboxAtExit(void);

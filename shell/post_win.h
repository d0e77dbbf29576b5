// Posting to the windows of the user-interface thread within Windows' quota of posted
// messages per thread (10,000 by default). Every post from another thread goes through
// UiPost; what the Agent may send without bound travels as a notice, posted once until
// the UI thread takes it, its facts kept beside it (latest wins).
#pragma once
#include <windows.h>

// UI thread, before the first window: installs the hook that sees each message taken
// from the queue, and reads the test limit CORVID_TEST_POST_LIMIT (0 or absent: none).
int UiPostInit(void);
void UiPostEnd(void);

// PostMessageA, counted until the UI thread takes the message (private messages
// WM_USER..WM_USER+511). Under the test limit it fails as Windows does past the quota.
int UiPost(HWND wnd, UINT msg, WPARAM wp, LPARAM lp);

// Posts now outstanding, and the most ever outstanding at once.
LONG UiPostsOutstanding(void);
LONG UiPostsPeak(void);

struct UiNotice {
    volatile LONG posted; // a message is on its way and not yet taken
};

// Posts msg unless the notice is outstanding already. Returns 0 only when the post
// failed; the notice can be raised again then.
int UiNoticeRaise(UiNotice *n, HWND wnd, UINT msg, WPARAM wp, LPARAM lp);
// UiNoticeRaise to wnd with no parameters, logging a failed post: the next raise of
// the same notice announces the facts again.
void UiNoticeAnnounce(UiNotice *n, HWND wnd, UINT msg);
// UI thread, first in the message's handler, before the facts are read.
void UiNoticeTaken(UiNotice *n);

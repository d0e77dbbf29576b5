// The download worker fed by hand through the receive dispatch, its requests and answers
// read back from the send queue (no SendThread): a dialog that goes away ends it at once
// with no temporary left and no packet taken further, and an event closed under it by
// teardown ends it instead of spinning.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "filetransfer/filestream.h"
#include "filetransfer/operation_win.h"
#include "lang/stringids.h"
#include "session/agentkey.h"
#include "session/envelope.h"
#include "session/receive_win.h"
#include "session/sendqueue_win.h"
#include "session/state_win.h"
#include "session/transport_win.h"
#include "shell/messages.h"
#include "tests/wine/viewer_fixture.h"

namespace {

struct FtDownload : ::testing::Test {
    HWND dialog = NULL;
    WorkerParams w = {};
    FileItem item = {};
    HANDLE thread = NULL;
    char folder[MAX_PATH];
    std::vector<uint8_t> data;
    FtFileSender tx = {};
    FtFileBegin meta = {};

    void SetUp() override
    {
        PrepareTestViewer();
        ASSERT_TRUE(EnvelopeLoadKeyPem(kAgentKeyPem, kAgentKeyPemLen));
        EnvelopeSeed(NULL, 0);
        g_viewer.stopEvent = CreateEventA(NULL, TRUE, FALSE, NULL);
        ASSERT_TRUE(NetCreateEvents());
        SendQueueCreateLock();
        SendQueueReset();
        g_session.syncReplyEvent = CreateEventA(NULL, FALSE, FALSE, NULL);
        dialog = CreateWindowA("STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL, NULL, NULL);
        TestFilePath(folder, sizeof(folder), "ftdownload");
        CreateDirectoryA(folder, NULL);
        char left[MAX_PATH];
        snprintf(left, sizeof(left), "%s\\f.bin", folder);
        DeleteFileA(left); // a failed run's, which would bring the existing-file question
        w.cancelEvent = CreateEventA(NULL, FALSE, FALSE, NULL);
        w.replyEvent = CreateEventA(NULL, FALSE, FALSE, NULL);
        w.abortEvent = CreateEventA(NULL, TRUE, FALSE, NULL);
        w.dialog = dialog;
        strcpy(w.folder, "C:\\");
        strcpy(w.target, folder);
        strcpy(item.entry.name, "f.bin");
        item.entry.size = 30000;
        w.selection.items = &item;
        w.selection.count = 1;
        data.resize(30000);
        for (size_t i = 0; i < data.size(); i++)
            data[i] = (uint8_t)(i * 7);
        strcpy(meta.path, "f.bin");
        FtClearRaised(); // as the progress dialog does before its worker starts
        thread = CreateThread(
            NULL, 0,
            [](LPVOID p) -> DWORD {
                FtDownloadWorker((WorkerParams *)p);
                return 0;
            },
            &w, 0, NULL);
        ASSERT_TRUE(Queued(1)) << "no PKT_FT_DOWNLOAD";
    }
    void TearDown() override
    {
        SetEvent(g_viewer.stopEvent);
        if (WaitForSingleObject(thread, 3000) != WAIT_OBJECT_0)
            TerminateThread(thread, 1); // a worker that never ends: the test has failed already
        CloseHandle(thread);
        for (HANDLE h : {w.cancelEvent, w.replyEvent, w.abortEvent, g_viewer.stopEvent})
            CloseHandle(h);
        if (g_session.syncReplyEvent)
            CloseHandle(g_session.syncReplyEvent);
        g_session.syncReplyEvent = g_viewer.stopEvent = NULL;
        NetCloseEvents();
        SendQueueDestroy();
        DestroyWindow(dialog);
    }
    // Waits until n packets are in the send queue, taking the messages a box of the worker
    // sends to its owner, a window of this thread.
    bool Queued(int n)
    {
        MSG m;
        for (int i = 0; i < 300; i++) {
            PeekMessageA(&m, NULL, 0, 0, PM_NOREMOVE);
            EnterCriticalSection(&g_session.sendQueueLock);
            const int at = g_session.sendQueue.writeIndex;
            LeaveCriticalSection(&g_session.sendQueueLock);
            if (at >= n)
                return at == n;
            Sleep(10);
        }
        return false;
    }
    uint32_t Word(int slot, size_t offset)
    {
        uint32_t v;
        memcpy(&v, g_session.sendQueue.slots[slot].buffer + offset, 4);
        return v;
    }
    // damage: the last byte of the padding block is flipped, so the chunk does not open.
    void FeedNext(bool damage = false)
    {
        static uint8_t packet[kFtFilePacketMax];
        const size_t from = (size_t)tx.plainBytes, n = data.size() - from < 24576 ? data.size() - from : 24576;
        int last = 0;
        const size_t len = FtSealFilePacket(&tx, &meta, data.data() + from, n, packet, sizeof(packet), &last);
        ASSERT_GT(len, 0u);
        if (damage)
            packet[len - 1] ^= 0x5A;
        SessPacketHeader h;
        memcpy(&h, packet, sizeof(h));
        ASSERT_EQ(DispatchPacket(&h, packet + sizeof(h)), 1);
    }
    // The worker's WM_CV_FT_DONE, or -1 when none came within ms.
    int Done(DWORD ms)
    {
        const DWORD end = GetTickCount() + ms;
        MSG m;
        do {
            if (PeekMessageA(&m, dialog, WM_CV_FT_DONE, WM_CV_FT_DONE, PM_REMOVE))
                return (int)m.wParam;
            Sleep(10);
        } while (GetTickCount() < end);
        return -1;
    }
    int Temporaries()
    {
        char pattern[MAX_PATH];
        snprintf(pattern, sizeof(pattern), "%s\\~corvid*.part", folder);
        WIN32_FIND_DATAA fd;
        HANDLE h = FindFirstFileA(pattern, &fd);
        if (h == INVALID_HANDLE_VALUE)
            return 0;
        int n = 0;
        do
            n++;
        while (FindNextFileA(h, &fd));
        FindClose(h);
        return n;
    }
};

TEST_F(FtDownload, AGoneDialogEndsItAtOnceAndKeepsNothing)
{
    FeedNext();
    ASSERT_TRUE(Queued(2));
    EXPECT_EQ(Word(1, 0), (uint32_t)PKT_FT_ANSWER);
    EXPECT_EQ(Word(1, 12 + 16), 0u) << "the first chunk was answered stop";
    EXPECT_EQ(Temporaries(), 1);
    SetEvent(w.abortEvent);
    FeedNext(); // the last chunk, arriving as the dialog goes
    EXPECT_EQ(Done(2000), 2);
    EXPECT_EQ(Temporaries(), 0);
    // Either the worker had ended (nothing answered) or it answered stop.
    Queued(3);
    EnterCriticalSection(&g_session.sendQueueLock);
    const int at = g_session.sendQueue.writeIndex;
    LeaveCriticalSection(&g_session.sendQueueLock);
    ASSERT_LE(at, 3);
    if (at == 3) {
        EXPECT_EQ(Word(2, 12 + 16), 1u);
    }
    char path[MAX_PATH];
    snprintf(path, sizeof(path), "%s\\f.bin", folder);
    EXPECT_EQ(GetFileAttributesA(path), INVALID_FILE_ATTRIBUTES) << "the file was put in place";
}

// A box of the worker's thread: its caption, and Cancel (or press) pressed on it.
struct Box {
    DWORD thread;
    WCHAR caption[256];
    WPARAM press;
};

BOOL CALLBACK CancelBox(HWND w, LPARAM lp)
{
    char name[16];
    if (!GetClassNameA(w, name, sizeof(name)) || strcmp(name, "#32770") != 0 || !IsWindowVisible(w))
        return TRUE;
    Box *b = (Box *)lp;
    GetWindowTextW(w, b->caption, 256);
    PostMessageA(w, WM_COMMAND, b->press ? b->press : IDCANCEL, 0);
    return FALSE;
}

TEST_F(FtDownload, ItsFailurePromptsCarryTheBareCaption)
{
    char path[MAX_PATH];
    snprintf(path, sizeof(path), "%s\\f.bin", folder);
    ASSERT_TRUE(CreateDirectoryA(path, NULL) || GetLastError() == ERROR_ALREADY_EXISTS);
    FeedNext(); // a file where a folder stands: it cannot be created
    Box box = {GetThreadId(thread), {}};
    MSG m;
    for (int i = 0; i < 300 && EnumThreadWindows(box.thread, CancelBox, (LPARAM)&box); i++) {
        PeekMessageA(&m, NULL, 0, 0, PM_NOREMOVE); // the box disables its owner, a window of this thread
        Sleep(10);
    }
    WCHAR want[256] = {};
    LoadStringW(g_viewer.languageLibs[0], IDS_FT_CANNOT_CREATE_FILE, want, 256);
    EXPECT_STREQ(box.caption, want);
    EXPECT_EQ(Done(3000), 2);
    RemoveDirectoryA(path);
}

// A whole file is answered as soon as it has been created; when it then fails, the
// packet that follows hears stop, and an end of the item instead frees the worker at once.
TEST_F(FtDownload, AWholeFileFailingAfterItsAnswerStopsAtTheNextPacket)
{
    for (const bool nextIsAFile : {true, false}) {
        SCOPED_TRACE(nextIsAFile ? "a next file" : "the item's end");
        if (!nextIsAFile) { // a second worker for the second ending
            TearDown();
            SetUp();
        }
        item.entry.size = 1000;
        data.resize(1000);
        tx = FtFileSender{};
        FeedNext(true);
        ASSERT_TRUE(Queued(2));
        EXPECT_EQ(Word(1, 12 + 16), 0u) << "not answered before it was opened";
        Box box = {GetThreadId(thread), {}, IDOK};
        MSG m;
        for (int i = 0; i < 300 && !box.caption[0]; i++) {
            EnumThreadWindows(box.thread, CancelBox, (LPARAM)&box); // none at all is FALSE too
            PeekMessageA(&m, NULL, 0, 0, PM_NOREMOVE);
            Sleep(10);
        }
        if (nextIsAFile) {
            tx = FtFileSender{};
            FeedNext();
            ASSERT_TRUE(Queued(3));
            EXPECT_EQ(Word(2, 12 + 16), 1u) << "the next file was not told to stop";
        } else {
            SetEvent(w.replyEvent);
        }
        EXPECT_EQ(Done(2000), 2);
        EXPECT_TRUE(Queued(nextIsAFile ? 3 : 2));
        char path[MAX_PATH];
        snprintf(path, sizeof(path), "%s\\f.bin", folder);
        EXPECT_EQ(GetFileAttributesA(path), INVALID_FILE_ATTRIBUTES) << "the damaged file stayed";
        EXPECT_EQ(Temporaries(), 0);
    }
}

TEST_F(FtDownload, AnEventClosedUnderItEndsIt)
{
    CloseHandle(g_session.syncReplyEvent);
    g_session.syncReplyEvent = NULL;
    EXPECT_EQ(Done(2000), 2) << "the worker went on waiting";
}

} // namespace

// The connection to the Agent. The connect dialog runs modally on the UI thread. Over
// TCP the ReceiveThread waits on the socket's own event: it reads when the socket is
// readable, passes write readiness on to the SendThread and posts FD_CLOSE to the main
// window, so a packet wakes one thread, not two.
#include "session/transport_win.h"

#include "lang/stringids.h"
#include "resources/resource.h"
#include "session/neterror.h"
#include "session/receive_win.h"
#include "session/sendqueue_win.h"
#include "session/state_win.h"
#include "shell/log_win.h"
#include "shell/mainwindow_win.h"
#include "shell/managerlink_win.h"
#include "shell/msgbox_win.h"
#include "shell/post_win.h"
#include "shell/report_win.h"
#include "shell/state.h"
#include "shell/strings_win.h"

#include <commctrl.h>
#include <wsipx.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

SessionState g_session;

static const char *const kProtocolNames[2] = {"TCP", "SPX"};

static const char *ProtocolName(void) { return kProtocolNames[g_viewer.target.protocol == PROTO_SPX ? 1 : 0]; }

void FormatNetError(int code, UINT stringId, char *out, int cap)
{
    char text[512], codeText[512];
    LoadLangString(stringId, text, sizeof(text));
    if (code != 0 && !LoadLangString((UINT)code, codeText, sizeof(codeText)))
        LoadLangString(IDS_NET_ERROR_UNKNOWN, codeText, sizeof(codeText));
    ComposeNetError(out, (size_t)cap, ProtocolName(), text, code, code ? codeText : NULL);
}

// Log and timed box only: these failures come before the session and the console
// learns of them through the viewer's end.
static void ReportLocalFailure(const char *text)
{
    WriteLog(text);
    TimedBoxRequest req = {IDD_TIMED_BOX, 5000, NULL, text, 16, TRUE};
    TimedMessageBox(NULL, &req);
}

static void ReportLocalFailureId(UINT id)
{
    char text[512];
    LoadLangString(id, text, sizeof(text));
    ReportLocalFailure(text);
}

static int ChooseProvider(void)
{
    DWORD size = 0;
    int count = WSAEnumProtocolsA(NULL, NULL, &size);
    if (count != SOCKET_ERROR && WSAGetLastError() != WSAENOBUFS) {
        ReportLocalFailureId(IDS_PROTOCOL_ENUM_FAILED);
        return 0;
    }
    g_session.protocols = (WSAPROTOCOL_INFOA *)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size ? size : 1);
    if (!g_session.protocols) {
        ReportLocalFailureId(IDS_OUT_OF_MEMORY);
        return 0;
    }
    count = WSAEnumProtocolsA(NULL, g_session.protocols, &size);
    if (count == SOCKET_ERROR) {
        ReportLocalFailureId(IDS_PROTOCOL_ENUM_FAILED);
        return 0;
    }
    int family = g_viewer.target.protocol == PROTO_SPX ? AF_IPX : AF_INET;
    for (int i = 0; i < count; i++) {
        const WSAPROTOCOL_INFOA *p = &g_session.protocols[i];
        if (p->iAddressFamily == family && p->iSocketType == SOCK_STREAM) {
            g_session.chosenProtocol = p;
            return 1;
        }
    }
    char s[256], text[512];
    LoadLangString(IDS_NO_STREAM_PROVIDER, s, sizeof(s));
    snprintf(text, sizeof(text), "%s: %s", ProtocolName(), s);
    ReportLocalFailure(text);
    return 0;
}

int NetStartup(void)
{
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 0), &data) != 0 || LOBYTE(data.wVersion) != 2 || HIBYTE(data.wVersion) != 0) {
        char text[512];
        LoadLangString(IDS_WINSOCK_UNAVAILABLE, text, sizeof(text));
        WriteLog(text);
        SendMessageRecord(1, text);
        TimedBoxRequest req = {IDD_TIMED_BOX, 5000, NULL, text, 16, TRUE};
        TimedMessageBox(NULL, &req);
        return 0;
    }
    g_session.winsockStarted = TRUE;
    return ChooseProvider();
}

void NetShutdown(void)
{
    if (g_session.protocols)
        HeapFree(GetProcessHeap(), 0, g_session.protocols);
    g_session.protocols = NULL;
    g_session.chosenProtocol = NULL;
    if (g_session.winsockStarted)
        WSACleanup();
    g_session.winsockStarted = FALSE;
}

int NetCreateEvents(void)
{
    g_session.readReadyEvent = CreateEventA(NULL, FALSE, FALSE, NULL);
    g_session.writeReadyEvent = CreateEventA(NULL, FALSE, FALSE, NULL);
    g_session.queueSpaceEvent = CreateEventA(NULL, FALSE, FALSE, NULL);
    g_session.queueDataEvent = CreateEventA(NULL, FALSE, FALSE, NULL);
    g_session.sendEndedEvent = CreateEventA(NULL, TRUE, FALSE, NULL);
    g_session.networkEvent = WSACreateEvent();
    return g_session.readReadyEvent && g_session.writeReadyEvent && g_session.queueSpaceEvent &&
           g_session.queueDataEvent && g_session.sendEndedEvent && g_session.networkEvent != WSA_INVALID_EVENT;
}

static void CloseHandleSlot(HANDLE *h)
{
    if (*h)
        CloseHandle(*h);
    *h = NULL;
}

void NetCloseEvents(void)
{
    if (g_session.networkEvent && g_session.networkEvent != WSA_INVALID_EVENT)
        WSACloseEvent(g_session.networkEvent);
    g_session.networkEvent = NULL;
    CloseHandleSlot(&g_session.readReadyEvent);
    CloseHandleSlot(&g_session.writeReadyEvent);
    CloseHandleSlot(&g_session.queueSpaceEvent);
    CloseHandleSlot(&g_session.queueDataEvent);
    CloseHandleSlot(&g_session.sendEndedEvent);
}

static void CloseSocket(void)
{
    if (g_session.socket != INVALID_SOCKET)
        closesocket(g_session.socket);
    g_session.socket = INVALID_SOCKET;
}

void NetClose(void)
{
    if (g_session.socket == INVALID_SOCKET)
        return;
    CloseSocket();
    SendConnectionRecord(0, 0);
}

// Test hook: CORVID_TEST_SNDBUF sets the socket's send buffer. Windows fills a stalled
// connection after a few kilobytes; loopback under Wine takes megabytes, so tests of
// a peer that stops reading make it small.
static void ApplyTestSendBuffer(void)
{
    char text[16];
    DWORD n = GetEnvironmentVariableA("CORVID_TEST_SNDBUF", text, sizeof(text));
    int size = n > 0 && n < sizeof(text) ? atoi(text) : 0;
    if (size > 0)
        setsockopt(g_session.socket, SOL_SOCKET, SO_SNDBUF, (const char *)&size, sizeof(size));
}

// Failure of a connect step: the text goes to the log, the console and a timed box.
static int FailConnect(HWND owner, int code, UINT stringId)
{
    char text[1024];
    FormatNetError(code, stringId, text, sizeof(text));
    CloseSocket();
    SendMessageRecord(0, text);
    WriteLog(text);
    TimedBoxRequest req = {IDD_TIMED_BOX, 5000, g_viewer.names.mainTitle, text, 16, TRUE};
    TimedMessageBox(owner, &req);
    return 0;
}

struct ConnectRequest {
    HWND *slot;
    int error;
};

static int AgentAddress(sockaddr_storage *addr, int *len)
{
    memset(addr, 0, sizeof(*addr));
    if (g_viewer.target.protocol == PROTO_SPX) {
        SOCKADDR_IPX *ipx = (SOCKADDR_IPX *)addr;
        ipx->sa_family = AF_IPX;
        memcpy(ipx->sa_netnum, g_viewer.target.ipxNet, 4);
        memcpy(ipx->sa_nodenum, g_viewer.target.ipxNode, 6);
        ipx->sa_socket = htons(kAgentPort);
        *len = 14;
    } else {
        sockaddr_in *in = (sockaddr_in *)addr;
        in->sin_family = AF_INET;
        in->sin_port = htons(kAgentPort);
        in->sin_addr.s_addr = g_viewer.target.ipv4;
        *len = sizeof(sockaddr_in);
    }
    return 1;
}

static void ConnectDialogInit(HWND dlg, ConnectRequest *req)
{
    SetWindowLongPtrA(dlg, DWLP_USER, (LONG_PTR)req);
    *req->slot = dlg;
    SetWindowTextA(dlg, CORVID_PRODUCT_TEXT);
    HWND anim = GetDlgItem(dlg, IDC_CONNECT_ANIM);
    if (SendMessageA(anim, ACM_OPENA, (WPARAM)g_viewer.instance, (LPARAM)MAKEINTRESOURCEA(IDA_CONNECT)))
        SendMessageA(anim, ACM_PLAY, (WPARAM)-1, MAKELPARAM(0, -1));
    char s[128], label[192];
    LoadLangString(IDS_CONNECTING_TO, s, sizeof(s));
    snprintf(label, sizeof(label), "%s%s", s, g_viewer.target.hostText);
    SetLangItemText(dlg, IDC_CONNECT_LABEL, label);
    LoadLangString(IDS_CANCEL, s, sizeof(s));
    SetLangItemText(dlg, IDCANCEL, s);
    sockaddr_storage addr;
    int len;
    AgentAddress(&addr, &len);
    WSAAsyncSelect(g_session.socket, dlg, WM_CV_CONNECT_DONE, FD_CONNECT);
    if (connect(g_session.socket, (sockaddr *)&addr, len) == 0) {
        PostMessageA(dlg, WM_COMMAND, IDOK, 0);
        return;
    }
    int code = WSAGetLastError();
    if (code == WSAEWOULDBLOCK)
        return;
    req->error = code;
    PostMessageA(dlg, WM_COMMAND, IDCANCEL, 0);
}

static INT_PTR CALLBACK ConnectDialogProc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp)
{
    ConnectRequest *req = (ConnectRequest *)GetWindowLongPtrA(dlg, DWLP_USER);
    switch (msg) {
    case WM_INITDIALOG:
        ConnectDialogInit(dlg, (ConnectRequest *)lp);
        return TRUE;
    case WM_CV_CONNECT_DONE:
        if (WSAGETSELECTERROR(lp)) {
            req->error = WSAGETSELECTERROR(lp);
            PostMessageA(dlg, WM_COMMAND, IDCANCEL, 0);
        } else {
            PostMessageA(dlg, WM_COMMAND, IDOK, 0);
        }
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wp) == IDOK) {
            WSAAsyncSelect(g_session.socket, dlg, 0, 0);
        } else if (LOWORD(wp) == IDCANCEL) {
            CloseSocket();
        } else {
            return FALSE;
        }
        SendDlgItemMessageA(dlg, IDC_CONNECT_ANIM, ACM_STOP, 0, 0);
        EndDialog(dlg, LOWORD(wp));
        return TRUE;
    case WM_DESTROY:
        if (req && *req->slot == dlg)
            *req->slot = NULL;
        return FALSE;
    }
    return FALSE;
}

int AnnounceNetworkEvents(const WSANETWORKEVENTS *ne, BOOL *closed)
{
    if (ne->lNetworkEvents & FD_WRITE)
        SetEvent(g_session.writeReadyEvent);
    // Announcing goes on after the close: data the close arrived with may take more
    // than one read, and each read announces the rest with a new FD_READ.
    if ((ne->lNetworkEvents & FD_CLOSE) && !*closed) {
        *closed = TRUE;
        int code = ne->iErrorCode[FD_CLOSE_BIT];
        UiPost(g_viewer.mainWindow, WM_CV_SOCKET, (WPARAM)g_session.socket, (LPARAM)(((DWORD)code << 16) | FD_CLOSE));
    }
    // Data that arrived with the close is still read, so that a last packet (a
    // refused login, say) is not lost behind the close.
    return (ne->lNetworkEvents & FD_READ) != 0;
}

int TakeNetworkEvents(BOOL *closed)
{
    WSANETWORKEVENTS ne;
    if (WSAEnumNetworkEvents(g_session.socket, g_session.networkEvent, &ne) == SOCKET_ERROR)
        return -1;
    return AnnounceNetworkEvents(&ne, closed);
}

int SelectNetworkEvents(void)
{
    return WSAEventSelect(g_session.socket, g_session.networkEvent, FD_READ | FD_WRITE | FD_CLOSE) == 0;
}

static int StartWorkers(void)
{
    SendQueueReset();
    if (g_viewer.target.protocol == PROTO_SPX) {
        if (WSAAsyncSelect(g_session.socket, g_viewer.mainWindow, WM_CV_SOCKET, FD_READ | FD_WRITE | FD_CLOSE))
            return 0;
    } else if (!SelectNetworkEvents()) {
        return 0;
    }
    return StartReceiveThread() && StartSendThread();
}

int NetConnect(HWND owner)
{
    const WSAPROTOCOL_INFOA *p = g_session.chosenProtocol;
    if (!p)
        return 0;
    g_session.socket = WSASocketA(FROM_PROTOCOL_INFO, FROM_PROTOCOL_INFO, FROM_PROTOCOL_INFO, (WSAPROTOCOL_INFOA *)p, 0,
                                  WSA_FLAG_OVERLAPPED);
    if (g_session.socket == INVALID_SOCKET)
        return FailConnect(owner, WSAGetLastError(), IDS_SOCKET_CREATE_FAILED);
    sockaddr_storage local;
    memset(&local, 0, sizeof(local));
    int localLen = sizeof(sockaddr_in);
    local.ss_family = g_viewer.target.protocol == PROTO_SPX ? AF_IPX : AF_INET;
    if (g_viewer.target.protocol == PROTO_SPX)
        localLen = 14;
    if (bind(g_session.socket, (sockaddr *)&local, localLen) == SOCKET_ERROR)
        return FailConnect(owner, WSAGetLastError(), IDS_BIND_FAILED);
    // As much as the ReceiveBuffer takes in one read: a smaller window would hold a
    // busy desktop to one short read per round trip.
    int rcvbuf = kReceiveBufferSize;
    if (setsockopt(g_session.socket, SOL_SOCKET, SO_RCVBUF, (const char *)&rcvbuf, sizeof(rcvbuf)) == SOCKET_ERROR)
        return FailConnect(owner, WSAGetLastError(), IDS_RCVBUF_FAILED);
    ApplyTestSendBuffer();
    if (g_viewer.target.protocol != PROTO_SPX) {
        BOOL on = TRUE;
        if (setsockopt(g_session.socket, IPPROTO_TCP, TCP_NODELAY, (const char *)&on, sizeof(on)) == SOCKET_ERROR)
            return FailConnect(owner, WSAGetLastError(), IDS_NODELAY_FAILED);
    }
    ConnectRequest req = {&g_viewer.dialogSlot, 0};
    INT_PTR r =
        DialogBoxParamW(g_viewer.instance, MAKEINTRESOURCEW(IDD_CONNECT), owner, ConnectDialogProc, (LPARAM)&req);
    if (r != IDOK) {
        if (req.error == 0) {
            CloseSocket();
            return 0;
        }
        return FailConnect(owner, req.error, IDS_CONNECT_FAILED);
    }
    return StartWorkers();
}

void NetOnSocketMessage(HWND mainWindow, LPARAM lParam)
{
    (void)mainWindow;
    switch (WSAGETSELECTEVENT(lParam)) {
    case FD_READ:
        SetEvent(g_session.readReadyEvent);
        break;
    case FD_WRITE:
        SetEvent(g_session.writeReadyEvent);
        break;
    }
}

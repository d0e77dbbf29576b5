// The TCP/IP and IPX/SPX pages of the settings sheet: communities in use, the four
// communities with their passwords and nodes, and the protocol's node list.
#include "agentsettings/settings.h"
#include "agentsettings/sheet_win.h"
#include "agentsettings/sheetparts_win.h"
#include "agentsettings/state_win.h"
#include "lang/stringids.h"
#include "shell/state.h"
#include "ui/help_win.h"

#include <commctrl.h>
#include <htmlhelp.h>
#include <prsht.h>

#include <cstring>
#include <initializer_list>

struct ProtocolPage {
    int protocol;
    int community; // -1 when none
    int node;
    int entry;
    int ready;
};

static ProtocolPage g_pages[kAsProtocols];

static const ControlHelp kTcpHelp[] = {
    {IDC_AS_IN_USE, IDS_HELP_AS_IN_USE},
    {IDC_AS_COMMUNITIES, IDS_HELP_AS_COMMUNITIES},
    {IDC_AS_PASSWORD_BUTTON, IDS_HELP_AS_PASSWORD_BUTTON},
    {IDC_AS_NODES, IDS_HELP_AS_TCP_NODES},
    {IDC_AS_ADD_NODE, IDS_HELP_AS_ADD_NODE},
    {IDC_AS_EDIT_NODE, IDS_HELP_AS_EDIT_TCP_NODE},
    {IDC_AS_DELETE_NODE, IDS_HELP_AS_DELETE_NODE},
    {0, 0},
};
static const ControlHelp kIpxHelp[] = {
    {IDC_AS_IN_USE, IDS_HELP_AS_IN_USE},
    {IDC_AS_COMMUNITIES, IDS_HELP_AS_COMMUNITIES},
    {IDC_AS_PASSWORD_BUTTON, IDS_HELP_AS_PASSWORD_BUTTON},
    {IDC_AS_NODES, IDS_HELP_AS_IPX_NODES},
    {IDC_AS_ADD_NODE, IDS_HELP_AS_ADD_NODE},
    {IDC_AS_EDIT_NODE, IDS_HELP_AS_EDIT_IPX_NODE},
    {IDC_AS_DELETE_NODE, IDS_HELP_AS_DELETE_NODE},
    {0, 0},
};

static void Enable(HWND page, int id, int on) { EnableWindow(GetDlgItem(page, id), on != 0); }

static AsNodeArray *CommunityNodes(const ProtocolPage *p)
{
    return &g_agentSettings.values.communities[p->community].protocol[p->protocol].nodes;
}

static uint32_t *InUseField(const ProtocolPage *p)
{
    return &g_agentSettings.values.common[p->protocol ? AS_IPX_IN_USE : AS_TCP_IN_USE];
}

static void FillList(HWND list, const AsNodeArray *a)
{
    SendMessageW(list, LB_RESETCONTENT, 0, 0);
    for (int i = 0; i < a->count; i++)
        ListAddBytes(list, kAsTextPage, a->nodes[i]);
}

static void OnInit(HWND page, ProtocolPage *p)
{
    p->ready = 0;
    CentreSheetOnce(page);
    if (g_sheetAgentVersion < kAsVersionNodeLists) {
        Enable(page, IDC_AS_LIST, 0);
        Enable(page, IDC_AS_ADD_ENTRY, 0);
    }
    p->community = p->node = p->entry = -1;
    const AgentSettings *s = &g_agentSettings.values;
    const int inUse = *InUseField(p) != 0;
    CheckDlgButton(page, IDC_AS_IN_USE, inUse ? BST_CHECKED : BST_UNCHECKED);
    HWND communities = GetDlgItem(page, IDC_AS_COMMUNITIES);
    const int russian = g_viewer.activeLanguage == g_viewer.languageLibs[1];
    for (int i = 0; i < (int)kAsCommunities; i++)
        ListAddBytes(communities, 1251, AsCommunityName(i, russian));
    if (s->common[p->protocol ? AS_IPX_AVAILABLE : AS_TCP_AVAILABLE]) {
        Enable(page, IDC_AS_IN_USE, 1);
        if (inUse) {
            Enable(page, IDC_AS_COMMUNITIES, 1);
            Enable(page, IDC_AS_NODES, 1);
        }
    }
    FillList(GetDlgItem(page, IDC_AS_LIST), &g_agentSettings.values.lists[p->protocol]);
    p->ready = 1;
}

static void OnInUse(HWND page, const ProtocolPage *p)
{
    const int on = IsDlgButtonChecked(page, IDC_AS_IN_USE) == BST_CHECKED;
    Enable(page, IDC_AS_COMMUNITIES, on);
    Enable(page, IDC_AS_NODES, on);
    if (on) {
        if (p->community < 0)
            return;
        Enable(page, IDC_AS_PASSWORD_BUTTON, 1);
        Enable(page, IDC_AS_ADD_NODE, 1);
        if (p->node < 0)
            return;
        Enable(page, IDC_AS_EDIT_NODE, 1);
        Enable(page, IDC_AS_DELETE_NODE, 1);
    } else {
        for (int id : {IDC_AS_PASSWORD_BUTTON, IDC_AS_ADD_NODE, IDC_AS_EDIT_NODE, IDC_AS_DELETE_NODE})
            Enable(page, id, 0);
    }
}

static void OnCommunityPicked(HWND page, ProtocolPage *p)
{
    const int picked = (int)SendDlgItemMessageW(page, IDC_AS_COMMUNITIES, LB_GETCURSEL, 0, 0);
    if (picked == p->community || picked < 0 || picked >= (int)kAsCommunities)
        return;
    p->community = picked;
    p->node = -1;
    Enable(page, IDC_AS_PASSWORD_BUTTON, 1);
    Enable(page, IDC_AS_ADD_NODE, 1);
    Enable(page, IDC_AS_EDIT_NODE, 0);
    Enable(page, IDC_AS_DELETE_NODE, 0);
    FillList(GetDlgItem(page, IDC_AS_NODES), CommunityNodes(p));
}

static void OnPassword(HWND page, const ProtocolPage *p)
{
    if (p->community < 0)
        return;
    CommunityPasswordDialog(page, g_agentSettings.values.communities[p->community].protocol[p->protocol].password);
}

// Add, edit and delete work the same on a community's nodes and on the node list; the
// list box, its selection and its edit and delete buttons are passed in.
struct NodeBox {
    AsNodeArray *nodes;
    int list, edit, remove;
    int *selected;
};

static void AddNode(HWND page, const ProtocolPage *p, const NodeBox *b)
{
    char text[kAsNodeBlock] = "";
    if (NodeDialog(page, p->protocol, text) != IDOK || !text[0])
        return;
    if (!AsNodeAppend(b->nodes, text))
        return; // no memory: the entry is not added
    HWND list = GetDlgItem(page, b->list);
    ListAddBytes(list, kAsTextPage, text);
    *b->selected = b->nodes->count - 1;
    SendMessageW(list, LB_SETCURSEL, (WPARAM)*b->selected, 0);
    Enable(page, b->edit, 1);
    Enable(page, b->remove, 1);
}

static void EditNode(HWND page, const ProtocolPage *p, const NodeBox *b)
{
    const int i = *b->selected;
    if (i < 0 || i >= b->nodes->count)
        return;
    char text[kAsNodeBlock];
    memcpy(text, b->nodes->nodes[i], kAsNodeBlock);
    if (NodeDialog(page, p->protocol, text) != IDOK || !text[0] || lstrcmpiA(text, b->nodes->nodes[i]) == 0)
        return;
    AsNodeReplace(b->nodes, i, text);
    ListReplaceBytes(GetDlgItem(page, b->list), i, kAsTextPage, b->nodes->nodes[i]);
}

static void DeleteNode(HWND page, const NodeBox *b)
{
    const int i = *b->selected;
    if (i < 0 || i >= b->nodes->count)
        return;
    AsNodeRemove(b->nodes, i);
    SendDlgItemMessageW(page, b->list, LB_DELETESTRING, (WPARAM)i, 0);
    *b->selected = -1;
    Enable(page, b->edit, 0);
    Enable(page, b->remove, 0);
}

static NodeBox CommunityBox(ProtocolPage *p)
{
    return NodeBox{CommunityNodes(p), IDC_AS_NODES, IDC_AS_EDIT_NODE, IDC_AS_DELETE_NODE, &p->node};
}

static NodeBox ListBox(ProtocolPage *p)
{
    return NodeBox{&g_agentSettings.values.lists[p->protocol], IDC_AS_LIST, IDC_AS_EDIT_ENTRY, IDC_AS_DELETE_ENTRY,
                   &p->entry};
}

static void OnSelection(HWND page, const NodeBox *b)
{
    *b->selected = (int)SendDlgItemMessageW(page, b->list, LB_GETCURSEL, 0, 0);
    if (*b->selected >= b->nodes->count)
        *b->selected = -1;
    Enable(page, b->edit, *b->selected >= 0);
    Enable(page, b->remove, *b->selected >= 0);
}

static void OnCommand(HWND page, ProtocolPage *p, int id, int code)
{
    if (!p->ready)
        return;
    switch (id) {
    case IDC_AS_IN_USE:
        if (code == BN_CLICKED)
            OnInUse(page, p);
        break;
    case IDC_AS_COMMUNITIES:
        if (code == LBN_SELCHANGE)
            OnCommunityPicked(page, p);
        else if (code == LBN_DBLCLK)
            OnPassword(page, p);
        break;
    case IDC_AS_PASSWORD_BUTTON:
        OnPassword(page, p);
        break;
    case IDC_AS_NODES:
        if (p->community >= 0) {
            NodeBox b = CommunityBox(p);
            if (code == LBN_SELCHANGE)
                OnSelection(page, &b);
            else if (code == LBN_DBLCLK)
                EditNode(page, p, &b);
        }
        break;
    case IDC_AS_ADD_NODE:
    case IDC_AS_EDIT_NODE:
    case IDC_AS_DELETE_NODE:
        if (p->community >= 0) {
            NodeBox b = CommunityBox(p);
            if (id == IDC_AS_ADD_NODE)
                AddNode(page, p, &b);
            else if (id == IDC_AS_EDIT_NODE)
                EditNode(page, p, &b);
            else
                DeleteNode(page, &b);
        }
        break;
    case IDC_AS_LIST: {
        NodeBox b = ListBox(p);
        if (code == LBN_SELCHANGE)
            OnSelection(page, &b);
        else if (code == LBN_DBLCLK)
            EditNode(page, p, &b);
        break;
    }
    case IDC_AS_ADD_ENTRY:
    case IDC_AS_EDIT_ENTRY:
    case IDC_AS_DELETE_ENTRY: {
        NodeBox b = ListBox(p);
        if (id == IDC_AS_ADD_ENTRY)
            AddNode(page, p, &b);
        else if (id == IDC_AS_EDIT_ENTRY)
            EditNode(page, p, &b);
        else
            DeleteNode(page, &b);
        break;
    }
    }
}

// Insert and Delete in the two node lists, when an entry is selected.
static LRESULT OnListKey(HWND page, ProtocolPage *p, int key, HWND list)
{
    const int id = GetDlgCtrlID(list);
    if (id == IDC_AS_NODES && p->community >= 0 && p->node >= 0) {
        NodeBox b = CommunityBox(p);
        if (key == VK_INSERT)
            AddNode(page, p, &b);
        else if (key == VK_DELETE)
            DeleteNode(page, &b);
    } else if (id == IDC_AS_LIST && p->entry >= 0) {
        NodeBox b = ListBox(p);
        if (key == VK_INSERT)
            AddNode(page, p, &b);
        else if (key == VK_DELETE)
            DeleteNode(page, &b);
    }
    return -1;
}

// Leaving the page: a community with nodes and no password keeps it.
static int OnLeave(HWND page)
{
    const ProtocolPage *p = (const ProtocolPage *)GetWindowLongPtrW(page, DWLP_USER);
    if (!p)
        return 0;
    const int missing = AsCommunityMissingPassword(&g_agentSettings.values, p->protocol);
    if (missing >= 0) {
        const int russian = g_viewer.activeLanguage == g_viewer.languageLibs[1];
        SettingsErrorBox(page, IDS_AS_NO_PASSWORD, AsCommunityName(missing, russian));
        return TRUE;
    }
    *InUseField(p) = IsDlgButtonChecked(page, IDC_AS_IN_USE) == BST_CHECKED;
    return FALSE;
}

INT_PTR CALLBACK ProtocolPageProc(HWND page, UINT msg, WPARAM wp, LPARAM lp)
{
    ProtocolPage *p = (ProtocolPage *)GetWindowLongPtrW(page, DWLP_USER);
    switch (msg) {
    case WM_INITDIALOG: {
        const int protocol = ((const PROPSHEETPAGEW *)lp)->lParam ? 1 : 0;
        p = &g_pages[protocol];
        p->protocol = protocol;
        SetWindowLongPtrW(page, DWLP_USER, (LONG_PTR)p);
        OnInit(page, p);
        return TRUE;
    }
    case WM_COMMAND:
        if (p)
            OnCommand(page, p, LOWORD(wp), HIWORD(wp));
        return TRUE;
    case WM_VKEYTOITEM:
        return p ? OnListKey(page, p, LOWORD(wp), (HWND)lp) : -1;
    case WM_HELP:
        ShowControlHelp(page, (const HELPINFO *)lp, p && p->protocol ? kIpxHelp : kTcpHelp);
        return TRUE;
    case WM_NOTIFY:
        return AnswerPageNotify(page, (const NMHDR *)lp, HELP_TOPIC_SETTINGS_PROTOCOL, OnLeave);
    }
    return FALSE;
}

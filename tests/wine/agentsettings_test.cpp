// The settings session's receive side: the Agent's packets are stored only while a
// request is out (never under an open sheet), the last one opens the sheet once, and an
// answer that never finishes is given up so that command 40012 comes back.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "agentsettings/session_win.h"
#include "agentsettings/state_win.h"
#include "session/receive_win.h"
#include "shell/messages.h"
#include "shell/state.h"
#include "tests/wine/viewer_fixture.h"

namespace {

std::vector<uint8_t> Packet(uint32_t type, std::vector<uint8_t> payload)
{
    std::vector<uint8_t> p(kPacketHeaderSize);
    SessPacketHeader h = {type, (uint32_t)payload.size(), 1};
    EncodePacketHeader(&h, p.data(), p.size());
    p.insert(p.end(), payload.begin(), payload.end());
    return p;
}

void Deliver(const std::vector<uint8_t> &p)
{
    SessPacketHeader h;
    ASSERT_TRUE(DecodePacketHeader(p.data(), p.size(), &h));
    DispatchPacket(&h, p.data() + kPacketHeaderSize); // through the wired handler
}

int ReadyPosted(HWND w)
{
    MSG m;
    int n = 0;
    while (PeekMessageA(&m, w, WM_CV_SETTINGS_READY, WM_CV_SETTINGS_READY, PM_REMOVE))
        n++;
    return n;
}

TEST(AgentSettingsSession, StoresOnlyWhileRequestedAndGivesUpAnUnfinishedAnswer)
{
    PrepareTestViewer();
    HWND w = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 1, 1, HWND_MESSAGE, NULL, NULL, NULL);
    ASSERT_TRUE(w);
    g_viewer.mainWindow = w;
    const auto flag = Packet(PKT_AGENT_SETTINGS_FLAG, {1, 0, 0, 0});
    const auto list = Packet(PKT_AGENT_SETTINGS_NODE_LISTS, {1, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 'p', 'c', 0});
    const auto last = Packet(PKT_AGENT_SETTINGS_COMMUNITIES, {1, 0, 0, 0, 0, 0, 0, 0});
    AgentSettings *s = &g_agentSettings.values;

    // Nothing was asked for: nothing is stored, no sheet.
    Deliver(flag);
    Deliver(last);
    EXPECT_EQ(s->flag, 0u);
    EXPECT_EQ(ReadyPosted(w), 0);

    // Asked for, then never finished: given up once the wait is over.
    g_agentSettings.state = kAsRequested;
    g_agentSettings.tick = GetTickCount();
    Deliver(flag);
    Deliver(list);
    EXPECT_EQ(s->flag, 1u);
    EXPECT_EQ(s->lists[0].count, 1);
    OnAgentSettingsTimer(w);
    EXPECT_EQ(g_agentSettings.state, (DWORD)kAsRequested) << "given up too early";
    g_agentSettings.tick = GetTickCount() - kSettingsWaitMs - 1;
    g_viewer.timedBoxesClosed = TRUE; // the operator's box returns at once
    OnAgentSettingsTimer(w);
    g_viewer.timedBoxesClosed = FALSE;
    EXPECT_EQ(g_agentSettings.state, (DWORD)kAsIdle);
    EXPECT_EQ(s->lists[0].count, 0) << "the lists of a given-up answer are kept";
    Deliver(last);
    EXPECT_EQ(ReadyPosted(w), 0) << "a late last packet opened the sheet";

    // Finished: the sheet is announced once, and what comes while it is open is not stored.
    g_agentSettings.state = kAsRequested;
    g_agentSettings.tick = GetTickCount();
    Deliver(list);
    Deliver(last);
    EXPECT_EQ(g_agentSettings.state, (DWORD)kAsEditing);
    EXPECT_EQ(ReadyPosted(w), 1);
    Deliver(list);
    Deliver(last);
    EXPECT_EQ(s->lists[0].count, 1) << "stored under the open sheet";
    EXPECT_EQ(ReadyPosted(w), 0);

    EndAgentSettings();
    EXPECT_EQ(s->lists[0].count, 0);
    g_viewer.mainWindow = NULL;
    DestroyWindow(w);
}

} // namespace

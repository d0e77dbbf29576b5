// The simulator's Agent settings: what it answers at each version, and the viewer's
// round trip (received, sent back unchanged or edited) judged by its agent_settings line.
#include <gtest/gtest.h>

#include "tests/native/agentsim_fixture.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "agentsettings/settings.h"
#include "session/envelope.h"
#include "tools/agentsim/deskey.h"
#include "tools/agentsim/options.h"
#include "tools/agentsim/session.h"

namespace {

using Bytes = std::vector<uint8_t>;

int Append(void *ctx, const uint8_t *packet, size_t length)
{
    std::vector<Bytes> *out = (std::vector<Bytes> *)ctx;
    out->emplace_back(packet, packet + length);
    return 1;
}

std::vector<Bytes> Split(const Bytes &stream)
{
    std::vector<Bytes> out;
    for (size_t at = 0; at < stream.size();) {
        const size_t n = 12 + GetU32LE(stream.data() + at + 4);
        out.emplace_back(stream.begin() + at, stream.begin() + at + n);
        at += n;
    }
    return out;
}

// The lines of one event kind.
std::vector<std::string> Events(const std::string &log, const char *ev)
{
    std::vector<std::string> out;
    const std::string key = std::string("{\"ev\":\"") + ev + "\"";
    for (size_t start = 0, nl; (nl = log.find('\n', start)) != std::string::npos; start = nl + 1)
        if (log.compare(start, key.size(), key) == 0)
            out.push_back(log.substr(start, nl - start));
    return out;
}

struct SimSettingsTest : SimSessionTest {
    void Feed(const Bytes &packet, SimOutput *out)
    {
        SessPacketHeader h = {GetU32LE(packet.data()), (uint32_t)packet.size() - 12, GetU32LE(packet.data() + 8)};
        Bytes payload(packet.begin() + 12, packet.end());
        SimHandlePacket(&sess, &h, payload.data(), out);
    }
    // The viewer's side: every packet taken as the receive thread takes it.
    void Take(const std::vector<Bytes> &packets, AgentSettings *a)
    {
        for (size_t i = 0; i < packets.size(); i++) {
            const Bytes &p = packets[i];
            SessPacketHeader h = {GetU32LE(p.data()), (uint32_t)p.size() - 12, GetU32LE(p.data() + 8)};
            const char *why = nullptr;
            int last = 0, ok = 0;
            switch (h.dwType) {
            case PKT_AGENT_SETTINGS_COMMON:
                ok = AsReceiveCommon(a, &h, p.data() + 12, opt.agentVersion, &why);
                break;
            case PKT_AGENT_SETTINGS_STRING:
                ok = AsReceiveString(a, &h, p.data() + 12, &why);
                break;
            case PKT_AGENT_SETTINGS_FLAG:
                ok = AsReceiveFlag(a, &h, p.data() + 12, &why);
                break;
            case PKT_AGENT_SETTINGS_NODE_LISTS:
                ok = AsReceiveNodeLists(a, &h, p.data() + 12, &why);
                break;
            default:
                ok = AsReceiveCommunities(a, &h, p.data() + 12, &last, &why);
                break;
            }
            EXPECT_EQ(ok, 1) << (why ? why : "");
            EXPECT_EQ(last, h.dwType == PKT_AGENT_SETTINGS_COMMUNITIES && i + 1 == packets.size());
        }
    }
};

TEST_F(SimSettingsTest, AnswersAtEachVersionAndJudgesTheRoundTrip)
{
    struct {
        uint16_t version;
        std::vector<uint32_t> kinds; // packet types in order, repeats folded
    } cases[] = {
        {783, {26, 27}},
        {786, {26, 52, 27}},
        {787, {26, 52, 54, 27}},
        {791, {26, 52, 57, 54, 27}},
    };
    for (const auto &c : cases) {
        opt.agentVersion = c.version;
        SimSessionInit(&sess, &opt, key);
        SimOutput out;
        Feed(Bytes{25, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0}, &out);
        ASSERT_EQ(Events(out.log, "agent_settings_sent").size(), 1u) << c.version;
        const std::vector<Bytes> packets = Split(out.reply);
        std::vector<uint32_t> kinds;
        size_t communities = 0;
        for (const Bytes &p : packets) {
            const uint32_t t = GetU32LE(p.data());
            if (kinds.empty() || kinds.back() != t)
                kinds.push_back(t);
            communities += t == PKT_AGENT_SETTINGS_COMMUNITIES;
            EXPECT_LE(p.size(), 32768u);
        }
        EXPECT_EQ(kinds, c.kinds) << c.version;
        EXPECT_EQ(packets[0].size(), 12u + 56) << "the Agent's common message is 56 bytes";
        EXPECT_EQ(communities, 2u) << "one community's nodes take a second packet";

        // Taken and sent back unchanged: the same settings, no fault.
        AgentSettings a = {};
        Take(packets, &a);
        std::vector<Bytes> back;
        ASSERT_EQ(AsSendAll(&a, c.version, Append, &back), 1);
        SimOutput got;
        for (const Bytes &p : back)
            Feed(p, &got);
        std::vector<std::string> done = Events(got.log, "agent_settings");
        ASSERT_EQ(done.size(), 1u) << c.version;
        EXPECT_NE(done[0].find("\"same_as_sent\":true,\"faults\":0"), std::string::npos) << done[0];
        EXPECT_TRUE(Events(got.log, "error").empty()) << got.log.substr(0, 2000);

        // Edited: one password, which the Agent then holds.
        strcpy(a.communities[2].protocol[1].password, "Changed_9");
        back.clear();
        ASSERT_EQ(AsSendAll(&a, c.version, Append, &back), 1);
        SimOutput edited;
        for (const Bytes &p : back)
            Feed(p, &edited);
        done = Events(edited.log, "agent_settings");
        ASSERT_EQ(done.size(), 1u);
        EXPECT_NE(done[0].find("\"same_as_sent\":false"), std::string::npos);
        EXPECT_NE(done[0].find("\"password\":\"Changed_9\""), std::string::npos);
        SimOutput again;
        Feed(Bytes{25, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0}, &again);
        EXPECT_NE(again.log.find("\"password\":\"Changed_9\""), std::string::npos);
        AsRelease(&a);
    }
}

// What the viewer must not do is logged as a fault: a flag message to an Agent below 791,
// communities that stop before the eighth block.
TEST_F(SimSettingsTest, FaultsOfTheViewerAreLogged)
{
    opt.agentVersion = 787;
    SimSessionInit(&sess, &opt, key);
    AgentSettings a = {};
    std::vector<Bytes> back;
    ASSERT_EQ(AsSendAll(&a, 791, Append, &back), 1);
    SimOutput out;
    for (const Bytes &p : back)
        Feed(p, &out);
    EXPECT_NE(out.log.find("PKT_AGENT_SETTINGS_FLAG sent to an Agent of version 787"), std::string::npos);
    EXPECT_NE(Events(out.log, "agent_settings")[0].find("\"same_as_sent\":false,\"faults\":1"), std::string::npos);

    // Only the first communities record, marked last.
    Bytes cut(back.back().begin(), back.back().begin() + 12 + 8 + 104);
    PutU32LE(cut.data() + 4, 8 + 104);
    PutU32LE(cut.data() + 16, 1);
    SimOutput out2;
    Feed(back[0], &out2);
    Feed(cut, &out2);
    EXPECT_NE(out2.log.find("ended before all eight blocks"), std::string::npos);
}

} // namespace

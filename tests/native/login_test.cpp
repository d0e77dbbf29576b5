// The session's opening payloads: login reply layout, client information, the login
// packet, network error wording and the rights table.
#include <gtest/gtest.h>

#include "desktop/screeninfo.h"
#include "session/agentkey.h"
#include "session/envelope.h"
#include "session/login.h"
#include "session/neterror.h"

#include <cstring>
#include <string>

namespace {

const uint8_t kReply[39] = {
    0x00, 0x00, 0x00, 0x00, // status 0
    0x17, 0x03,             // Agent version 3.23 = 791
    0x02,                   // NT family
    0x0A, 0x00, 0x00, 0x00, // major 10 at the unaligned offset 7
    0xFF, 0xFF, 0xFF, 0xFF, // minor -1
    'S',  'I',  'M',  'H',  'O', 'S', 'T', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x0E, 0x00, 0x00, 0x00, // rights 14
    0x05, 0x00, 0x00, 0x00,                                                                   // slider 5
};

TEST(LoginReply, FieldsAtTheirPackedOffsets)
{
    SessPacketHeader h = {PKT_LOGIN_REPLY, 39, 1};
    uint32_t status = 99;
    LoginInfo info;
    ASSERT_TRUE(ParseLoginReply(&h, kReply, &status, &info));
    EXPECT_EQ(status, 0u);
    EXPECT_EQ(info.agentVersion, 791);
    EXPECT_EQ(info.osPlatform, 2);
    EXPECT_EQ(info.osMajor, 10u);
    EXPECT_EQ(info.osMinor, -1);
    EXPECT_STREQ(info.computerName, "SIMHOST");
    EXPECT_EQ(info.rights, 14u);
    EXPECT_EQ(info.sliderLevel, 5u);
}

TEST(LoginReply, ShortPayloadIsRefusedAndFullNameIsTerminated)
{
    uint8_t reply[39];
    memcpy(reply, kReply, sizeof(reply));
    SessPacketHeader h = {PKT_LOGIN_REPLY, 38, 1};
    uint32_t status;
    LoginInfo info;
    EXPECT_FALSE(ParseLoginReply(&h, reply, &status, &info));
    memset(reply + 15, 'N', 16);
    h.dwDataLen = 39;
    ASSERT_TRUE(ParseLoginReply(&h, reply, &status, &info));
    EXPECT_EQ(strlen(info.computerName), 15u);
    EXPECT_EQ(info.rights, 14u);
}

TEST(ClientInfo, BytesOnTheWire)
{
    uint8_t p[kClientInfoPacketSize];
    ASSERT_EQ(BuildClientInfo(1, 32, 1, p), 24u);
    const uint8_t expect[24] = {2, 0, 0, 0, 12, 0, 0, 0, 1, 0, 0, 0, 1, 0, 32, 0, 1, 0, 0, 0, 0x22, 0x03, 0, 0};
    EXPECT_EQ(0, memcmp(p, expect, 24));
}

TEST(LoginPacket, SealsTheFifteenPasswordBytes)
{
    ASSERT_TRUE(EnvelopeLoadKeyPem(kAgentKeyPem, kAgentKeyPemLen));
    EnvelopeSeed(nullptr, 0);
    uint8_t pwd[15] = {'s', 'e', 'c', 'r', 'e', 't'};
    uint8_t p[kLoginPacketSize];
    ASSERT_EQ(BuildLoginPacket(pwd, p), 100u);
    const uint8_t head[12] = {0, 0, 0, 0, 88, 0, 0, 0, 1, 0, 0, 0};
    EXPECT_EQ(0, memcmp(p, head, 12));
    uint8_t opened[15];
    ASSERT_TRUE(OpenShort(p + 12, opened));
    EXPECT_EQ(0, memcmp(opened, pwd, 15));
}

TEST(Rights, OnlyBitsTwoFourAndEightCount)
{
    struct Case {
        uint32_t rights;
        std::string commands;
    } cases[] = {
        {0, ""},
        {2, "40002 40004 40003 40024 "},
        {4, "40013 "},
        {8, "40012 "},
        {14, "40002 40004 40003 40024 40012 40013 "},
        {0xFFFFFFF1u, ""},
    };
    for (const Case &c : cases) {
        uint32_t out[8];
        int n = CommandsForRights(c.rights, out);
        std::string got;
        for (int i = 0; i < n; i++)
            got += std::to_string(out[i]) + " ";
        EXPECT_EQ(got, c.commands) << c.rights;
        EXPECT_EQ(out[n], 0u);
    }
}

TEST(NetError, WordingAndBounds)
{
    char buf[256];
    ComposeNetError(buf, sizeof(buf), "TCP", "Cannot connect.", 10061, "Connection refused.");
    EXPECT_STREQ(buf, "TCP: Cannot connect. 10061 - Connection refused.");
    ComposeNetError(buf, sizeof(buf), "SPX", "Closed.", 0, nullptr);
    EXPECT_STREQ(buf, "SPX: Closed.");
    char small[12];
    memset(small, 'x', sizeof(small));
    EXPECT_EQ(ComposeNetError(small, sizeof(small), "TCP", "Cannot connect.", 10061, "Refused."), 11u);
    EXPECT_STREQ(small, "TCP: Cannot");
}

TEST(ScreenInfo, FieldsAspectAndShortPayload)
{
    const uint8_t p[12] = {0x00, 0x04, 0x00, 0x03, 1, 0, 16, 0, 32, 0, 2, 1};
    SessPacketHeader h = {PKT_SCREEN_INFO, 12, 1};
    RemoteScreen s;
    ASSERT_TRUE(ParseScreenInfo(&h, p, &s));
    EXPECT_EQ(s.width, 1024);
    EXPECT_EQ(s.height, 768);
    EXPECT_EQ(s.planes, 1);
    EXPECT_EQ(s.bitsPerPixel, 16);
    EXPECT_EQ(s.displayDepth, 32);
    EXPECT_EQ(s.screenCount, 2);
    EXPECT_EQ(s.currentScreen, 1);
    EXPECT_DOUBLE_EQ(s.aspect, 1024.0 / 768.0);
    const uint8_t zero[12] = {0x20, 0, 0, 0};
    ASSERT_TRUE(ParseScreenInfo(&h, zero, &s));
    EXPECT_EQ(s.aspect, 0.0);
    h.dwDataLen = 11;
    EXPECT_FALSE(ParseScreenInfo(&h, p, &s));
}

} // namespace

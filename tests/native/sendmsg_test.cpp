// The send-message packet byte by byte: header, the two leading fields, the icon table
// and the sealed text, opened here with the simulator's own key recovery and DES.
#include "ui/sendmsg.h"

#include <gtest/gtest.h>

#ifndef OPENSSL_SUPPRESS_DEPRECATED
#define OPENSSL_SUPPRESS_DEPRECATED
#endif
#include <openssl/bio.h>
#include <openssl/des.h>
#include <openssl/pem.h>

#include <cstring>
#include <string>
#include <vector>

#include "session/agentkey.h"
#include "tools/agentsim/deskey.h"

namespace {

using Bytes = std::vector<uint8_t>;

uint32_t U32At(const uint8_t *p, size_t off)
{
    return p[off] | p[off + 1] << 8 | p[off + 2] << 16 | (uint32_t)p[off + 3] << 24;
}

// The 512 decrypted bytes behind the packet's envelope head.
Bytes OpenText(const uint8_t *packet)
{
    BIO *bio = BIO_new_mem_buf(kAgentKeyPem, (int)kAgentKeyPemLen);
    EVP_PKEY *key = PEM_read_bio_PrivateKey(bio, nullptr, nullptr, nullptr);
    BIO_free(bio);
    uint8_t des[8];
    const int ok = key && SimRecoverDesKey(key, packet + 28, des);
    EVP_PKEY_free(key);
    if (!ok)
        return Bytes();
    DES_key_schedule ks;
    DES_cblock k, iv;
    memcpy(k, des, 8);
    memcpy(iv, packet + 20, 8);
    DES_set_key_unchecked(&k, &ks);
    Bytes out(512);
    DES_ncbc_encrypt(packet + 92, out.data(), 512, &ks, &iv, DES_DECRYPT);
    return out;
}

struct SendMessageTest : ::testing::Test {
    void SetUp() override
    {
        EnvelopeRelease();
        ASSERT_EQ(EnvelopeLoadKeyPem(kAgentKeyPem, kAgentKeyPemLen), 1);
        EnvelopeSeed(nullptr, 0);
    }
    void TearDown() override { EnvelopeRelease(); }
};

TEST_F(SendMessageTest, HeaderAndLeadingFieldsSitAtTheirOffsets)
{
    struct Case {
        MessageChoice choice;
        uint32_t icon, timeout;
    } const cases[] = {
        {{0, 0, 30}, 64, 0xFFFFFFFFu}, // no time-out, whatever seconds were left behind
        {{1, 1, 0}, 48, 0},            // an empty time-out box sends 0 seconds
        {{2, 1, 99}, 32, 99},
        {{3, 1, 30}, 16, 30},
        {{7, 0, 0}, 16, 0xFFFFFFFFu}, // any other choice is the error icon
    };
    for (const Case &c : cases) {
        uint8_t packet[kSealMessagePacketSize];
        ASSERT_EQ(BuildSendMessage(&c.choice, "hi", packet), 604u);
        EXPECT_EQ(U32At(packet, 0), 19u);
        EXPECT_EQ(U32At(packet, 4), 592u);
        EXPECT_EQ(U32At(packet, 8), 1u);
        EXPECT_EQ(U32At(packet, 12), c.timeout) << "icon choice " << c.choice.icon;
        EXPECT_EQ(U32At(packet, 16), c.icon) << "icon choice " << c.choice.icon;
    }
}

TEST_F(SendMessageTest, TextIsSealedWithItsTerminatorAndZerosAndCutToFit)
{
    const std::string longText(600, 'x');
    const char *texts[] = {"Backup at 18:00, please log off.", longText.c_str(), "\xcf\xf0\xe8\xe2\xe5\xf2"};
    for (const char *text : texts) {
        uint8_t packet[kSealMessagePacketSize];
        const MessageChoice c = {0, 0, 0};
        ASSERT_EQ(BuildSendMessage(&c, text, packet), 604u);
        Bytes want(512, 0);
        const size_t n = std::min(strlen(text), (size_t)kSendTextMax);
        memcpy(want.data(), text, n);
        want[511] = 1; // 511 plain bytes and one pad byte
        EXPECT_EQ(OpenText(packet), want) << "text of " << strlen(text) << " bytes";
    }
}

TEST_F(SendMessageTest, NothingIsBuiltWithoutTheKey)
{
    EnvelopeRelease();
    uint8_t packet[kSealMessagePacketSize];
    const MessageChoice c = {0, 0, 0};
    EXPECT_EQ(BuildSendMessage(&c, "hi", packet), 0u);
}

} // namespace

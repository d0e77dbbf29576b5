// Payloads of the session's opening: the login packet, the login reply, the client
// information and the session stamp; and which commands each right grants. Portable.
#pragma once
#include <cstddef>
#include <cstdint>

#include "session/packet.h"

enum {
    RIGHT_REMOTE_CONTROL = 2,
    RIGHT_FILE_TRANSFER = 4,
    RIGHT_AGENT_SETTINGS = 8,
    kViewerProtocolVersion = 0x0322,
    kLoginPacketSize = 12 + 88,
    kClientInfoPacketSize = 12 + 12,
};

struct LoginInfo {
    uint16_t agentVersion; // major * 256 + minor
    uint8_t osPlatform;    // 1 9x family, 2 NT family
    uint32_t osMajor;
    int32_t osMinor;
    char computerName[16]; // always terminated
    uint32_t rights;
    uint32_t sliderLevel;
};

// Refuses a payload shorter than 39 bytes. The computer name is terminated even when
// the Agent filled all 16 bytes.
int ParseLoginReply(const SessPacketHeader *h, const uint8_t *payload, uint32_t *status, LoginInfo *info);

// PKT_LOGIN: the sealed first 15 bytes of the password buffer. Returns the length.
size_t BuildLoginPacket(const uint8_t password[15], uint8_t out[kLoginPacketSize]);

// PKT_CLIENT_INFO: local planes and bits per pixel, the slow-network flag, version 0x0322.
size_t BuildClientInfo(uint16_t planes, uint16_t bitsPerPixel, uint32_t slowNet, uint8_t out[kClientInfoPacketSize]);

// Commands a rights word grants, terminated by 0: 40002, 40004, 40003, 40024 for remote
// control, 40012 for settings, 40013 for file transfer. out holds at least 8 ids.
int CommandsForRights(uint32_t rights, uint32_t *out);

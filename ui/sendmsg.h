// PKT_SEND_MESSAGE: the operator's choices and the whole 604-byte packet, the text
// sealed for the Agent. Portable, no state.
#pragma once
#include <cstddef>
#include <cstdint>

#include "session/envelope.h"

enum : uint32_t {
    kSendTextMax = kSealMessagePlain - 1, // the sealed buffer keeps its terminator
    kSendNoTimeout = 0xFFFFFFFFu,
    kSendTimeoutOffset = 12, // packet offsets of the two leading fields
    kSendIconOffset = 16,
};

// What the send-message dialog remembers from one use to the next. Zero-filled it is
// the start: the information icon and no time-out.
struct MessageChoice {
    uint32_t icon;    // 0 information, 1 warning, 2 question, 3 error
    uint32_t timed;   // 0: the box stays until the remote user closes it
    uint32_t seconds; // time-out when timed
};

// The message-box icon flag the Agent shows: 64, 48, 32, and 16 for any other choice.
uint32_t MessageIconFlag(uint32_t icon);
// The time-out field: the seconds, or kSendNoTimeout.
uint32_t MessageTimeoutField(const MessageChoice *c);

// The whole packet: header (type 19, length 592, required), the two fields and the
// text (cut to kSendTextMax bytes, then zeros) sealed with SealMessage. Returns
// kSealMessagePacketSize, or 0 when the text cannot be sealed (no key or random).
size_t BuildSendMessage(const MessageChoice *c, const char *text, uint8_t packet[kSealMessagePacketSize]);

// Byte layouts of the records the viewer leaves in the management console's shared
// memory. Portable: used by the viewer, the console stand-in and the tests.
#pragma once
#include <cstddef>
#include <cstdint>

enum {
    kManagerMapSize = 2048,
    kConnectionRecordSize = 40,
    kMessageCaptionSize = 64,
    kMessageTextMax = 1023,
    kMessageRecordMax = 72 + kMessageTextMax + 1,
    kManagerNotifyMessage = 0x0400 + 300, // WM_USER + 300
};

#define CORVID_MANAGER_MAP_NAME     "CV_TO_TALLYDESK_MAP"
#define CORVID_MANAGER_MUTEX_NAME   "CVTOTALLYMAPMUTEX"
#define CORVID_MANAGER_DONE_EVENT   "TALLYDESK_TO_CV_COMLETED"
#define CORVID_MANAGER_WINDOW_CLASS "TALLYDESK:MAIN"
#define CORVID_TERM_EVENT_FORMAT    "CVTERM:%08X"
#define CORVID_MESSAGE_CAPTION      "Corvids 3.0"

struct ConnectionRecord {
    uint32_t state;    // 1 logged in, 0 connection closed
    uint32_t protocol; // 0 TCP, 1 SPX
    uint8_t address[4];
    uint8_t node[6];
    uint32_t passwordReturned;
    char password[18];
};

struct MessageRecord {
    uint32_t startupFlag; // 1 when the viewer ends during start-up
    char caption[kMessageCaptionSize];
    char text[kMessageTextMax + 1];
};

// Writes the 40-byte record. The password field carries at most 17 bytes and a zero.
void EncodeConnectionRecord(uint8_t out[kConnectionRecordSize], const ConnectionRecord *r);
int DecodeConnectionRecord(const uint8_t *in, size_t len, ConnectionRecord *r);

// Caption "Corvids 3.0", plus " - [host]" when hostText is not empty; text cut to 1023.
void MakeMessageRecord(MessageRecord *r, uint32_t startupFlag, const char *hostText, const char *text);
// Returns the bytes written (72 + text + terminator), 0 when cap is too small.
size_t EncodeMessageRecord(uint8_t *out, size_t cap, const MessageRecord *r);
// Refuses a record whose kind is not 2; strings are always terminated on return.
int DecodeMessageRecord(const uint8_t *in, size_t len, MessageRecord *r);

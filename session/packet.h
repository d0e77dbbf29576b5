// Session packet header, message type numbers, little-endian wire helpers
// and builders for the small payloads. Pure functions; safe on any thread.
#ifndef CORVID_SESSION_PACKET_H
#define CORVID_SESSION_PACKET_H

#include <cstddef>
#include <cstdint>

enum : uint32_t {
    PKT_LOGIN = 0,
    PKT_LOGIN_REPLY = 1,
    PKT_CLIENT_INFO = 2,
    PKT_SCREEN_INFO = 3,
    PKT_VIEW_GRID = 4,
    PKT_SCREEN_XOR_PART = 5,
    PKT_SCREEN_REFRESH_RECT = 6,
    PKT_SCREEN_XOR_RLE_PART = 7,
    PKT_SCREEN_RLE_PART = 8,
    PKT_PALETTE = 9,
    PKT_INPUT_EVENT = 10,
    PKT_KEYBOARD_LIGHTS = 11,
    PKT_AGENT_KEYS = 12,
    PKT_DESKTOP_RESTART = 13,
    PKT_CURSOR_STANDARD = 14,
    PKT_CURSOR_SHAPE = 15,
    PKT_SET_SWITCH = 16,
    PKT_CLIPBOARD_TEXT = 17,
    PKT_SET_CLIPBOARD_SYNC = 18,
    PKT_SEND_MESSAGE = 19,
    PKT_SET_LEVEL = 20,
    PKT_CONSOLE_STOP = 21,
    PKT_CONSOLE_START = 22,
    PKT_CONSOLE_CURSOR = 23,
    PKT_CONSOLE_LINE = 24,
    PKT_GET_AGENT_SETTINGS = 25,
    PKT_AGENT_SETTINGS_COMMON = 26,
    PKT_AGENT_SETTINGS_COMMUNITIES = 27,
    PKT_CURSOR_POS = 28,
    PKT_FT_LIST_DIR = 29,
    PKT_FT_DIR_LISTING = 30,
    PKT_FT_DIR_LISTING_MORE = 31,
    PKT_FT_SET_ATTRIBUTES = 32,
    PKT_FT_SET_ATTRIBUTES_RESULT = 33,
    PKT_FT_RENAME = 34,
    PKT_FT_RENAME_RESULT = 35,
    PKT_FT_CREATE_DIR = 36,
    PKT_FT_CREATE_DIR_RESULT = 37,
    PKT_FT_DELETE = 38,
    PKT_FT_CONFIRM_DELETE = 39,
    PKT_FT_ANSWER = 40,
    PKT_FT_ERROR = 41,
    PKT_FT_ACK = 42,
    PKT_FT_FILE_BEGIN = 43,
    PKT_FT_FILE_DATA = 44,
    PKT_FT_CONFIRM_OVERWRITE = 45,
    PKT_FT_DOWNLOAD = 46,
    PKT_SESSION_STAMP = 47,
    PKT_FT_ABORT = 48,
    PKT_AGENT_SETTINGS_STRING = 52,
    PKT_AGENT_SETTINGS_NODE_LISTS = 54,
    PKT_AGENT_SETTINGS_FLAG = 57,
    PKT_SELECT_SCREEN = 58,
};

// Fixed payload lengths (dwDataLen) as the viewer sends or expects them.
enum : uint32_t {
    kLoginLen = 88,
    kLoginReplyLen = 39,
    kClientInfoLen = 12,
    kScreenInfoLen = 12,
    kViewGridLen = 4,
    kScreenRefreshRectLen = 4,
    kPaletteLen = 1024,
    kInputEventLen = 12,
    kKeyboardLightsLen = 3,
    kCursorStandardLen = 4,
    kCursorShapeLen = 261,
    kSetSwitchLen = 4,
    kSetClipboardSyncLen = 4,
    kSendMessageLen = 592,
    kSetLevelLen = 4,
    kConsoleCursorLen = 12,
    kAgentSettingsCommonSendLen = 68,
    kAgentSettingsCommonReadLen = 56,
    kCursorPosLen = 8,
    kFtListDirLen = 265,
    kFtSetAttributesLen = 265,
    kFtRenameLen = 526,
    kFtCreateDirLen = 261,
    kFtDeleteLen = 277,
    kFtAnswerLen = 20,
    kFtDownloadLen = 554,
    kSessionStampLen = 4,
    kAgentSettingsStringLen = 281,
    kAgentSettingsFlagLen = 4,
    kSelectScreenLen = 16,
};

enum : uint32_t {
    kPacketHeaderSize = 12,
    kMaxPacketSize = 32768, // header + payload
    // The ReceiveBuffer holds several packets, so that a busy stream is taken in few
    // reads: each read is a round trip to the wineserver under Wine.
    kReceiveBufferSize = 8 * kMaxPacketSize,
    kMaxPayloadSize = kMaxPacketSize - kPacketHeaderSize,
};

// Menu commands 41000..41254 choose remote screens 1..255.
enum : uint32_t {
    kCmdScreenFirst = 41000,
    kCmdScreenLast = 41254,
};

struct SessPacketHeader {
    uint32_t dwType;
    uint32_t dwDataLen;
    uint32_t dwRequired;
};

// Little-endian access at any byte address; wire records are packed.
void PutU16LE(uint8_t *p, uint16_t v);
void PutU32LE(uint8_t *p, uint32_t v);
uint16_t GetU16LE(const uint8_t *p);
uint32_t GetU32LE(const uint8_t *p);

// Bounded sequential reader. The first failed read clears ok for good and
// every later read yields zeros, so a parser may read a whole record and
// test ok once at the end.
struct ByteReader {
    const uint8_t *data;
    size_t len;
    size_t off;
    int ok;
};

void ByteReaderInit(ByteReader *r, const uint8_t *data, size_t len);
size_t ByteReaderLeft(const ByteReader *r);
uint8_t ReadU8(ByteReader *r);
uint16_t ReadU16LE(ByteReader *r);
uint32_t ReadU32LE(ByteReader *r);
int32_t ReadI32LE(ByteReader *r);
int ReadBytes(ByteReader *r, void *out, size_t n);
int SkipBytes(ByteReader *r, size_t n);
// Reads a zero-terminated string held in a fixed field of fieldLen bytes
// into out (always terminated, cut to outCap - 1); advances by fieldLen.
int ReadFixedString(ByteReader *r, size_t fieldLen, char *out, size_t outCap);

// Header codec; both return nonzero on success.
int EncodePacketHeader(const SessPacketHeader *h, uint8_t *out, size_t outCap);
int DecodePacketHeader(const uint8_t *in, size_t inLen, SessPacketHeader *h);

// dwRequired the viewer puts in a packet of this type.
uint32_t ViewerRequiredFlag(uint32_t type);

// Builders write header + payload into out and return the total length,
// or 0 when the packet is over kMaxPacketSize or does not fit in outCap.
// payload may overlap out (for instance a payload prepared at out + 12).
size_t BuildPacketWithFlag(uint32_t type, uint32_t required, const void *payload, size_t len, uint8_t *out,
                           size_t outCap);
size_t BuildPacket(uint32_t type, const void *payload, size_t len, uint8_t *out, size_t outCap);
size_t BuildAgentKeys(uint8_t *out, size_t outCap);
size_t BuildSetSwitch(int on, uint8_t *out, size_t outCap);
size_t BuildSetClipboardSync(int on, uint8_t *out, size_t outCap);
size_t BuildGetAgentSettings(uint8_t *out, size_t outCap);
size_t BuildSessionStamp(uint32_t stamp, uint8_t *out, size_t outCap);
// number is 1..255; 0 is refused.
size_t BuildSelectScreen(uint32_t number, uint8_t *out, size_t outCap);
// Maps a screen menu command to its 1-based screen number; 0 when the
// command is outside 41000..41254.
int ScreenNumberFromCommand(uint32_t command, uint32_t *number);

// Payload parsers. Each refuses (returns 0) a dwDataLen shorter than the
// fixed payload instead of reading past it; longer payloads are accepted.
int ParseU32Payload(const SessPacketHeader *h, const uint8_t *payload, uint32_t *value);
int ParseCursorPos(const SessPacketHeader *h, const uint8_t *payload, uint32_t *x, uint32_t *y);
int ParseSelectScreen(const SessPacketHeader *h, const uint8_t *payload, uint32_t *number);

#endif

// The Agent's own settings as the viewer holds them between the request and the reply
// it sends back: the common switches, a text and a number, a flag, two protocol node
// lists and four communities (access levels) with a password and nodes per protocol.
// Portable: parsing the six messages, packing them back, the rules of the editing
// dialogs. No locking: the Agent sends only in answer to a request, and the sheet opens
// only after the last packet was stored.
#pragma once
#include <cstddef>
#include <cstdint>

#include "session/packet.h"

enum : uint32_t {
    kAsCommonFields = 14,
    kAsCommonReadLen = 56, // what the viewer reads of PKT_AGENT_SETTINGS_COMMON
    kAsCommonSendLen = 68, // what it sends: the 56 bytes and 12 zero bytes
    kAsTextMax = 260,      // characters of the text
    kAsTextField = 261,    // its field in PKT_AGENT_SETTINGS_STRING
    kAsStringLen = 281,    // text field and the unaligned number
    kAsNumberMax = 100,
    kAsFlagLen = 4,
    kAsNodeBlock = 128, // every node string lives in a block of its own
    kAsNodeMax = 127,   // characters of a node
    kAsPasswordField = 16,
    kAsPasswordMax = 15,
    kAsCommunities = 4,
    kAsProtocols = 2, // 0 TCP/IP, 1 IPX/SPX
    kAsIpxNodeDigits = 12,
    kAsNodeCountMax = 32767, // nodes one array holds (what a list box shows); more is refused
    kAsPacketBuffer = 32768, // the packing buffer; no packet sent is longer
    kAsVersionString = 784,  // the Agent takes the text, number and flag from these versions on
    kAsVersionNodeLists = 787,
    kAsVersionFlag = 791,
};

// Indexes into AgentSettings::common, in the order of the payload (offset 4 * index).
enum AsCommonField {
    AS_MODE,
    AS_SWITCH_A,
    AS_TRISTATE,      // 0 not available, 2 on, 3 off (other nonzero values show as off)
    AS_TCP_AVAILABLE, // never changed by the viewer
    AS_IPX_AVAILABLE,
    AS_TCP_IN_USE, // communities in use for TCP/IP
    AS_IPX_IN_USE,
    AS_SWITCH_B,
    AS_SWITCH_C,
    AS_SWITCH_D,
    AS_SWITCH_E,
    AS_SWITCH_F,
    AS_LEVEL,       // 0..7
    AS_OPTION_BITS, // bit 0 available, bit 1 on, the rest kept as received
};

// A count and an array of 128-byte blocks, each a NUL-terminated string.
struct AsNodeArray {
    int32_t count;
    char (*nodes)[kAsNodeBlock];
};

struct AsProtocolBlock {
    char password[kAsPasswordField]; // NUL-terminated, at most 15 characters
    AsNodeArray nodes;
};

struct AsCommunity {
    AsProtocolBlock protocol[kAsProtocols];
};

struct AgentSettings {
    uint32_t common[kAsCommonFields];
    char text[kAsTextField]; // NUL-terminated
    uint32_t number;
    uint32_t flag;
    AsNodeArray lists[kAsProtocols]; // the ProtocolNodeLists
    AsCommunity communities[kAsCommunities];
};

// ---- receiving (receive thread) -------------------------------------------------------
// Each checks the payload against dwDataLen before it stores anything: a refused packet
// returns 0 with *why set (a phrase for the log line, e.g. "shorter than its 56 bytes")
// and leaves the settings as they were. A node string longer than 127 characters is cut
// to 127 and the packet taken (*why then names the cut, the return is 1). Lack of memory
// ends the packet's handling with 0 and *why "no memory"; what was stored stays.
// A taken packet with nothing to report leaves *why NULL. A longer dwDataLen than the
// content needs is accepted.

// PKT_AGENT_SETTINGS_COMMON: the fourteen fields; from an Agent below version 791 the
// flag becomes 1.
int AsReceiveCommon(AgentSettings *s, const SessPacketHeader *h, const uint8_t *payload, uint16_t agentVersion,
                    const char **why);
// PKT_AGENT_SETTINGS_STRING: the text (cut to 260 characters) and the number.
int AsReceiveString(AgentSettings *s, const SessPacketHeader *h, const uint8_t *payload, const char **why);
// PKT_AGENT_SETTINGS_FLAG.
int AsReceiveFlag(AgentSettings *s, const SessPacketHeader *h, const uint8_t *payload, const char **why);
// PKT_AGENT_SETTINGS_NODE_LISTS: every record's strings appended to the list it names.
int AsReceiveNodeLists(AgentSettings *s, const SessPacketHeader *h, const uint8_t *payload, const char **why);
// PKT_AGENT_SETTINGS_COMMUNITIES: a present password opened into its community and
// protocol (one that does not open leaves the password as it was, *why says so), the
// nodes appended. *last is set to whether this was the transfer's last packet; it is 0
// whenever the return is 0 (the transfer is then incomplete).
int AsReceiveCommunities(AgentSettings *s, const SessPacketHeader *h, const uint8_t *payload, int *last,
                         const char **why);

// ---- sending (user-interface thread) ------------------------------------------------
// Takes one whole packet (header included); returns nonzero when it was queued.
typedef int (*AsQueueFn)(void *ctx, const uint8_t *packet, size_t length);

// Every setting back to an Agent of agentVersion, in order: common (68 bytes), string
// (784 on), flag (791 on), node lists (787 on), the eight protocol blocks as
// communities, every password sealed afresh. Returns 0 as soon as one packet was not
// queued (the rest is not sent) or a password could not be sealed, else 1.
int AsSendAll(const AgentSettings *s, uint16_t agentVersion, AsQueueFn queue, void *ctx);

// Frees every node string of both lists and all eight protocol blocks; counts become 0.
// Passwords, the common fields, text, number and flag stay.
void AsRelease(AgentSettings *s);

// ---- editing (user-interface thread) ------------------------------------------------
// Appends a copy of text (cut to 127 characters); 0 when out of memory.
int AsNodeAppend(AsNodeArray *a, const char *text);
// Replaces entry index with text (cut to 127); 0 for an index out of range.
int AsNodeReplace(AsNodeArray *a, int index, const char *text);
// Removes entry index and closes the gap; the array is freed when it was the last.
void AsNodeRemove(AsNodeArray *a, int index);

// Whether a closed sheet goes back to the Agent: applied is the flag OK's PSN_APPLY set.
// PropertySheet's result does not decide, since Windows returns 0 after an OK when no
// page marked itself changed, and -1 only when the sheet could not be shown.
int AsSheetConfirmed(intptr_t sheetResult, int applied);

// The community names in level order, English or Russian (code page 1251).
const char *AsCommunityName(int index, int russian);

// The first community (level order) with at least one node and an empty password for
// the protocol, or -1: leaving a protocol page is refused while there is one.
int AsCommunityMissingPassword(const AgentSettings *s, int protocol);

// A password passes when empty or when every byte is an ASCII letter or digit, '_',
// or 0xA8, 0xB8 or 0xC0..0xFF (Cyrillic letters of code page 1251).
int AsPasswordCharsOk(const char *password);

// While an IPX/SPX node is typed: the text is "*" or hexadecimal digits only (empty
// passes).
int AsIpxNodeTypingOk(const char *text);
// An IPX/SPX node as the dialog returns it: blanks at both ends removed, upper case,
// empty stays empty, "*" stays, anything else left-padded with zeros to 12 digits (a
// longer text keeps its last 12 characters). out holds 13 bytes.
void AsIpxNodeFinish(const char *typed, char out[kAsIpxNodeDigits + 1]);
// Removes blanks (space and tab) at both ends, in place.
void AsTrimBlanks(char *text);

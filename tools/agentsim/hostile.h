// A compromised Agent: a reproducible stream of packets of every type the viewer reads,
// with lengths at and around each type's size and contents built to be wrong, that a
// sound viewer survives; and, one at a time, packets that end the session on purpose.
// Pure: the same seed and screen give the same bytes.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "desktop/tiles.h"

// The kinds counted apart: the Agent-to-viewer types the viewer handles, in this order,
// then every other type (sent with dwRequired 0).
enum { kHostileKinds = 14, kHostileOther = kHostileKinds - 1, kHostileLater = kHostileOther - 1 };
extern const uint32_t kHostileTypes[kHostileOther];

// Screens in the stream stay showable: sides 32..2048, depths 1, 4, 8 and 16.
enum { kHostileSideMin = 32, kHostileSideMax = 2048 };
enum { kHostileCountMax = 1000000 };

struct HostileStream {
    uint64_t state;                            // splitmix64
    uint32_t left;                             // packets still to make
    uint32_t skip;                             // bit k: kind k is left out
    uint16_t baseWidth, baseHeight, baseDepth; // the screen the simulator announces
    TileLayout layout;                         // the screen the viewer is taken to show (for tile-exact sizes)
    int layoutValid;
    uint32_t burst;                          // screen parts still to follow a restart at once
    uint32_t clipTotal, clipCount, clipNext; // the sound clipboard text being sent
    uint64_t sent[kHostileKinds];
    uint64_t bytes;
};

// Kind index of a type: 0..11 for the handled types of the desktop and the clipboard,
// kHostileLater for the console, settings and file-transfer types of the route table
// (one kind), kHostileOther for the rest.
int HostileKindOf(uint32_t type);
// "1", "3", ... "28", "17", "later", "other".
const char *HostileKindName(int kind);

// count packets (1..kHostileCountMax) from seed, for a viewer showing width x height at
// depth; skip is a mask of kinds left out (not all of them). Returns 0 on a bad count.
int HostileInit(HostileStream *s, uint64_t seed, uint32_t count, uint32_t skip, uint16_t width, uint16_t height,
                uint16_t depth);
// Appends the next whole packet to out; returns its length (header included), 0 once
// the stream is done.
size_t HostileNext(HostileStream *s, std::vector<uint8_t> *out);

// Packets the viewer must answer by ending the session.
enum HostileFatal {
    kFatalUnknownRequired, // type 60 with dwRequired 1
    kFatalShortLogin,      // PKT_LOGIN_REPLY of 38 bytes, as the answer to the next login
    kFatalShortScreen,     // PKT_SCREEN_INFO of 11 bytes
    kFatalTooLong,         // a header announcing one byte over the packet limit
    kFatalScreenNarrow,    // 31 x 600 at 16 bits
    kFatalScreenDepth,     // 640 x 480 at 24 bits
    kFatalScreenHuge,      // 65535 x 65535 at 16 bits
    kFatalKinds,
};
// KIND names: unknown-required, short-login, short-screen, too-long, screen-narrow,
// screen-depth, screen-huge. Returns the kind, or -1.
int HostileFatalParse(const char *name, size_t len);
const char *HostileFatalName(int kind);
// Appends the packet's bytes (for too-long: the header and some of the payload). A
// short login reply ends only a session not yet logged in; after the login one is
// ignored: nothing is appended for it, the simulator cuts its next answer instead.
void HostileFatalBytes(int kind, std::vector<uint8_t> *out);

// Floods: N sound packets of one kind back to back, each a little different from the
// last so that the viewer does its real work for every one.
enum HostileFloodKind {
    kFloodCursorPos,   // PKT_CURSOR_POS walking over the screen
    kFloodCursorShape, // PKT_CURSOR_SHAPE, arrow and box by turns, hot spot moving
    kFloodRestart,     // PKT_DESKTOP_RESTART, no payload
    kFloodPalette,     // PKT_PALETTE, 256 entries shifting
    kFloodLights,      // PKT_KEYBOARD_LIGHTS counting up
    kFloodFtReplies,   // rename, folder and attribute results nobody asked for
    kFloodKinds,
};
enum { kFloodCountMax = 100000 };
// KIND names: cursor-pos, cursor-shape, restart, palette, lights, ft-replies. Returns
// the kind, or -1.
int HostileFloodParse(const char *name, size_t len);
const char *HostileFloodName(int kind);
// Appends count packets of kind for a screen of width x height.
void HostileFloodBytes(int kind, uint32_t count, uint16_t width, uint16_t height, std::vector<uint8_t> *out);

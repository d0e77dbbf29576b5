// Command line of the Agent simulator. Pure; no sockets, no files.
#pragma once
#include <cstddef>
#include <cstdint>

enum { kSimComputerNameMax = 15, kSimPasswordMax = 15 };
enum : uint32_t { kSimControlAny = 0x10000 }; // beyond the port range
enum { kSimSceneDemo = 0, kSimSceneFile, kSimSceneSolid };
enum { kSimFpsMax = 1000 };

struct SimOptions {
    char listenAddr[64];
    uint32_t port;        // 0: let the system choose, reported in the listening event
    uint32_t controlPort; // 0: no control channel; kSimControlAny: any free port
    const char *keyPath;
    char password[kSimPasswordMax + 1];
    uint32_t status; // login status when the password matches
    uint16_t agentVersion;
    uint8_t osPlatform;
    uint32_t osMajor;
    int32_t osMinor;
    char computer[kSimComputerNameMax + 1];
    uint32_t rights;
    uint32_t slider;
    uint16_t screenWidth, screenHeight, screenBpp;
    uint8_t screenCount;
    uint8_t screenCurrent; // 1-based; 0 is sent as is (the viewer reads it as 1)
    const char *logPath;   // NULL: stdout
    int once;
    uint32_t sendBuffer;        // SO_SNDBUF for viewer connections; 0: system default
    uint32_t receiveBuffer;     // SO_RCVBUF for viewer connections; 0: system default
    int scene;                  // kSimScene*
    const char *scenePath;      // file scene: a binary PPM
    uint8_t solid[3];           // solid scene: red, green, blue
    uint32_t fps;               // animation frames per second; 0: static
    int customPalette;          // 8 bits: send a distinctive palette instead of the default one
    int flood;                  // every tile changes in every frame, sent as fast as taken
    int floodShare;             // 1..99: only that share of the tiles changes per frame (0: all)
    int cursorFollow;           // answer each mouse event with PKT_CURSOR_POS at its point
    uint32_t loginReplyLen;     // 1..38: the next login is answered with only this many bytes; 0: all
    int blankPasswordCommunity; // 0..3: that community has no passwords in the built-in settings; -1: none
    const char *filesRoot[2];   // folders served as C: and D:; NULL: none
    uint32_t ftSplit;           // listing entries per packet
};

void SimOptionsInit(SimOptions *o);
// Parses argv[1..argc-1] over the defaults already in o. On failure writes the reason
// to err and returns 0. *wantHelp is set for --help.
int SimOptionsParse(SimOptions *o, int argc, char **argv, int *wantHelp, char *err, size_t errCap);
const char *SimOptionsUsage(void);
// "WxHxBPP", each part decimal; width and height 1..65535, depth 1..32. Also used by
// the control channel's restart.
int SimParseGeometry(const char *s, uint16_t *width, uint16_t *height, uint16_t *bpp);

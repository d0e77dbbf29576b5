// Text commands of the simulator's control channel, one per line. Parsing only;
// the socket loop carries them out.
//   restart [WxHxBPP]             PKT_DESKTOP_RESTART, no payload; optionally the screen
//                                 announced at the next client information changes
//   send TYPE REQUIRED HEX|-      one packet of any type, dwRequired 0 or 1
//   raw HEX                       arbitrary bytes
//   close                         close the viewer connection
//   wait-login SECONDS            "ok" once a login has been answered
//   quit                          end the simulator
//   dump PATH                     the picture the viewer holds, as a binary PPM
//   frame PATH                    the scene's current frame, as a binary PPM
//   pause | resume                stop or restart the animation
//   sent-tiles                    "ok N": screen parts sent since the last sent-tiles
//   wait-synced SECONDS           "ok" once every visible tile holds the current frame
//                                 and all parts have left for the viewer
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

enum SimControlKind {
    kCtlRestart = 1,
    kCtlSend,
    kCtlRaw,
    kCtlClose,
    kCtlWaitLogin,
    kCtlQuit,
    kCtlDump,
    kCtlFrame,
    kCtlPause,
    kCtlResume,
    kCtlSentTiles,
    kCtlWaitSynced,
};

enum { kCtlWaitMaxSeconds = 3600 };

struct SimControlCommand {
    int kind;
    std::vector<uint8_t> bytes;  // restart, send, raw: what goes to the viewer
    uint32_t seconds;            // wait-login, wait-synced
    int newScreen;               // restart: the geometry below replaces the screen
    uint16_t width, height, bpp;
    std::string path;            // dump, frame: the rest of the line
};

// Parses one line (without its newline; a trailing '\r' is ignored). On failure
// writes the reason for the "error" reply to err and returns 0.
int SimParseControl(const char *line, size_t len, SimControlCommand *cmd, char *err, size_t errCap);

// Hex digits in pairs, either case, no separators; "-" is the empty string.
int SimParseHex(const char *text, size_t len, std::vector<uint8_t> *out, char *err, size_t errCap);

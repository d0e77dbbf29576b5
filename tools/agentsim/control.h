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
//   lights A B C                  PKT_KEYBOARD_LIGHTS, one byte 0..255 per light
//   cursor-std N                  PKT_CURSOR_STANDARD with any u32 index
//   cursor-shape HX HY W H2 [P]   PKT_CURSOR_SHAPE, bytes 0..255; P is arrow (default),
//                                 box, or 512 hex digits: the AND mask, then the XOR mask
//   cursor-pos X Y                PKT_CURSOR_POS, two u32
//   cursor-follow on|off          answer each mouse event with PKT_CURSOR_POS at its point
//   screens N [K] [restart]       screen count and current screen (0..255 each) for the
//                                 next screen info; restart also sends PKT_DESKTOP_RESTART
//   wait-input N [SECONDS]        "ok" once N input events in all have been received
//                                 (default 30 seconds)
//   wait-settings N [SECONDS]     "ok" once the viewer has sent the Agent settings back N
//                                 times in all (default 30 seconds)
//   settings-answer KIND          the next answer to PKT_GET_AGENT_SETTINGS is faulty: refused
//                                 (its node-lists packet announces a record more than it
//                                 carries), unfinished (its last communities packet is left
//                                 out), overfull (25,001 more nodes in each list and in both
//                                 blocks of community 0: over 100,000 in all)
//   hostile SEED COUNT [K,K...]   COUNT packets of a compromised Agent from SEED, paced to
//                                 what the viewer takes, parts of the desktop held meanwhile;
//                                 K are kinds left out (1 3 5 7 8 9 11 13 14 15 17 28 later other).
//                                 "ok SENT" once all have left, "error closed after SENT"
//   flood KIND N                  N sound packets (1..100000) of KIND back to back, as fast
//                                 as the socket takes them: cursor-pos, cursor-shape, restart,
//                                 palette, lights, ft-replies (unasked file-transfer results);
//                                 "ok N" once all have left, "error closed" if the viewer goes
//   clip HEX|-                    a clipboard text ("-": empty) as PKT_CLIPBOARD_TEXT chunks
//   clip-random N [SEED]          N bytes (up to 64 MiB) of printable text and CR LF from
//                                 SEED (default 1) as clipboard chunks
//   hostile-fatal KIND            one packet that must end the session: unknown-required,
//                                 short-screen, too-long, screen-narrow, screen-depth,
//                                 screen-huge; or short-login: the next login is answered
//                                 with 38 of the reply's 39 bytes (needs no viewer)
//   ft-error KIND                 the next delete item or copied file is answered with
//                                 PKT_FT_ERROR of KIND (0..65535) first (an upload's begin
//                                 packet, before a download's file); retry starts it again
//   ft-stop                       the next delete item or copied file ends the operation with
//                                 PKT_FT_ACK continue 0
//   ft-corrupt                    the next downloaded file's last chunk has a byte of its
//                                 padding block flipped, so it will not open
//   ft-path TEXT                  the next downloaded PKT_FT_FILE_BEGIN carries TEXT (rest of
//                                 the line, up to 260 characters) as its relative path
//   ft-short-head                 the next downloaded file's begin packet carries 40 data
//                                 bytes, less than the envelope head
//   ft-oversize                   the next download packet goes as a PKT_FT_FILE_DATA with a
//                                 payload of 40,000 bytes
//   ft-early                      the next downloaded file's second packet follows its first
//                                 at once, before the viewer's answer; the answer that comes
//                                 next is taken for the second
//   ft-ragged                     the next downloaded file's second packet, a chunk in its
//                                 middle when it has three or more, carries 3 bytes less
//                                 ciphertext (not whole blocks), so it will not open
//   ft-delay MS                   from now on each packet of a copy (download packets, upload
//                                 acknowledgements, questions) waits MS ms (0..60000; 0: off)
//                                 while the loop runs on
//   wait-files N [SECONDS]        "ok" once N files in all have been wholly sent or received
//                                 (default 30 seconds)
//   ft-questions N [now]          N PKT_FT_CONFIRM_OVERWRITE (1..100000) at once before the
//                                 next copied file, or now about C:\question.txt; until
//                                 every one is answered no request is served, then all yes
//                                 goes on and any stop ends the copy (ft_questions_answered)
//   ft-attr ATTRS PATH            the Windows attributes kept for PATH (rest of the line)
//   ft-split N                    listing entries per packet from now on (1..100000)
//   ft-endless [MS]               the next listing never completes: PKT_FT_DIR_LISTING_MORE
//                                 packets of made-up entries follow, one each MS ms (default
//                                 20, 0..60000; 0: as fast as the viewer takes them), until the
//                                 viewer sends another request or goes
//   ft-damaged                    the next listing's second packet (the head when it is the
//                                 only one) announces an entry more than it carries
//   console-open W H ATTR [PATH]  PKT_CONSOLE_START of W x H cells (W * H up to 7,920), ATTR
//                                 the colours in hex; the text of file PATH, or a made-up
//                                 screen without it
//   console-line ROW [TEXT]       row ROW set to the rest of the line: PKT_CONSOLE_LINE
//   console-cursor X Y SIZE VIS   PKT_CONSOLE_CURSOR
//   console-close                 PKT_CONSOLE_STOP
//   console-echo on|off           write typed keys into the console screen (default on)
//   console-dump PATH             the console screen as text, one line per row
//   console-starts N [WxH,...]    N PKT_CONSOLE_START (1..1000000) as fast as the viewer takes
//                                 them, cycling the sizes (up to 16, default 1x1); start n
//                                 shows "Start n", cursor (n % W, n % H); "ok N" once all left
//   fill X Y W H RRGGBB | off     a rectangle of one colour over every frame from now on,
//                                 replacing the last; "ok N" names the change, and a
//                                 "change_sent" event with id N logs the monotonic time its
//                                 last part left (parts 0: nothing on screen changed)
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
    kCtlStall,
    kCtlUnstall,
    kCtlSentTiles,
    kCtlWaitSynced,
    kCtlLights,
    kCtlCursorStd,
    kCtlCursorShape,
    kCtlCursorPos,
    kCtlCursorFollow,
    kCtlScreens,
    kCtlWaitInput,
    kCtlHostile,
    kCtlHostileFatal,
    kCtlClip,
    kCtlWaitSettings,
    kCtlFtError,
    kCtlFtStop,
    kCtlFtAttr,
    kCtlFtSplit,
    kCtlConsoleOpen,
    kCtlConsoleLine,
    kCtlConsoleCursor,
    kCtlConsoleClose,
    kCtlConsoleEcho,
    kCtlConsoleDump,
    kCtlFtCorrupt,
    kCtlFtPath,
    kCtlFtShortHead,
    kCtlFtOversize,
    kCtlFtEarly,
    kCtlFtRagged,
    kCtlFtDelay,
    kCtlWaitFiles,
    kCtlFill,
    kCtlFtQuestions,
    kCtlFtEndless,
    kCtlFtDamaged,
    kCtlFlood,
    kCtlConsoleStarts,
    kCtlSettingsAnswer,
};

enum { kCtlWaitMaxSeconds = 3600, kCtlWaitInputDefaultSeconds = 30 };

struct SimControlCommand {
    int kind;
    std::vector<uint8_t> bytes; // restart, send, raw, lights, cursor-*: what goes to the viewer
    uint32_t seconds;           // wait-login, wait-synced, wait-input, wait-settings, wait-files
    uint32_t count;             // wait-input: input events in all; wait-settings: transfers;
                                // wait-files: files; hostile, flood: packets; console-starts
    uint32_t seed, skip;        // hostile: generator seed, mask of kinds left out
    int fatal;                  // hostile-fatal: the kind (HostileFatal); flood: HostileFloodKind
    int on;                     // cursor-follow; ft-questions: now
    uint8_t screenCount;        // screens
    int hasCurrent;             // screens: K was given
    uint8_t screenCurrent;
    int announce;  // screens: restart given; bytes hold PKT_DESKTOP_RESTART
    int newScreen; // restart: the geometry below replaces the screen
    uint16_t width, height, bpp;
    std::string path;          // dump, frame, ft-attr, ft-path: the rest of the line
    uint32_t value;            // ft-error: the kind; ft-attr: the attributes; ft-split: entries;
                               // ft-delay, ft-endless: milliseconds; ft-questions: how many;
                               // settings-answer: the SimSettingsFault
    std::vector<uint8_t> text; // clip, clip-random: the text; bytes hold its chunks;
                               // console-line: the row's text
    uint16_t attr;             // console-open
    uint32_t row;              // console-line
    uint32_t rect[4];          // fill: x, y, width, height (on: given; 0: fill off)
    uint8_t rgb[3];
    uint32_t cursor[4];          // console-cursor: x, y, size, visible
    std::vector<uint16_t> sizes; // console-starts: width, height pairs
};

// Parses one line (without its newline; a trailing '\r' is ignored). On failure
// writes the reason for the "error" reply to err and returns 0.
int SimParseControl(const char *line, size_t len, SimControlCommand *cmd, char *err, size_t errCap);

// Hex digits in pairs, either case, no separators; "-" is the empty string.
int SimParseHex(const char *text, size_t len, std::vector<uint8_t> *out, char *err, size_t errCap);

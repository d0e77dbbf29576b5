// The simulated Agent's protocol logic: one received packet in, log lines and reply
// bytes out. No sockets; the socket loop and the tests drive it alike.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <openssl/evp.h>

#include "desktop/clipboard.h"
#include "session/packet.h"
#include "tools/agentsim/console.h"
#include "tools/agentsim/desktop.h"
#include "tools/agentsim/files.h"
#include "tools/agentsim/options.h"
#include "tools/agentsim/settings.h"

struct SimSession {
    const SimOptions *opt;
    EVP_PKEY *key;                 // recovers the DES key for the log; NULL leaves it out
    uint32_t loginReplies;         // login replies produced on this connection
    int loggedIn;                  // the last login was accepted
    SimDesktop *desk;              // NULL: no desktop is served (screen info only)
    uint32_t inputEvents;          // well-formed PKT_INPUT_EVENT packets on this connection
    int clipSync;                  // the viewer's last PKT_SET_CLIPBOARD_SYNC said on
    ClipAssembly clip;             // a text being collected from the viewer's chunks
    std::vector<uint8_t> clipText; // its bytes, total long
    SimSettings settings;          // the Agent's settings and the viewer's transfer of them
    SimFiles *files;               // NULL: no file service (file-transfer packets are only logged)
    SimConsole console;            // the text console shown on the viewer, if open
};

struct SimOutput {
    std::string log;            // whole JSON lines
    std::vector<uint8_t> reply; // bytes to send to the viewer
    uint32_t screen = 0;        // a PKT_SELECT_SCREEN chose this screen (1-based); 0: none
};

// desk may be NULL; with one, client information (re)starts it and the view range
// packets steer it. files may be NULL; with one, its open operation is forgotten.
void SimSessionInit(SimSession *s, const SimOptions *opt, EVP_PKEY *key, SimDesktop *desk = nullptr,
                    SimFiles *files = nullptr);

// Logs the packet and appends any answer. Returns 0 when the packet was refused
// (an error event is logged and nothing answered), 1 otherwise.
int SimHandlePacket(SimSession *s, const SessPacketHeader *h, const uint8_t *payload, SimOutput *out);

// Whole packets (header and payload) appended to out; return the bytes added.
size_t SimAppendLoginReply(const SimOptions *opt, uint32_t status, std::vector<uint8_t> *out);
size_t SimAppendScreenInfo(const SimOptions *opt, std::vector<uint8_t> *out);

// One "sent" line per whole packet in bytes[0..len), or one "sent_raw" line when the
// bytes do not split into whole packets.
void SimLogSent(std::string *log, const uint8_t *bytes, size_t len);
void SimLogError(std::string *log, const char *what);

// Appends one whole packet (header with dwRequired 1, then the payload) to out.
void SimAppendPacket(uint32_t type, const uint8_t *payload, size_t len, std::vector<uint8_t> *out);

// A clipboard text as the Agent sends it: its PKT_CLIPBOARD_TEXT chunks appended to out.
// An empty text is the one empty chunk the viewer accepts. Returns the chunks added.
uint32_t SimAppendClipText(const uint8_t *text, uint32_t len, std::vector<uint8_t> *out);
// n bytes of printable text with CR LF line ends, the same for the same seed.
void SimRandomText(uint64_t seed, uint32_t n, std::vector<uint8_t> *out);
// One line for a whole text: length, chunks, SHA-256 and the text itself (escaped; cut
// after kSimClipLogMax bytes, with text_cut set).
enum : uint32_t { kSimClipLogMax = 65536 };
void SimLogClipText(std::string *log, const char *ev, const uint8_t *text, uint32_t len);

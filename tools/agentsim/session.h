// The simulated Agent's protocol logic: one received packet in, log lines and reply
// bytes out. No sockets; the socket loop and the tests drive it alike.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <openssl/evp.h>

#include "session/packet.h"
#include "tools/agentsim/desktop.h"
#include "tools/agentsim/options.h"

struct SimSession {
    const SimOptions *opt;
    EVP_PKEY *key;          // recovers the DES key for the log; NULL leaves it out
    uint32_t loginReplies;  // login replies produced on this connection
    int loggedIn;           // the last login was accepted
    SimDesktop *desk;       // NULL: no desktop is served (screen info only)
    uint32_t inputEvents;   // well-formed PKT_INPUT_EVENT packets on this connection
};

struct SimOutput {
    std::string log;             // whole JSON lines
    std::vector<uint8_t> reply;  // bytes to send to the viewer
    uint32_t screen = 0;         // a PKT_SELECT_SCREEN chose this screen (1-based); 0: none
};

// desk may be NULL; with one, client information (re)starts it and the view range
// packets steer it.
void SimSessionInit(SimSession *s, const SimOptions *opt, EVP_PKEY *key, SimDesktop *desk = nullptr);

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

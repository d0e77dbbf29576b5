// Command-line tokens of the viewer: splitting, the target and option tokens, and the
// per-host names derived from the target. Portable; runs once on the UI thread at start.
#pragma once
#include <cstdint>

enum { PROTO_NONE = -1, PROTO_TCP = 0, PROTO_SPX = 1 };

enum { kMaxTokens = 5, kPasswordBufSize = 16, kHostTextSize = 22, kNameSize = 96 };

#define CORVID_PRODUCT_TEXT "Tessaly 3.34.1"

struct TargetOptions {
    int32_t protocol; // PROTO_NONE, PROTO_TCP or PROTO_SPX
    uint32_t ipv4;    // network byte order: first octet in the lowest byte
    uint8_t ipxNet[4];
    uint8_t ipxNode[6];
    char hostText[kHostTextSize];
    uint8_t password[kPasswordBufSize]; // zero-padded; may hold 15 bytes without terminator
    uint32_t slowNet, ctrl, retPwd;
};

struct ViewerNames {
    char instanceName[kNameSize]; // mutex and main window class
    char mainTitle[kNameSize];
    char consoleTitle[kNameSize];
    char fileTransferTitle[kNameSize];
};

// Cuts text in place at runs of blanks and tabs; no quoting. Stops once maxTokens
// tokens are terminated. Returns the token count.
int SplitCommandLine(char *text, char **tokens, int maxTokens);

// Clears the options: no target, empty password, flags off.
void TargetOptionsInit(TargetOptions *opt);

// Applies one token (which may be modified in place, as SPX= is upper-cased).
// Unknown and invalid tokens are ignored. Returns 1 when the token was used.
int ApplyCommandToken(TargetOptions *opt, char *token);

// Parses a dotted IPv4 address the way inet_addr does (1 to 4 parts, decimal, octal
// or hex). Returns the address in network byte order, or 0xFFFFFFFF when invalid.
uint32_t ParseInetAddr(const char *text);

// Dotted quad of a network-order address; out holds at least 16 characters.
void FormatInetAddr(char *out, uint32_t ipv4);

// Fills hostText from the target; returns 0 when there is no target.
int BuildHostText(TargetOptions *opt);

// InstanceName and the three window titles of a target with its hostText set.
void BuildViewerNames(const TargetOptions *opt, ViewerNames *names);

// The 512-bit key pair shared with the Agent, as PEM text compiled into the program
// (generated from session/keys/agent-rsa512.pem by cmake/embed_text.cmake).
#pragma once
#include <cstddef>

extern const char kAgentKeyPem[];    // NUL-terminated
extern const size_t kAgentKeyPemLen; // without the NUL

// Wording of network errors: "<protocol>: <text>[ <code> - <code text>]", every append
// bounded by the buffer. Portable; the texts come from the language library.
#pragma once
#include <cstddef>

// codeText may be NULL when code is 0. Returns the length written.
size_t ComposeNetError(char *out, size_t cap, const char *protocolName, const char *text, int code,
                       const char *codeText);

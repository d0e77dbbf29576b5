// Texts of the system-information dialog that follow rules rather than the language
// library alone: the remote OS name, the Agent version and the string ids chosen by
// the rights word and by a colour depth. Portable, no state.
#pragma once
#include <cstddef>
#include <cstdint>

// The remote system's name from the login reply's platform id (1: the 9x family, 2:
// the NT family) and version; the minor version counts as signed. Returns 0 for an
// unknown platform (out is then empty): the caller shows its language string.
int OsNameText(uint32_t platform, uint32_t major, int32_t minor, char *out, size_t cap);

// "major.minor" of an Agent version (major * 256 + minor), minor with two digits.
void AgentVersionText(uint32_t version, char *out, size_t cap);

// The language string naming the access level of a rights word.
uint32_t AccessLevelStringId(uint32_t rights);

// The language string naming a colour depth in bits per pixel: 1, 4, 8, 16 and 24
// have their own, anything else the "other" one.
uint32_t DepthStringId(uint32_t depth);

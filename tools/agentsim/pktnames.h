// Names of the session packet types for the simulator's log.
#pragma once
#include <cstdint>

// "PKT_..." for a known type, "unknown" otherwise.
const char *SimPacketName(uint32_t type);

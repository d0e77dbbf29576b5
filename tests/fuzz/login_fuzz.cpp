// libFuzzer entry for the login reply: one packet, parsed as the receive thread does,
// then the rights turned into commands as the UI does. Single-threaded.
#include "session/login.h"
#include "tests/fuzz/fuzz_packet.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    SessPacketHeader h;
    const uint8_t *p;
    if (!FuzzPacket(data, size, &h, &p))
        return 0;
    uint32_t status;
    LoginInfo info;
    const int ok = ParseLoginReply(&h, p, &status, &info);
    if (ok != (h.dwDataLen >= 39))
        abort();
    if (!ok)
        return 0;
    // The packed wire offsets, read again byte by byte.
    const size_t nameLen = strnlen((const char *)p + 15, 15);
    if (status != GetU32LE(p) || info.agentVersion != GetU16LE(p + 4) || info.osPlatform != p[6] ||
        info.osMajor != GetU32LE(p + 7) || (uint32_t)info.osMinor != GetU32LE(p + 11) ||
        info.rights != GetU32LE(p + 31) || info.sliderLevel != GetU32LE(p + 35))
        abort();
    if (strlen(info.computerName) != nameLen || memcmp(info.computerName, p + 15, nameLen) != 0)
        abort();
    uint32_t commands[8];
    const int n = CommandsForRights(info.rights, commands);
    if (n < 0 || n > 6 || commands[n] != 0)
        abort();
    return 0;
}

// The remote screen's geometry as the Agent announces it. Portable.
#include "desktop/screeninfo.h"

#include <cstring>

int ParseScreenInfo(const SessPacketHeader *h, const uint8_t *payload, RemoteScreen *s)
{
    if (h->dwDataLen < 12)
        return 0;
    memset(s, 0, sizeof(*s));
    s->width = GetU16LE(payload + 0);
    s->height = GetU16LE(payload + 2);
    s->planes = GetU16LE(payload + 4);
    s->bitsPerPixel = GetU16LE(payload + 6);
    s->displayDepth = GetU16LE(payload + 8);
    s->screenCount = payload[10];
    s->currentScreen = payload[11];
    s->aspect = s->height ? (double)s->width / (double)s->height : 0.0;
    return 1;
}

uint32_t ScreenDepth(const RemoteScreen *s) { return (uint32_t)s->planes * s->bitsPerPixel; }

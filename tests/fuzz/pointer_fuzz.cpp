// libFuzzer entry for the pointer and keyboard packets: the packet type chooses keyboard
// lights, standard cursor, cursor shape or cursor position; any other type goes through
// all four. Each runs the receive thread's check and then the UI's. Single-threaded.
#include "desktop/pointer.h"
#include "tests/fuzz/fuzz_packet.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

void Lights(const SessPacketHeader *h, const uint8_t *p)
{
    uint8_t lights[3];
    const int ok = ParseKeyboardLights(h, p, lights);
    if (ok != (h->dwDataLen >= 3) || (ok && memcmp(lights, p, 3) != 0))
        abort();
}

void Standard(const SessPacketHeader *h, const uint8_t *p)
{
    uint32_t value;
    if (!ParseU32Payload(h, p, &value)) {
        if (h->dwDataLen >= 4)
            abort();
        return;
    }
    int index = -1;
    const int ok = StandardCursorIndex(value, &index);
    if (ok != (value < 15) || (ok && (uint32_t)index != value))
        abort();
}

// The receive thread copies 261 bytes into a block of their own for the UI thread.
void Shape(const SessPacketHeader *h, const uint8_t *p)
{
    CursorShape s;
    const int direct = ParseCursorShape(p, h->dwDataLen, &s);
    if (h->dwDataLen < kCursorShapeLen) {
        if (direct)
            abort();
        return;
    }
    uint8_t *block = (uint8_t *)malloc(kCursorShapeLen);
    memcpy(block, p, kCursorShapeLen);
    const int ok = ParseCursorShape(block, kCursorShapeLen, &s);
    if (ok != direct)
        abort();
    // What CreateCursor reads: rowBytes * height bytes of each mask, rows whole words.
    if (ok && (s.width < 1 || s.height < 1 || s.rowBytes % 2 || s.rowBytes * 8 < s.width ||
               s.rowBytes * s.height > kCursorMaskBytes || s.hotX != block[0] || s.hotY != block[1] ||
               memcmp(s.andMask, block + 5, kCursorMaskBytes) || memcmp(s.xorMask, block + 133, kCursorMaskBytes)))
        abort();
    free(block);
}

void Position(const SessPacketHeader *h, const uint8_t *p)
{
    uint32_t x, y;
    const int ok = ParseCursorPos(h, p, &x, &y);
    if (ok != (h->dwDataLen >= 8) || (ok && (x != GetU32LE(p) || y != GetU32LE(p + 4))))
        abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    SessPacketHeader h;
    const uint8_t *p;
    if (!FuzzPacket(data, size, &h, &p))
        return 0;
    const uint32_t t = h.dwType;
    const int any =
        t != PKT_KEYBOARD_LIGHTS && t != PKT_CURSOR_STANDARD && t != PKT_CURSOR_SHAPE && t != PKT_CURSOR_POS;
    if (any || t == PKT_KEYBOARD_LIGHTS)
        Lights(&h, p);
    if (any || t == PKT_CURSOR_STANDARD)
        Standard(&h, p);
    if (any || t == PKT_CURSOR_SHAPE)
        Shape(&h, p);
    if (any || t == PKT_CURSOR_POS)
        Position(&h, p);
    return 0;
}

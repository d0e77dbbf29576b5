// Hex text <-> bytes for IPX network numbers and nodes. Portable, no state.
#include "shell/hex.h"

#include <cstring>

int HexToBytes(const char *text, uint8_t *out, int n)
{
    if (n < 0 || n >= 7)
        return 0;
    size_t len = strlen(text);
    if (len > (size_t)(2 * n))
        return 0;
    char field[12];
    size_t pad = (size_t)(2 * n) - len;
    memset(field, '0', pad);
    memcpy(field + pad, text, len);
    for (int i = 0; i < 2 * n; i++)
        if (field[i] >= 'a' && field[i] <= 'z')
            field[i] = (char)(field[i] - 'a' + 'A');
    for (int i = 0; i < n; i++) {
        int v = 0;
        for (int k = 0; k < 2; k++) {
            unsigned char c = (unsigned char)field[2 * i + k];
            // Anything that is not a decimal digit counts as a letter digit; the
            // round trip through BytesToHex is what rejects junk.
            int d = (c >= '0' && c <= '9') ? c - '0' : c - 55;
            v = v * 16 + d;
        }
        out[i] = (uint8_t)v;
    }
    return 1;
}

static void BytesToHexN(char *out, const uint8_t *bytes, int n)
{
    static const char digits[] = "0123456789ABCDEF";
    for (int i = 0; i < n; i++) {
        out[2 * i] = digits[bytes[i] >> 4];
        out[2 * i + 1] = digits[bytes[i] & 15];
    }
    out[2 * n] = 0;
}

void BytesToHex4(char *out, const uint8_t bytes[4]) { BytesToHexN(out, bytes, 4); }
void BytesToHex6(char *out, const uint8_t bytes[6]) { BytesToHexN(out, bytes, 6); }

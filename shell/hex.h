// Hex text <-> bytes for IPX network numbers and nodes. Portable, no state.
#pragma once
#include <cstdint>

// Converts up to 2n characters (right-aligned, "0"-filled on the left) into n bytes.
// Only refuses n >= 7 or a text longer than 2n characters; other digits are not
// validated here, callers check by converting back with BytesToHex.
int HexToBytes(const char *text, uint8_t *out, int n);

// Two upper-case hex digits per byte, first byte first, zero-terminated.
// out must hold 9 (4 bytes) or 13 (6 bytes) characters.
void BytesToHex4(char *out, const uint8_t bytes[4]);
void BytesToHex6(char *out, const uint8_t bytes[6]);

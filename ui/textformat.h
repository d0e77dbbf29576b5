// Small text formatters shared by the windows: digit grouping and the system error
// text layout. Portable, no state.
#pragma once
#include <cstddef>

// Writes text with a blank before every third character counted from the right, so
// "1234567" becomes "1 234 567"; an empty text stays empty. Returns 1, or 0 when the
// result does not fit cap bytes with its terminator (out is then empty if cap > 0).
int GroupDigits(const char *text, char *out, size_t cap);

// Lays out an error code and its system text as "<code> - <text>" in out:
//   text NULL:                 "<code> - "
//   cap >= strlen(text) + 14:  "<code> - <text>"
//   otherwise:                 out zero-filled, then "<code> - " and the first
//                              cap - 14 bytes of text.
// The 14 bytes reserve room for a prefix of up to 13 characters; a longer prefix
// (negative or ten-digit codes) is still kept inside out, at the cost of text bytes.
// out is always terminated within cap. Returns the length written, 0 when cap is 0.
size_t FormatErrorText(int code, const char *text, char *out, size_t cap);

// Lengths laid out for 96 dots per inch, scaled to the display's. Pure; any thread.
#pragma once

enum { kBaseDpi = 96 };

// px at dpi, rounded to the nearest pixel (halves away from zero); a dpi of 0 or less
// leaves px as it is.
inline int DpiScale(int px, int dpi)
{
    if (dpi <= 0 || dpi == kBaseDpi)
        return px;
    const long long n = (long long)px * dpi;
    return (int)((n + (n < 0 ? -kBaseDpi / 2 : kBaseDpi / 2)) / kBaseDpi);
}

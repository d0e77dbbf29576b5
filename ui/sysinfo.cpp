// The system-information dialog's rule-based texts. Portable, no state.
#include "ui/sysinfo.h"

#include "lang/stringids.h"

#include <cstdio>

int OsNameText(uint32_t platform, uint32_t major, int32_t minor, char *out, size_t cap)
{
    if (cap == 0)
        return 0;
    out[0] = 0;
    const char *name = NULL;
    if (platform == 1) {
        if (major != 4)
            return snprintf(out, cap, "Win32 %d.%02d", (int)major, (int)minor), 1;
        name = minor >= 0 && minor <= 9 ? "Windows 95" : minor >= 10 && minor <= 89 ? "Windows 98" : "Windows ME";
    } else if (platform == 2) {
        if (major == 5)
            name = minor == 0 ? "Windows 2000" : minor == 1 ? "Windows XP" : "Server 2003/Windows XP x64";
        else if (major == 6)
            name = minor == 0   ? "Windows Vista/Server 2008"
                   : minor == 1 ? "Windows 7/Server 2008 R2"
                   : minor == 2 ? "Windows 8/Server 2012"
                                : "Windows 8.1/Server 2012 R2";
        else if (major == 10)
            name = "Windows 10/Server 2016";
        else
            return snprintf(out, cap, "Platform NT %d.%02d", (int)major, (int)minor), 1;
    } else {
        return 0;
    }
    snprintf(out, cap, "%s", name);
    return 1;
}

void AgentVersionText(uint32_t version, char *out, size_t cap)
{
    if (cap)
        snprintf(out, cap, "%d.%02d", (int)(version >> 8 & 0xFF), (int)(version & 0xFF));
}

uint32_t AccessLevelStringId(uint32_t rights)
{
    if (rights & 0x08)
        return IDS_ACCESS_ADMIN;
    if (rights & 0x04)
        return IDS_ACCESS_CONTROL_FILES;
    return rights & 0x02 ? IDS_ACCESS_CONTROL : IDS_ACCESS_VIEW;
}

uint32_t DepthStringId(uint32_t depth)
{
    switch (depth) {
    case 1:
        return IDS_DEPTH_1;
    case 4:
        return IDS_DEPTH_4;
    case 8:
        return IDS_DEPTH_8;
    case 16:
        return IDS_DEPTH_16;
    case 24:
        return IDS_DEPTH_24;
    default:
        return IDS_DEPTH_OTHER;
    }
}

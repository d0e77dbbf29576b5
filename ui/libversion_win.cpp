// Version of a system library from its DllGetVersion export. Any thread.
#include "ui/libversion_win.h"

#include <shlwapi.h>

#include <cstring>

DWORD LibraryVersion(const char *dllName)
{
    HMODULE lib = LoadLibraryA(dllName);
    if (!lib)
        return 0;
    DWORD version = 0;
    DLLGETVERSIONPROC get = (DLLGETVERSIONPROC)(void *)GetProcAddress(lib, "DllGetVersion");
    DLLVERSIONINFO info;
    memset(&info, 0, sizeof(info));
    info.cbSize = sizeof(info);
    if (get && SUCCEEDED(get(&info)))
        version = info.dwMajorVersion * 256 + info.dwMinorVersion;
    FreeLibrary(lib);
    return version;
}

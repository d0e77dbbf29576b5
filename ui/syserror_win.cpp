// The system's text for the calling thread's last error. Any thread.
#include "ui/syserror_win.h"

#include "ui/textformat.h"

size_t SystemErrorText(char *buf, size_t size)
{
    DWORD code = GetLastError();
    char *text = NULL;
    DWORD n =
        FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       NULL, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), (LPSTR)&text, 0, NULL);
    // The code prints as a signed number, as HRESULT-style codes are usually read.
    size_t len = FormatErrorText((int)code, n && text ? text : NULL, buf, size);
    if (text)
        LocalFree(text);
    SetLastError(code);
    return len;
}

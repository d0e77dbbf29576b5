// Program start-up and shutdown around the one message loop of the UI thread. Runs
// entirely on the UI thread, before any worker exists and after all have ended.
#include "shell/startup_win.h"

#include "console/console_win.h"
#include "filetransfer/dragout_win.h"
#include "lang/stringids.h"
#include "resources/resource.h"
#include "session/seed_win.h"
#include "session/state_win.h"
#include "session/transport_win.h"
#include "shell/log_win.h"
#include "shell/mainwindow_win.h"
#include "shell/managerlink_win.h"
#include "shell/msgbox_win.h"
#include "shell/post_win.h"
#include "shell/profile_win.h"
#include "shell/report_win.h"
#include "shell/settings_win.h"
#include "shell/state.h"
#include "shell/strings_win.h"
#include "shell/wiring_win.h"
#include "ui/libversion_win.h"

#include <commctrl.h>
#include <ole2.h>
#include <shlwapi.h>

#include <cstdio>
#include <cstring>
#include <ctime>

ViewerState g_viewer;

static const char *const kLanguageLibraryNames[kLanguageCount] = {"cvresen.dll", "cvresru.dll"};

int ModuleDirectory(char *out, DWORD cap)
{
    DWORD n = GetModuleFileNameA(NULL, out, cap);
    if (n == 0 || n >= cap)
        return 0;
    char *cut = NULL;
    for (char *p = out; *p; p++)
        if (*p == '\\' || *p == ':')
            cut = p;
    if (!cut)
        return 0;
    cut[1] = 0;
    PathRemoveBackslashA(out);
    // A drive root keeps its backslash for SetCurrentDirectory ("C:" would mean the
    // drive's current folder), but the stored form is without it.
    char dir[MAX_PATH + 2];
    snprintf(dir, sizeof(dir), "%s\\", out);
    SetCurrentDirectoryA(dir);
    return 1;
}

static void LookUpShellHelpers(void)
{
    g_viewer.shellVersion = LibraryVersion("shlwapi.dll");
    if (g_viewer.shellVersion < 0x500)
        return;
    HMODULE lib = LoadLibraryA("shlwapi.dll");
    if (!lib)
        return;
    // The viewer imports shlwapi statically, so the pointer outlives this release.
    g_viewer.strFormatByteSize64 = (StrFormatByteSize64Fn)(void *)GetProcAddress(lib, "StrFormatByteSize64A");
    FreeLibrary(lib);
}

static int LoadLanguageLibraries(void)
{
    for (int i = 0; i < kLanguageCount; i++) {
        g_viewer.languageLibs[i] = LoadLibraryA(kLanguageLibraryNames[i]);
        if (!g_viewer.languageLibs[i]) {
            WriteLogF("Dynamic link library %s not found.", kLanguageLibraryNames[i]);
            return 0;
        }
    }
    return 1;
}

// Returns 1 when the running system is supported; otherwise reports and returns 0.
static int CheckOperatingSystem(void)
{
    OSVERSIONINFOA vi;
    memset(&vi, 0, sizeof(vi));
    vi.dwOSVersionInfoSize = sizeof(vi);
    UINT refusal = 0;
    if (!GetVersionExA(&vi)) {
        refusal = IDS_PLATFORM_UNSUPPORTED;
    } else if (vi.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS) {
        if (vi.dwMajorVersion < 4 || (vi.dwMajorVersion == 4 && vi.dwMinorVersion < 10))
            refusal = IDS_9X_TOO_OLD;
    } else if (vi.dwPlatformId == VER_PLATFORM_WIN32_NT) {
        g_viewer.ntFamily = TRUE;
        if (vi.dwMajorVersion < 4)
            refusal = IDS_NT_TOO_OLD;
    } else {
        refusal = IDS_PLATFORM_UNSUPPORTED;
    }
    if (!refusal)
        return 1;
    char text[512];
    LoadLangString(refusal, text, sizeof(text));
    SendMessageRecord(0, text);
    TimedBoxRequest req = {IDD_TIMED_BOX, 5000, NULL, text, 16, TRUE};
    TimedMessageBox(NULL, &req);
    return 0;
}

// Steps from the command line to the instance mutex. Returns 0 to end the process.
static int ParseTarget(const char *commandLine)
{
    if (!commandLine || !*commandLine)
        return 0;
    size_t len = strlen(commandLine);
    g_viewer.commandLineCopy = (char *)HeapAlloc(GetProcessHeap(), 0, len + 1);
    if (!g_viewer.commandLineCopy) {
        ReportStartupFailureId(IDS_OUT_OF_MEMORY);
        return 0;
    }
    memcpy(g_viewer.commandLineCopy, commandLine, len + 1);
    char *tokens[kMaxTokens];
    int count = SplitCommandLine(g_viewer.commandLineCopy, tokens, kMaxTokens);
    if (count == 0)
        return 0;
    for (int i = 0; i < count; i++)
        ApplyCommandToken(&g_viewer.target, tokens[i]);
    if (!BuildHostText(&g_viewer.target)) {
        ReportStartupFailureId(IDS_NO_TARGET);
        return 0;
    }
    BuildViewerNames(&g_viewer.target, &g_viewer.names);
    g_viewer.instanceMutex = CreateMutexA(NULL, FALSE, g_viewer.names.instanceName);
    if (g_viewer.instanceMutex && GetLastError() == ERROR_ALREADY_EXISTS)
        return 0; // another viewer serves this host
    return 1;
}

static void RunMessageLoop(void)
{
    MSG msg;
    while (GetMessageA(&msg, NULL, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

// The locks that live from start-up to exit: one list, so each one made is deleted.
static CRITICAL_SECTION *const kStartupLocks[] = {
    &g_viewer.logLock,    &g_viewer.loginInfoLock, &g_viewer.consoleLock,       &g_viewer.progressLock,
    &g_viewer.screenLock, &g_viewer.timedBoxLock,  &g_viewer.agentSettingsLock,
};
static const size_t kStartupLockCount = sizeof(kStartupLocks) / sizeof(kStartupLocks[0]);

static void Shutdown(void)
{
    UiPostEnd();
    ManagerLinkClose();
    if (g_viewer.commandLineCopy)
        HeapFree(GetProcessHeap(), 0, g_viewer.commandLineCopy);
    g_viewer.commandLineCopy = NULL;
    if (g_viewer.instanceMutex)
        CloseHandle(g_viewer.instanceMutex);
    g_viewer.instanceMutex = NULL;
    for (int i = 0; i < kLanguageCount; i++) {
        if (g_viewer.languageLibs[i])
            FreeLibrary(g_viewer.languageLibs[i]);
        g_viewer.languageLibs[i] = NULL;
    }
    g_viewer.activeLanguage = NULL;
    NetShutdown();
    // The window's end has joined every thread that takes them.
    for (size_t i = 0; i < kStartupLockCount; i++)
        DeleteCriticalSection(kStartupLocks[i]);
    OleUninitialize();
    ConsoleViewerEnded(); // a close of the console waits for this before the process is ended
}

static int StartUp(HINSTANCE instance, const char *commandLine)
{
    if (!ModuleDirectory(g_viewer.moduleDirectory, sizeof(g_viewer.moduleDirectory)))
        return 0;
    g_viewer.sessionStamp = (DWORD)time(NULL);
    snprintf(g_viewer.logPath, sizeof(g_viewer.logPath), "%s\\Corvid.log", g_viewer.moduleDirectory);
    // OLE, not COM alone: the remote panel takes dropped files, and drags and the
    // clipboard carry remote files out.
    OleInitialize(NULL);
    LookUpShellHelpers();
    if (!ManagerLinkOpen())
        return 0;
    if (!LoadLanguageLibraries())
        return 0;
    g_viewer.activeLanguage = g_viewer.languageLibs[0];
    memset(&g_viewer.settings, 0, sizeof(g_viewer.settings));
    if (!LoadSettings())
        return 0;
    g_viewer.activeLanguage = g_viewer.languageLibs[SettingLanguageIndex(&g_viewer.settings)];
    if (!CheckOperatingSystem())
        return 0;
    if (!ParseTarget(commandLine))
        return 0;
    if (!EnvelopeSeedAtStart())
        return 0;
    if (!NetStartup())
        return 0;
    if (!WireViewer())
        return 0;
    UiPostInit();
    if (!CreateMainWindow())
        return 0;
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    (void)instance;
    return 1;
}

int RunViewer(HINSTANCE instance, const char *commandLine)
{
    INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_WIN95_CLASSES | ICC_DATE_CLASSES | ICC_USEREX_CLASSES |
                                                 ICC_COOL_CLASSES | ICC_INTERNET_CLASSES | ICC_PAGESCROLLER_CLASS |
                                                 ICC_NATIVEFNTCTL_CLASS | ICC_STANDARD_CLASSES | ICC_LINK_CLASS};
    InitCommonControlsEx(&icc);
    g_viewer.instance = instance;
    g_session.socket = INVALID_SOCKET_VALUE;
    TargetOptionsInit(&g_viewer.target);
    for (size_t i = 0; i < kStartupLockCount; i++)
        InitializeCriticalSection(kStartupLocks[i]);
    ProfileStart();
    if (StartUp(instance, commandLine)) {
        FtOutboxAtStart(); // remote files that ended viewers gave out
        RunMessageLoop();
    }
    FtOutboxAtExit();
    Shutdown();
    return 0;
}

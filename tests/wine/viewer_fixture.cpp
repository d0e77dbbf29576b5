// Shared set-up of the Wine unit tests.
#include "tests/wine/viewer_fixture.h"

#include "shell/mainwindow_win.h"
#include "shell/managerlink_win.h"
#include "shell/startup_win.h"
#include "shell/wiring_win.h"

#include <cstdio>
#include <cstring>

void PrepareTestViewer(void)
{
    static bool done = false;
    InterlockedExchange(&g_viewer.stopping, 0); // a main window destroyed by an earlier test set it
    if (done)
        return;
    done = true;
    InitializeCriticalSection(&g_viewer.logLock);
    InitializeCriticalSection(&g_viewer.loginInfoLock);
    InitializeCriticalSection(&g_viewer.consoleLock);
    InitializeCriticalSection(&g_viewer.progressLock);
    InitializeCriticalSection(&g_viewer.screenLock);
    InitializeCriticalSection(&g_viewer.timedBoxLock);
    InitializeCriticalSection(&g_viewer.agentSettingsLock);
    TargetOptionsInit(&g_viewer.target);
    ModuleDirectory(g_viewer.moduleDirectory, sizeof(g_viewer.moduleDirectory));
    snprintf(g_viewer.logPath, sizeof(g_viewer.logPath), "%s\\wine_tests.log", g_viewer.moduleDirectory);
    g_viewer.languageLibs[0] = LoadLibraryA("cvresen.dll");
    g_viewer.languageLibs[1] = LoadLibraryA("cvresru.dll");
    g_viewer.activeLanguage = g_viewer.languageLibs[0];
    ManagerLinkOpen();
    WirePacketHandlers();
}

WNDPROC MainWindowProcForTest(void)
{
    PrepareTestViewer();
    char saved[sizeof(g_viewer.names.instanceName)];
    memcpy(saved, g_viewer.names.instanceName, sizeof(saved));
    snprintf(g_viewer.names.instanceName, sizeof(g_viewer.names.instanceName), "CORVIDTEST:MAIN");
    WNDCLASSA wc = {};
    HINSTANCE self = GetModuleHandleA(NULL);
    HINSTANCE own = g_viewer.instance;
    g_viewer.instance = self;
    if (!GetClassInfoA(self, g_viewer.names.instanceName, &wc) && RegisterMainWindowClass())
        GetClassInfoA(self, g_viewer.names.instanceName, &wc);
    g_viewer.instance = own;
    memcpy(g_viewer.names.instanceName, saved, sizeof(saved));
    return wc.lpfnWndProc;
}

void TestFilePath(char *out, size_t cap, const char *name)
{
    PrepareTestViewer();
    snprintf(out, cap, "%s\\%s", g_viewer.moduleDirectory, name);
}

// Program entry of Corvid.exe: hands the command line to the start-up sequence.
#include "shell/startup_win.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) { return RunViewer(instance, commandLine); }

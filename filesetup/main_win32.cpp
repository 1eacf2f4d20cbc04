#include "filesetup/file_setup.h"
#include "support/win.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return RunFileSetup(); }

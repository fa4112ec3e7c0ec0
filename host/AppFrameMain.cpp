// AppFrameMain.exe
#include "host/EntryPoint.h"

#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    return static_cast<int>(RunAppFrameMain());
}

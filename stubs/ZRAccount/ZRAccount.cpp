// Stand-in for the account library (test equipment): present so that the client builds its
// action registry. It answers nothing yet.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) {
    return TRUE;
}

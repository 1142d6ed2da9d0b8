// The library's entry routine: nothing to set up or tear down on load, unload or
// thread attach and detach. Held pictures are deliberately not freed at unload.
#if defined(_WIN32)
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
#endif

// Module entry.  Loading runs only the language runtime's start-up; on
// Windows the module also asks not to be told of thread starts and ends.
// On other systems there is nothing to do at load.
#if defined(_WIN32)
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) DisableThreadLibraryCalls(instance);
    return TRUE;
}
#endif

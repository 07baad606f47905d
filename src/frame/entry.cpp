// Module entry.  Loading runs only the language runtime's start-up; on
// Windows the module also asks not to be told of thread starts and ends.
// On other systems there is nothing to do at load.
#if defined(_WIN32)
#include <windows.h>

// The loader finds the entry by name; the declaration keeps the definition
// honest under -Wmissing-declarations.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved);

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) DisableThreadLibraryCalls(instance);
    return TRUE;
}
#endif

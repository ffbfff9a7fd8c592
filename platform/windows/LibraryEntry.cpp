// The DLL's entry routine: the library keeps no per-thread state, so it asks the system not to
// call it for every thread that starts or ends in the process.
#include <Ostrel/Platform/Windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/)
{
    if (reason == DLL_PROCESS_ATTACH)
    {
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

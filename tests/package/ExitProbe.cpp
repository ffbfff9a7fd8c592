// ExitProbe: a library whose exit handler runs after the process has run every library's
// finaliser, while the libraries are still mapped: a program's last uses of the library at exit
// (a thread that outlives main() does the same) find the library's handles still there.
#include <Ostrel/Platform/posix/Win32Api.h>

#include <unistd.h>

extern "C" int __cxa_atexit(void (*function)(void*), void* argument, void* module);

namespace
{

HANDLE g_event = nullptr;

void UseTheEvent(void*)
{
    const bool used = g_event != nullptr && SetEvent(g_event) &&
                      WaitForMultipleObjects(1, &g_event, FALSE, 0) == WAIT_OBJECT_0 && CloseHandle(g_event);
    if (!used)
    {
        ::_exit(3);
    }
}

// Runs before the program's start registers the finalisers' handler, so it runs after that one. No
// module is named: the handler stays when this library is unloaded, which it never is.
__attribute__((constructor)) void RegisterLastHandler()
{
    __cxa_atexit(UseTheEvent, nullptr, nullptr);
}

} // namespace

__attribute__((visibility("default"))) void ProbeEventAtExit(HANDLE event)
{
    g_event = event;
}

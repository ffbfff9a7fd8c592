// A program linked to the library uses an event when the process exits, after every library's
// finaliser has run: the exit keeps what the library holds (only an unload frees it).
#include <Ostrel/Platform/posix/Win32Api.h>

#include <cstdio>

void ProbeEventAtExit(HANDLE event);

int main()
{
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (event == nullptr)
    {
        std::fprintf(stderr, "no event: %lu\n", static_cast<unsigned long>(GetLastError()));
        return 1;
    }
    ProbeEventAtExit(event);
    return 0;
}

// Compiled on its own by CheckPublicHeaders.cmake: the umbrella header leaves the user's global
// namespace and macros alone.
#include <Ostrel/ZelIO.h>

#if defined(TRUE) || defined(FALSE) || defined(INFINITE) || defined(ERROR_SUCCESS) ||                       \
    defined(INVALID_HANDLE_VALUE) || defined(WAIT_OBJECT_0) || defined(GENERIC_READ)
#error "a Win32 macro comes with the library's headers"
#endif

// Each would clash with a global Win32 type of the same name.
struct HANDLE
{
};
struct DWORD
{
};
struct BOOL
{
};
struct OVERLAPPED
{
};

int main()
{
    return 0;
}

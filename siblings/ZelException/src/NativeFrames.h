// NativeFrames: the calling thread's machine frames, each named by its module, its offset in that
// module and, where the module's symbols tell it, its function. Each platform captures them in a
// file of its own; CallStack.cpp turns them into text.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The return address of the function that uses it: where its caller resumes.
#if defined(_MSC_VER)
#include <intrin.h>
#define ZEL_RETURN_ADDRESS() _ReturnAddress()
#else
#define ZEL_RETURN_ADDRESS() __builtin_return_address(0)
#endif

namespace Ostrel::detail
{

struct NativeFrame
{
    // The module's file name without its folder ("libzelio.so.0.1"), or empty when unknown.
    std::string module;
    // The address relative to the module, as a symbolizer takes it for that module.
    std::uintptr_t offset = 0;
    // The demangled function name, or empty when the module has no symbol for the address.
    std::string function;
};

// The frames of the calling thread, innermost first, from the frame that returns to first (the
// return address of the caller's own frame: what is inside the capture is never listed). Counting
// frames to skip instead would depend on inlining and on the tools that wrap the capture.
std::vector<NativeFrame> CaptureNativeFrames(const void* first);

// Each platform's part: the return addresses of the calling thread, innermost first, at most
// `capacity` of them (their count is returned), and the frame one of them names.
int CaptureReturnAddresses(void** addresses, int capacity);
NativeFrame DescribeNativeFrame(void* returnAddress);

} // namespace Ostrel::detail

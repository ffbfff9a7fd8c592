// GetCallStack on glibc: the named frames of the thread, then backtrace() resolved with dladdr
// and demangled.
#include <Ostrel/CallStack.h>
#include <Ostrel/Core/StackDebugInfo.h>

#include <cxxabi.h>
#include <dlfcn.h>
#include <execinfo.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace Ostrel
{
namespace
{

constexpr int kMaxFrames = 64;

struct FreeDeleter
{
    void operator()(char* p) const noexcept { std::free(p); }
};

std::string Demangled(const char* symbol)
{
    int status = 0;
    std::unique_ptr<char, FreeDeleter> name(abi::__cxa_demangle(symbol, nullptr, nullptr, &status));
    return status == 0 && name ? std::string(name.get()) : std::string(symbol);
}

const char* BaseName(const char* path)
{
    const char* slash = std::strrchr(path, '/');
    return slash ? slash + 1 : path;
}

void AppendNamedFrames(std::string& text)
{
    using Core::StackDebugInfo::Descr;
    for (const Descr* frame = Descr::Innermost(); frame != nullptr; frame = frame->Outer())
    {
        text += "  in ";
        text += frame->Function() ? frame->Function() : "?";
        text += " (";
        text += frame->File() ? frame->File() : "?";
        text += ")\n";
    }
}

void AppendNativeFrame(std::string& text, int index, void* address)
{
    char head[64];
    std::snprintf(head, sizeof head, "  #%d %p ", index, address);
    text += head;
    Dl_info info{};
    // The return address points after the call; step back one byte to name the calling function.
    const void* lookup = static_cast<char*>(address) - 1;
    if (dladdr(lookup, &info) == 0)
    {
        text += "??\n";
        return;
    }
    text += info.dli_sname ? Demangled(info.dli_sname) : std::string("??");
    if (info.dli_fname)
    {
        text += " in ";
        text += BaseName(info.dli_fname);
    }
    text += '\n';
}

} // namespace

std::string GetCallStack()
{
    std::string text;
    AppendNamedFrames(text);
    void* frames[kMaxFrames];
    const int count = backtrace(frames, kMaxFrames);
    // Frame 0 is this function.
    for (int i = 1; i < count; ++i)
    {
        AppendNativeFrame(text, i - 1, frames[i]);
    }
    return text;
}

} // namespace Ostrel

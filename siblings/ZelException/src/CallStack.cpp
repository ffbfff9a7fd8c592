// GetCallStack: the named frames of the thread, then its machine frames as module+offset and the
// function name where the module has one. The text can be resolved later from the modules alone,
// whatever addresses they were loaded at.
#include <Ostrel/CallStack.h>
#include <Ostrel/Core/StackDebugInfo.h>

#include "NativeFrames.h"

#include <cstdio>

namespace Ostrel
{

std::vector<detail::NativeFrame> detail::CaptureNativeFrames(const void* first)
{
    // Windows takes at most 62 frames in one capture.
    constexpr int kMaxFrames = 62;
    void* addresses[kMaxFrames];
    const int count = CaptureReturnAddresses(addresses, kMaxFrames);
    int start = 0;
    while (start < count && addresses[start] != first)
    {
        ++start;
    }
    // A capture that cannot find its caller's frame lists every frame rather than none.
    if (start == count)
    {
        start = 0;
    }
    std::vector<NativeFrame> frames;
    for (int i = start; i < count; ++i)
    {
        frames.push_back(DescribeNativeFrame(addresses[i]));
    }
    return frames;
}

namespace
{

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

// "  #3 libzelio.so.0.1+0x1a2b3 Ostrel::Core::DataInputPipe::ReadRaw(...)"
void AppendNativeFrame(std::string& text, std::size_t index, const detail::NativeFrame& frame)
{
    char head[32];
    std::snprintf(head, sizeof head, "  #%zu ", index);
    text += head;
    text += frame.module.empty() ? std::string("??") : frame.module;
    char offset[32];
    std::snprintf(offset, sizeof offset, "+0x%llx", static_cast<unsigned long long>(frame.offset));
    text += offset;
    if (!frame.function.empty())
    {
        text += ' ';
        text += frame.function;
    }
    text += '\n';
}

} // namespace

std::string GetCallStack()
{
    std::string text;
    AppendNamedFrames(text);
    // Starts at the caller: this function's own frame is left out.
    const std::vector<detail::NativeFrame> frames = detail::CaptureNativeFrames(ZEL_RETURN_ADDRESS());
    for (std::size_t i = 0; i < frames.size(); ++i)
    {
        AppendNativeFrame(text, i, frames[i]);
    }
    return text;
}

} // namespace Ostrel

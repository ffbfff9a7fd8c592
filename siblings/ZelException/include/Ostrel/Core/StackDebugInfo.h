// StackDebugInfo::Descr: a scoped marker that names a function in the call-stack text while the
// function's body runs. It costs two pointer writes and never affects control flow.
#pragma once

#include <Ostrel/ZelExceptionExport.h>

namespace Ostrel::Core::StackDebugInfo
{

class ZELEXCEPTION_API Descr
{
public:
    Descr(const char* file, const char* function) noexcept;
    ~Descr();
    Descr(const Descr&) = delete;
    Descr& operator=(const Descr&) = delete;

    const char* File() const noexcept { return m_file; }
    const char* Function() const noexcept { return m_function; }
    const Descr* Outer() const noexcept { return m_outer; }

    // The innermost open marker of the calling thread, or null.
    static const Descr* Innermost() noexcept;

private:
    const char* m_file;
    const char* m_function;
    const Descr* m_outer;
};

} // namespace Ostrel::Core::StackDebugInfo

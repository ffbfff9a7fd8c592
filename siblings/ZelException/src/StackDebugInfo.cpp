// StackDebugInfo::Descr: a per-thread chain of named frames.
#include <Ostrel/Core/StackDebugInfo.h>

namespace Ostrel::Core::StackDebugInfo
{
namespace
{
thread_local const Descr* t_innermost = nullptr;
}

Descr::Descr(const char* file, const char* function) noexcept
    : m_file(file), m_function(function), m_outer(t_innermost)
{
    t_innermost = this;
}

Descr::~Descr()
{
    t_innermost = m_outer;
}

const Descr* Descr::Innermost() noexcept
{
    return t_innermost;
}

} // namespace Ostrel::Core::StackDebugInfo

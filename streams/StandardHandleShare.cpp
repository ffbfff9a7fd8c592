// The process-wide shares of the standard handles.
#include "streams/StandardHandleShare.h"

#include <mutex>

namespace Ostrel::Core::detail
{
namespace
{

struct StandardHandleState
{
    std::weak_ptr<SharedPipeHandle> share;
    bool closed = false;
};

std::mutex g_mutex;
StandardHandleState g_input;
StandardHandleState g_output;

StandardHandleState& StateOf(DWORD which)
{
    return which == STD_INPUT_HANDLE ? g_input : g_output;
}

} // namespace

std::shared_ptr<SharedPipeHandle> ShareStandardHandle(DWORD which)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    StandardHandleState& state = StateOf(which);
    if (auto live = state.share.lock())
    {
        return live;
    }
    if (state.closed)
    {
        return nullptr;
    }
    const HANDLE handle = GetStdHandle(which);
    if (handle == nullptr)
    {
        return nullptr;
    }
    // The last holder closes the handle and records that it is gone.
    std::shared_ptr<SharedPipeHandle> share(new SharedPipeHandle(handle),
                                            [which](SharedPipeHandle* last)
                                            {
                                                {
                                                    std::lock_guard<std::mutex> closing(g_mutex);
                                                    StateOf(which).closed = true;
                                                }
                                                delete last;
                                            });
    state.share = share;
    return share;
}

} // namespace Ostrel::Core::detail

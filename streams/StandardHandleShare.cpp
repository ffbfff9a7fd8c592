// The process-wide shares of the standard handles.
#include "streams/StandardHandleShare.h"

#include "pipes/FilePosition.h"

#include <mutex>

namespace Ostrel::Core::detail
{
namespace
{

struct StandardHandleState
{
    std::weak_ptr<SharedPipeHandle> share;
    // Set once the first share is made: from then on a share that has expired means the handle
    // is closed, or is being closed by the last holder at this moment.
    bool shared = false;
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
    // Whether a live holder remains and whether the handle is gone are one decision: the last
    // holder's release is what makes the share expire, before its deleter closes the handle.
    if (auto live = state.share.lock())
    {
        return live;
    }
    if (state.shared)
    {
        return nullptr;
    }
    const HANDLE handle = GetStdHandle(which);
    if (handle == nullptr)
    {
        return nullptr;
    }
    // A standard handle redirected to a file honours the offset of every transfer: its transfers
    // go at the file's position.
    auto share = std::make_shared<SharedPipeHandle>(handle, std::string(), FilePosition::ForHandle(handle));
    state.share = share;
    state.shared = true;
    return share;
}

} // namespace Ostrel::Core::detail

// Interruption: SIGINT, SIGTERM and SIGHUP end a verb cleanly. A thread of its own takes them and
// runs the cancellations that the verb has registered, so that waiting transfers return and the
// verb releases its pipes (a server's files go with them). A verb still running a few seconds
// later is ended at once, with status 1.
#pragma once

#include <functional>

namespace zelio_tool
{

class Interruption
{
public:
    // Blocks the signals in the calling thread, and so in every thread it starts later, and starts
    // the thread that takes them. Called once, first thing in main.
    static void Install();
    static bool Requested();

    // While it lives, its action runs (on the signals' thread) when an interruption comes; it is
    // removed before the destructor returns, so the action may use objects that outlive the Scope.
    class Scope
    {
    public:
        explicit Scope(std::function<void()> action);
        ~Scope();
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

    private:
        unsigned long m_id;
    };
};

} // namespace zelio_tool

// Interruption: the signals' thread and the registered cancellations.
#include "Interruption.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <map>
#include <mutex>
#include <pthread.h>
#include <thread>
#include <unistd.h>

namespace zelio_tool
{

namespace
{

constexpr std::chrono::seconds kGrace{3};

std::atomic<bool> g_requested{false};
std::mutex g_actionsMutex;
std::map<unsigned long, std::function<void()>> g_actions;
unsigned long g_nextId = 0;

sigset_t EndingSignals()
{
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGHUP);
    return signals;
}

void TakeSignals(sigset_t signals)
{
    int signal = 0;
    while (sigwait(&signals, &signal) != 0)
    {
    }
    g_requested.store(true);
    {
        const std::lock_guard<std::mutex> lock(g_actionsMutex);
        for (const auto& action : g_actions)
        {
            action.second();
        }
    }
    std::this_thread::sleep_for(kGrace);
    static const char text[] = "zelio: interrupted\n";
    (void)!::write(STDERR_FILENO, text, sizeof text - 1);
    ::_exit(1);
}

} // namespace

void Interruption::Install()
{
    const sigset_t signals = EndingSignals();
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::thread(TakeSignals, signals).detach();
}

bool Interruption::Requested()
{
    return g_requested.load();
}

Interruption::Scope::Scope(std::function<void()> action)
{
    const std::lock_guard<std::mutex> lock(g_actionsMutex);
    m_id = g_nextId++;
    g_actions.emplace(m_id, std::move(action));
    if (g_requested.load())
    {
        // Interrupted before the action was known: it runs at once.
        g_actions[m_id]();
    }
}

Interruption::Scope::~Scope()
{
    const std::lock_guard<std::mutex> lock(g_actionsMutex);
    g_actions.erase(m_id);
}

} // namespace zelio_tool

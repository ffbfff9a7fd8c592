// The library can be loaded, used and unloaded again, as a plug-in host does with dlopen/dlclose.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace
{

TEST(Package, LibraryUnloadsAfterUse)
{
    void* library = dlopen(ZELIO_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    // Ostrel::Core::GeneratePipeName(): its first use sets up what a call needs.
    using Generate = std::string (*)();
    auto generate = reinterpret_cast<Generate>(dlsym(library, "_ZN6Ostrel4Core16GeneratePipeNameB5cxx11Ev"));
    ASSERT_NE(generate, nullptr) << dlerror();
    EXPECT_EQ(generate().size(), 45u);
    ASSERT_EQ(dlclose(library), 0) << dlerror();
    void* again = dlopen(ZELIO_LIBRARY, RTLD_NOW | RTLD_NOLOAD);
    EXPECT_EQ(again, nullptr) << "the library stayed loaded";
    if (again != nullptr)
    {
        dlclose(again);
    }
}

template <class Function> Function Find(void* library, const char* symbol)
{
    return reinterpret_cast<Function>(dlsym(library, symbol));
}

// Makes, signals and closes an event through the library's own Win32 layer (CreateEventW, SetEvent
// and CloseHandle of Ostrel::Platform::Win32), found in the loaded library.
class EventUse
{
public:
    explicit EventUse(void* library)
        : m_create(Find<void* (*)(void*, int, int, const wchar_t*)>(
              library, "_ZN6Ostrel8Platform5Win3212CreateEventWEP20_SECURITY_ATTRIBUTESiiPKw")),
          m_set(Find<int (*)(void*)>(library, "_ZN6Ostrel8Platform5Win328SetEventEPv")),
          m_close(Find<int (*)(void*)>(library, "_ZN6Ostrel8Platform5Win3211CloseHandleEPv"))
    {
    }
    bool Found() const { return m_create && m_set && m_close; }
    bool operator()() const
    {
        void* event = m_create(nullptr, 1, 0, nullptr);
        return event != nullptr && m_set(event) && m_close(event);
    }

private:
    void* (*m_create)(void*, int, int, const wchar_t*);
    int (*m_set)(void*);
    int (*m_close)(void*);
};

// A thread of the host that used the library ends after the host has unloaded it: nothing of the
// library runs at its end.
TEST(Package, AThreadThatUsedTheLibraryEndsAfterTheUnload)
{
    void* library = dlopen(ZELIO_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    const EventUse useTheLibrary(library);
    ASSERT_TRUE(useTheLibrary.Found());

    std::mutex mutex;
    std::condition_variable changed;
    int stage = 0;
    std::thread worker(
        [&]
        {
            const bool used = useTheLibrary();
            std::unique_lock<std::mutex> lock(mutex);
            stage = used ? 1 : -1;
            changed.notify_all();
            changed.wait(lock, [&] { return stage == 2; });
        });
    {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [&] { return stage != 0; });
    }
    EXPECT_EQ(stage, 1);
    EXPECT_EQ(dlclose(library), 0) << dlerror();
    {
        std::lock_guard<std::mutex> lock(mutex);
        stage = 2;
    }
    changed.notify_all();
    worker.join();
}

// A child made by fork while threads of the parent have used the library starts threads of its
// own that use it (the system gives them the memory of the parent's threads), then unloads it.
TEST(Package, AForkedChildStartsThreadsOfItsOwnAndUnloads)
{
#if defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "ThreadSanitizer does not support threads started in a child made by fork";
#endif
    void* library = dlopen(ZELIO_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    const EventUse useTheLibrary(library);
    ASSERT_TRUE(useTheLibrary.Found());

    constexpr int kThreads = 4;
    std::mutex mutex;
    std::condition_variable changed;
    int ready = 0;
    bool release = false;
    std::vector<std::thread> parents;
    for (int i = 0; i < kThreads; ++i)
    {
        parents.emplace_back(
            [&]
            {
                const bool used = useTheLibrary();
                std::unique_lock<std::mutex> lock(mutex);
                ready += used ? 1 : kThreads + 1;
                changed.notify_all();
                changed.wait(lock, [&] { return release; });
            });
    }
    {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [&] { return ready >= kThreads; });
    }
    ASSERT_EQ(ready, kThreads);

    const pid_t child = fork();
    if (child == 0)
    {
        alarm(20);
        for (int round = 0; round < 3; ++round)
        {
            std::vector<std::thread> own;
            bool allUsed = true;
            std::mutex ownMutex;
            for (int i = 0; i < kThreads; ++i)
            {
                own.emplace_back(
                    [&]
                    {
                        const bool used = useTheLibrary();
                        std::lock_guard<std::mutex> lock(ownMutex);
                        allUsed = allUsed && used;
                    });
            }
            for (std::thread& thread : own)
            {
                thread.join();
            }
            if (!allUsed)
            {
                _exit(2);
            }
        }
        _exit(dlclose(library) == 0 ? 0 : 3);
    }
    ASSERT_GT(child, 0);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;

    {
        std::lock_guard<std::mutex> lock(mutex);
        release = true;
    }
    changed.notify_all();
    for (std::thread& thread : parents)
    {
        thread.join();
    }
    EXPECT_EQ(dlclose(library), 0) << dlerror();
}

} // namespace

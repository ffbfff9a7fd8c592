// The library can be loaded, used and unloaded again, as a plug-in host does with dlopen/dlclose.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <string>

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

} // namespace

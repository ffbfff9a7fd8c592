// The system facts of the portable tests on POSIX.
#include "support/System.h"

namespace zelio_portable
{

std::filesystem::path ProgramFolder()
{
    return std::filesystem::read_symlink("/proc/self/exe").parent_path();
}

std::filesystem::path HelperProgram()
{
    return ProgramFolder() / "portable_test_helper";
}

bool UnderWine()
{
    return false;
}

// The file systems a Linux test runs on leave unwritten ranges as holes without being asked.
bool MakeSparse(const std::filesystem::path&)
{
    return true;
}

} // namespace zelio_portable

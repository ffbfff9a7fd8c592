// What the portable tests ask of the system they run on, one file per platform: where the test
// programs are, whether Wine answers for Windows, and how a file is made sparse.
#pragma once

#include <filesystem>

namespace zelio_portable
{

// The folder of the running test program, where the test helper program is too.
std::filesystem::path ProgramFolder();
// The helper program of the portable tests (portable_test_helper), beside the test program.
std::filesystem::path HelperProgram();
// True when the program runs under Wine, an independent implementation of Win32.
bool UnderWine();
// Asks the file system to keep the file's unwritten ranges as holes, where it must be asked; true
// when the file is sparse from now on or is so without asking.
bool MakeSparse(const std::filesystem::path& file);

} // namespace zelio_portable

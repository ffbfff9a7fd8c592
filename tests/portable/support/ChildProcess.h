// ChildProcess: the portable tests' helper program started as a child, its standard input and
// output each inherited, read from or written to a file, or a pipe to the test.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace zelio_portable
{

class ChildProcess
{
public:
    struct Options
    {
        // Read from this file, from its start.
        std::filesystem::path inputFile;
        // Written to this file: emptied first, or, with appendOutput, written after what it holds
        // (the handle's position at its end, as a shell's >> leaves it).
        std::filesystem::path outputFile;
        bool appendOutput = false;
        // A pipe from the test (WriteInput, CloseInput) and one to the test (ReadAllOutput).
        bool inputPipe = false;
        bool outputPipe = false;
    };

    ChildProcess(const std::vector<std::string>& arguments, const Options& options);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // The whole of the bytes, into the input pipe; false when the child stopped taking them.
    bool WriteInput(const std::string& bytes);
    void CloseInput();
    // Everything the child writes to its output pipe, until it closes it.
    std::string ReadAllOutput();
    // The exit code; -1 when the child has not ended within kPatience (it is then killed).
    int Wait();

private:
    class Native;
    std::unique_ptr<Native> m_native;
};

} // namespace zelio_portable

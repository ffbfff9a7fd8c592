// ChildProcess on Windows: CreateProcessW, with the child's standard handles given in its start-up
// information and inherited.
#include "support/ChildProcess.h"

#include "support/PortableSupport.h"
#include "support/System.h"

#include <Ostrel/Platform/Windows.h>

#include <stdexcept>

namespace zelio_portable
{
namespace
{

// A handle closed when it goes.
class Handle
{
public:
    explicit Handle(HANDLE handle = nullptr) : m_handle(handle == INVALID_HANDLE_VALUE ? nullptr : handle) {}
    ~Handle() { Close(); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE Get() const { return m_handle; }
    void Reset(HANDLE handle)
    {
        Close();
        m_handle = handle == INVALID_HANDLE_VALUE ? nullptr : handle;
    }
    void Close()
    {
        if (m_handle != nullptr)
        {
            CloseHandle(m_handle);
            m_handle = nullptr;
        }
    }

private:
    HANDLE m_handle;
};

SECURITY_ATTRIBUTES Inheritable()
{
    SECURITY_ATTRIBUTES attributes{};
    attributes.nLength = sizeof attributes;
    attributes.bInheritHandle = TRUE;
    return attributes;
}

HANDLE OpenOrThrow(const std::filesystem::path& path, DWORD access, DWORD disposition)
{
    SECURITY_ATTRIBUTES inheritable = Inheritable();
    const HANDLE file = CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable,
                                    disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
    {
        throw std::runtime_error("cannot open " + path.string());
    }
    return file;
}

// A pipe whose child end is inheritable and whose test end is not.
void MakePipe(Handle& childEnd, Handle& testEnd, bool childReads)
{
    SECURITY_ATTRIBUTES inheritable = Inheritable();
    HANDLE read = nullptr;
    HANDLE write = nullptr;
    if (!CreatePipe(&read, &write, &inheritable, 0))
    {
        throw std::runtime_error("cannot make a pipe");
    }
    childEnd.Reset(childReads ? read : write);
    testEnd.Reset(childReads ? write : read);
    SetHandleInformation(testEnd.Get(), HANDLE_FLAG_INHERIT, 0);
}

// An inheritable copy of one of the test's own standard handles, or null.
HANDLE InheritableCopy(DWORD which)
{
    const HANDLE own = GetStdHandle(which);
    HANDLE copy = nullptr;
    if (own == nullptr || own == INVALID_HANDLE_VALUE ||
        !DuplicateHandle(GetCurrentProcess(), own, GetCurrentProcess(), &copy, 0, TRUE,
                         DUPLICATE_SAME_ACCESS))
    {
        return nullptr;
    }
    return copy;
}

// One argument of a command line, quoted as the runtime's parser reads it back.
std::wstring Quoted(const std::wstring& argument)
{
    std::wstring quoted = L"\"";
    std::size_t backslashes = 0;
    for (wchar_t c : argument)
    {
        if (c == L'\\')
        {
            ++backslashes;
            continue;
        }
        quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, L'\\');
    return quoted + L"\"";
}

} // namespace

class ChildProcess::Native
{
public:
    Handle process;
    Handle input;  // the test's end of the child's input pipe
    Handle output; // the test's end of the child's output pipe
};

ChildProcess::ChildProcess(const std::vector<std::string>& arguments, const Options& options)
    : m_native(std::make_unique<Native>())
{
    Handle childInput;
    Handle childOutput;
    Handle childError(InheritableCopy(STD_ERROR_HANDLE));
    if (!options.inputFile.empty())
    {
        childInput.Reset(OpenOrThrow(options.inputFile, GENERIC_READ, OPEN_EXISTING));
    }
    else if (options.inputPipe)
    {
        MakePipe(childInput, m_native->input, true);
    }
    if (!options.outputFile.empty())
    {
        childOutput.Reset(OpenOrThrow(options.outputFile, GENERIC_WRITE,
                                      options.appendOutput ? OPEN_ALWAYS : CREATE_ALWAYS));
        if (options.appendOutput)
        {
            SetFilePointerEx(childOutput.Get(), LARGE_INTEGER{}, nullptr, FILE_END);
        }
    }
    else if (options.outputPipe)
    {
        MakePipe(childOutput, m_native->output, false);
    }

    std::wstring commandLine = Quoted(HelperProgram().wstring());
    for (const std::string& argument : arguments)
    {
        commandLine += L" " + Quoted(std::filesystem::u8path(argument).wstring());
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = childInput.Get();
    startup.hStdOutput = childOutput.Get();
    startup.hStdError = childError.Get();
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(HelperProgram().c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                        nullptr, &startup, &started))
    {
        throw std::runtime_error("cannot start the test helper");
    }
    CloseHandle(started.hThread);
    m_native->process.Reset(started.hProcess);
}

ChildProcess::~ChildProcess()
{
    m_native->input.Close();
    m_native->output.Close();
    if (m_native->process.Get() != nullptr &&
        WaitForSingleObject(m_native->process.Get(), 0) != WAIT_OBJECT_0)
    {
        TerminateProcess(m_native->process.Get(), 1);
        WaitForSingleObject(m_native->process.Get(), INFINITE);
    }
}

bool ChildProcess::WriteInput(const std::string& bytes)
{
    for (std::size_t sent = 0; sent < bytes.size();)
    {
        DWORD written = 0;
        if (!WriteFile(m_native->input.Get(), bytes.data() + sent, static_cast<DWORD>(bytes.size() - sent),
                       &written, nullptr) ||
            written == 0)
        {
            return false;
        }
        sent += written;
    }
    return true;
}

void ChildProcess::CloseInput()
{
    m_native->input.Close();
}

std::string ChildProcess::ReadAllOutput()
{
    std::string all;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(m_native->output.Get(), buffer, sizeof buffer, &got, nullptr) && got > 0)
    {
        all.append(buffer, got);
    }
    return all;
}

int ChildProcess::Wait()
{
    const HANDLE process = m_native->process.Get();
    if (process == nullptr)
    {
        return -1;
    }
    const auto patience = std::chrono::duration_cast<std::chrono::milliseconds>(kPatience).count();
    if (WaitForSingleObject(process, static_cast<DWORD>(patience)) != WAIT_OBJECT_0)
    {
        TerminateProcess(process, 1);
        WaitForSingleObject(process, INFINITE);
        m_native->process.Close();
        return -1;
    }
    DWORD code = 0;
    GetExitCodeProcess(process, &code);
    m_native->process.Close();
    return static_cast<int>(code);
}

} // namespace zelio_portable

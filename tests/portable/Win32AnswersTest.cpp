// How the system's Win32 calls answer on the named pipes and handles the library uses: Windows'
// own (or Wine's) on Windows, the library's POSIX layer elsewhere. Each case is a row of the
// answers the pipe streams are written against; where Wine answers otherwise than Windows, the
// case says so.
#include <Ostrel/Core/IPCTools.h>
#include <Ostrel/Platform/Windows.h>

#include "support/ChildProcess.h"
#include "support/PortableSupport.h"
#include "support/System.h"

#include <gtest/gtest.h>

#include <string>

namespace
{

// A handle closed when it goes.
class Owned
{
public:
    explicit Owned(HANDLE handle) : m_handle(handle) {}
    ~Owned() { Close(); }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    HANDLE Get() const { return m_handle; }
    bool Valid() const { return m_handle != nullptr && m_handle != INVALID_HANDLE_VALUE; }
    void Close()
    {
        if (Valid())
        {
            CloseHandle(m_handle);
        }
        m_handle = nullptr;
    }

private:
    HANDLE m_handle;
};

HANDLE NewEvent()
{
    return CreateEventW(nullptr, TRUE, FALSE, nullptr);
}

HANDLE Server(const std::string& name, DWORD access)
{
    return CreateNamedPipeA(name.c_str(), access | FILE_FLAG_OVERLAPPED,
                            PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, 4096, 4096, 0, nullptr);
}

HANDLE Client(const std::string& name, DWORD access)
{
    return CreateFileA(name.c_str(), access, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
}

// An overlapped record with its own event, and the interrupt event a second thread would signal.
struct Record
{
    Record() { overlapped.hEvent = event.Get(); }
    bool Signalled() const
    {
        return WaitForMultipleObjects(1, &overlapped.hEvent, FALSE, 0) == WAIT_OBJECT_0;
    }

    Owned event{NewEvent()};
    Owned interrupt{NewEvent()};
    OVERLAPPED overlapped{};
};

// The call's result and the thread's error code just after it, as "FALSE 231".
std::string Answer(BOOL result)
{
    return result ? "TRUE" : "FALSE " + std::to_string(GetLastError());
}

std::string HandleAnswer(HANDLE handle)
{
    return handle == INVALID_HANDLE_VALUE ? "INVALID " + std::to_string(GetLastError()) : "VALID";
}

TEST(Win32Answers, NamesThatAreTakenMissingOrGone)
{
    const std::string name = Ostrel::Core::GeneratePipeName();
    SetLastError(77);
    Owned server(Server(name, PIPE_ACCESS_INBOUND));
    ASSERT_TRUE(server.Valid());
    EXPECT_EQ(GetLastError(), 0u) << "a successful create clears the error";
    EXPECT_EQ(HandleAnswer(Server(name, PIPE_ACCESS_OUTBOUND)), "INVALID 231");
    EXPECT_EQ(HandleAnswer(Client(Ostrel::Core::GeneratePipeName(), GENERIC_WRITE)), "INVALID 2");
    Owned client(Client(name, GENERIC_WRITE));
    ASSERT_TRUE(client.Valid());
    EXPECT_EQ(HandleAnswer(Client(name, GENERIC_WRITE)), "INVALID 231");
    server.Close();
    EXPECT_EQ(HandleAnswer(Client(name, GENERIC_WRITE)), "INVALID 2");
}

TEST(Win32Answers, ConnectingAServerEnd)
{
    const std::string name = Ostrel::Core::GeneratePipeName();
    Owned early(Server(name, PIPE_ACCESS_INBOUND));
    Owned client(Client(name, GENERIC_WRITE));
    Record record;
    EXPECT_EQ(Answer(ConnectNamedPipe(early.Get(), &record.overlapped)), "FALSE 535");
    EXPECT_FALSE(record.Signalled());

    const std::string waiting = Ostrel::Core::GeneratePipeName();
    Owned server(Server(waiting, PIPE_ACCESS_INBOUND));
    char buffer[16];
    DWORD count = 0;
    Record direct;
    EXPECT_EQ(Answer(ReadFile(server.Get(), buffer, sizeof buffer, &count, &direct.overlapped)), "FALSE 536");
    EXPECT_EQ(Answer(ConnectNamedPipe(server.Get(), &record.overlapped)), "FALSE 997");
    SetEvent(record.interrupt.Get());
    const HANDLE waitList[2] = {record.interrupt.Get(), record.event.Get()};
    EXPECT_EQ(WaitForMultipleObjects(2, waitList, FALSE, INFINITE), WAIT_OBJECT_0);
    EXPECT_EQ(Answer(GetOverlappedResult(server.Get(), &record.overlapped, &count, FALSE)), "FALSE 996");
    EXPECT_EQ(Answer(ReadFile(server.Get(), buffer, sizeof buffer, &count, &record.overlapped)), "FALSE 536");
    EXPECT_EQ(Answer(CancelIo(server.Get())), "TRUE");
    EXPECT_EQ(Answer(GetOverlappedResult(server.Get(), &record.overlapped, &count, FALSE)), "FALSE 995");
}

TEST(Win32Answers, ReadingAConnectedPipe)
{
    const std::string name = Ostrel::Core::GeneratePipeName();
    Owned server(Server(name, PIPE_ACCESS_INBOUND));
    Owned client(Client(name, GENERIC_WRITE));
    Record record;
    ConnectNamedPipe(server.Get(), &record.overlapped);
    char buffer[4096];
    DWORD count = 0;
    EXPECT_EQ(Answer(ReadFile(server.Get(), buffer, sizeof buffer, &count, &record.overlapped)), "FALSE 997");
    EXPECT_EQ(Answer(GetOverlappedResult(server.Get(), &record.overlapped, &count, FALSE)), "FALSE 996");
    EXPECT_EQ(Answer(CancelIo(server.Get())), "TRUE");
    EXPECT_EQ(Answer(GetOverlappedResult(server.Get(), &record.overlapped, &count, FALSE)), "FALSE 995");
    EXPECT_TRUE(record.Signalled());

    Record write;
    DWORD written = 0;
    EXPECT_EQ(Answer(WriteFile(client.Get(), "hello", 5, &written, &write.overlapped)), "TRUE");
    client.Close();
    ResetEvent(record.event.Get());
    const BOOL read = ReadFile(server.Get(), buffer, sizeof buffer, &count, &record.overlapped);
    EXPECT_TRUE(read || GetLastError() == ERROR_IO_PENDING) << Answer(read);
    EXPECT_EQ(Answer(GetOverlappedResult(server.Get(), &record.overlapped, &count, TRUE)), "TRUE");
    EXPECT_EQ(count, 5u);
    EXPECT_EQ(Answer(ReadFile(server.Get(), buffer, sizeof buffer, &count, &record.overlapped)), "FALSE 109");
}

// A reader that connected and then closed its end.
TEST(Win32Answers, WritingToAReaderThatHasGone)
{
    const std::string name = Ostrel::Core::GeneratePipeName();
    Owned server(Server(name, PIPE_ACCESS_OUTBOUND));
    Owned client(Client(name, GENERIC_READ));
    Record record;
    EXPECT_EQ(Answer(ConnectNamedPipe(server.Get(), &record.overlapped)), "FALSE 535");
    client.Close();
    DWORD written = 0;
    const std::string answer = Answer(WriteFile(server.Get(), "bytes", 5, &written, &record.overlapped));
    if (zelio_portable::UnderWine())
    {
        ZELIO_KNOWN_WINE_DIFFERENCE(
            "a write to a reader that has gone: Wine answers 232 (ERROR_NO_DATA, the pipe is being closed) "
            "where Win32 documents 109 (ERROR_BROKEN_PIPE, the pipe has been ended) for a pipe whose other end "
            "has closed, and Windows is reported to give 109 to the first such write and 232 to later ones; the "
            "library takes both as the other end gone, and its POSIX layer gives 109");
        EXPECT_EQ(answer, "FALSE 232");
        return;
    }
    EXPECT_EQ(answer, "FALSE 109");
}

// A reader that came and went before the connect: the connect says so at once, and a write then
// finds the reader gone (Windows may say 232 there, as the library knows).
TEST(Win32Answers, ConnectingAfterTheReaderCameAndWent)
{
    const std::string name = Ostrel::Core::GeneratePipeName();
    Owned server(Server(name, PIPE_ACCESS_OUTBOUND));
    Owned client(Client(name, GENERIC_READ));
    client.Close();
    Record record;
    EXPECT_EQ(Answer(ConnectNamedPipe(server.Get(), &record.overlapped)), "FALSE 232");
    EXPECT_FALSE(record.Signalled());
    DWORD written = 0;
    const std::string answer = Answer(WriteFile(server.Get(), "bytes", 5, &written, &record.overlapped));
    EXPECT_TRUE(answer == "FALSE 109" || answer == "FALSE 232") << answer;
}

TEST(Win32Answers, FileTypesOfPipesEventsAndStandardHandles)
{
    const std::string name = Ostrel::Core::GeneratePipeName();
    Owned server(Server(name, PIPE_ACCESS_INBOUND));
    EXPECT_EQ(GetFileType(server.Get()), static_cast<DWORD>(FILE_TYPE_PIPE));
    LARGE_INTEGER none{};
    LARGE_INTEGER position{};
    EXPECT_EQ(Answer(SetFilePointerEx(server.Get(), none, &position, FILE_CURRENT)), "FALSE 1");
    Owned event(NewEvent());
    SetLastError(0);
    EXPECT_EQ(GetFileType(event.Get()), static_cast<DWORD>(FILE_TYPE_UNKNOWN));
    EXPECT_EQ(GetLastError(), 6u);

    // The child answers with its standard input's type times 4 plus its standard output's.
    const zelio_portable::ScratchFolder folder;
    zelio_portable::WriteWholeFile(folder / "in.txt", "x");
    zelio_portable::ChildProcess::Options fileToPipe;
    fileToPipe.inputFile = folder / "in.txt";
    fileToPipe.outputPipe = true;
    zelio_portable::ChildProcess first({"std-types"}, fileToPipe);
    EXPECT_EQ(first.Wait(), static_cast<int>(FILE_TYPE_DISK * 4 + FILE_TYPE_PIPE));
    zelio_portable::ChildProcess::Options pipeToFile;
    pipeToFile.inputPipe = true;
    pipeToFile.outputFile = folder / "out.txt";
    zelio_portable::ChildProcess second({"std-types"}, pipeToFile);
    EXPECT_EQ(second.Wait(), static_cast<int>(FILE_TYPE_PIPE * 4 + FILE_TYPE_DISK));
}

} // namespace

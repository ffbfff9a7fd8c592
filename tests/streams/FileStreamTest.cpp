// File streams: reading and seeking, creating and emptying, open failures with their records, writes
// the system refuses (a full device, a size limit) reported and never counted, and descriptors that
// stay with the process.
#include <Ostrel/Core/DataInputFile.h>
#include <Ostrel/Core/DataOutputFile.h>
#include <Ostrel/Core/IOException.h>
#include <Ostrel/ErrorInfo.h>

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

using namespace Ostrel;
using namespace Ostrel::Core;
using zelio_test::OpenDescriptors;
using zelio_test::ReadWholeFile;
using zelio_test::ScratchDirectory;
using zelio_test::WriteWholeFile;

namespace
{

const uint8_t* Bytes(const char* text)
{
    return reinterpret_cast<const uint8_t*>(text);
}

template <class Create> IOException OpenFailure(Create&& create)
{
    try
    {
        create();
    }
    catch (const IOException& e)
    {
        return e;
    }
    ADD_FAILURE() << "the stream was made";
    return IOException();
}

std::string Record(const std::string* record)
{
    return record != nullptr ? *record : "(none)";
}

// Caps the size of the files this process writes, with SIGXFSZ ignored so that a write beyond the
// cap fails with EFBIG instead of ending the process.
class FileSizeCap
{
public:
    explicit FileSizeCap(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &m_saved);
        const rlimit cap{bytes, m_saved.rlim_max};
        EXPECT_EQ(setrlimit(RLIMIT_FSIZE, &cap), 0);
        m_savedAction = std::signal(SIGXFSZ, SIG_IGN);
    }
    ~FileSizeCap()
    {
        setrlimit(RLIMIT_FSIZE, &m_saved);
        std::signal(SIGXFSZ, m_savedAction);
    }

private:
    rlimit m_saved{};
    void (*m_savedAction)(int) = SIG_DFL;
};

// Writes chunks of a running pattern until a Write throws (or 10,000 writes went); the counts the
// Writes returned, and the error text.
struct Outcome
{
    uint64_t counted = 0;
    std::string error;
};

// Letters that follow on from one Write to the next.
std::string Pattern(uint64_t size, uint64_t offset = 0)
{
    std::string bytes(size, '\0');
    for (uint64_t i = 0; i < size; ++i)
    {
        bytes[i] = static_cast<char>('a' + (offset + i) % 26);
    }
    return bytes;
}

Outcome WriteUntilRefused(IDataOutput& output, uint64_t chunk)
{
    Outcome outcome;
    for (int i = 0; i < 10000; ++i)
    {
        const std::string bytes = Pattern(chunk, outcome.counted);
        try
        {
            outcome.counted += output.Write(Bytes(bytes.data()), chunk);
        }
        catch (const IOException& e)
        {
            outcome.error = Record(boost::get_error_info<ErrorDescription>(e));
            break;
        }
    }
    return outcome;
}

TEST(DataInputFile, ReadsInPiecesSeeksAndKeepsTheSizeSeenAtOpening)
{
    ScratchDirectory dir;
    WriteWholeFile(dir / "ten.bin", "0123456789");
    auto input = DataInputFile::Create(ioPath(dir / "ten.bin"));
    EXPECT_EQ(input->GetSize(), 10u);
    EXPECT_EQ(input->GetPath(), ioPath(dir / "ten.bin"));
    uint8_t out[100];
    EXPECT_EQ(input->Read(out, 4), 4u);
    EXPECT_EQ(input->Read(out, 4), 4u);
    EXPECT_EQ(input->Read(out, 4), 2u);
    EXPECT_EQ(input->Read(out, 4), 0u);
    EXPECT_EQ(input->GetPosition(), 10u);
    input->SetPosition(3);
    EXPECT_EQ(input->Read(out, 100), 7u);
    EXPECT_EQ(std::memcmp(out, "3456789", 7), 0);

    WriteWholeFile(dir / "ten.bin", "0123456789 and more");
    EXPECT_EQ(input->GetSize(), 10u);
    input->SetPosition(1000);
    EXPECT_EQ(input->Read(out, 1), 0u);

    // A name that is not UTF-8 opens through the native form.
    WriteWholeFile(dir / "raw-\xFF.bin", "xyz");
    EXPECT_EQ(DataInputFile::Create(ioPath(dir / "raw-\xFF.bin"))->GetSize(), 3u);
}

TEST(FileStreams, OpenFailuresCarryTheSystemsReasonAndLeakNothing)
{
    ScratchDirectory dir;
    WriteWholeFile(dir / "plain", "a file, not a directory");
    const size_t before = OpenDescriptors().size();

    const ioPath missing(dir / "d\xC3\xA9j\xC3\xA0-missing.bin");
    const IOException absent = OpenFailure([&] { DataInputFile::Create(missing); });
    EXPECT_EQ(Record(boost::get_error_info<ErrorFilename>(absent)), missing.utf8string());
    EXPECT_EQ(Record(boost::get_error_info<ErrorDescription>(absent)), "Can not open file for reading");
    EXPECT_EQ(Record(boost::get_error_info<ErrorDetails>(absent)), std::strerror(ENOENT));
    EXPECT_NE(Record(boost::get_error_info<ErrorCallStack>(absent)), "");
    EXPECT_EQ(std::string(absent.what()), std::string(std::exception().what()));

    // A directory is not a file to read: nothing is opened, with the system's reason.
    const IOException directory = OpenFailure([&] { DataInputFile::Create(ioPath(dir.Path())); });
    EXPECT_EQ(Record(boost::get_error_info<ErrorFilename>(directory)), dir.Path().string());
    EXPECT_EQ(Record(boost::get_error_info<ErrorDescription>(directory)), "Can not open file for reading");
    EXPECT_EQ(Record(boost::get_error_info<ErrorDetails>(directory)), std::strerror(EISDIR));

    // The name of a file that is not UTF-8 is reported readably.
    const IOException raw = OpenFailure([&] { DataInputFile::Create(ioPath(dir / "gone-\xFF.bin")); });
    EXPECT_NE(Record(boost::get_error_info<ErrorFilename>(raw)).find("gone-\xEF\xBF\xBD.bin"),
              std::string::npos);

    // The output carries the system's text alone.
    const IOException outputOnDirectory = OpenFailure([&] { DataOutputFile::Create(ioPath(dir.Path())); });
    EXPECT_EQ(Record(boost::get_error_info<ErrorDescription>(outputOnDirectory)), std::strerror(EISDIR));
    EXPECT_EQ(boost::get_error_info<ErrorFilename>(outputOnDirectory), nullptr);
    const IOException belowAFile =
        OpenFailure([&] { DataOutputFile::Create(ioPath(dir / "plain" / "x.bin")); });
    EXPECT_EQ(Record(boost::get_error_info<ErrorDescription>(belowAFile)), std::strerror(ENOTDIR));

    EXPECT_EQ(OpenDescriptors().size(), before);
}

TEST(DataOutputFile, CreatesParentsEmptiesAndOverwritesAtThePosition)
{
    ScratchDirectory dir;
    const auto path = dir / "a" / "b" / "out.bin";
    {
        auto output = DataOutputFile::Create(ioPath(path));
        EXPECT_EQ(output->Write(Bytes("hello"), 5), 5u);
        output->SetPosition(2);
        EXPECT_EQ(output->Write(Bytes("L"), 1), 1u);
        EXPECT_EQ(output->GetPosition(), 3u);
        output->SetSize(1);
        EXPECT_EQ(output->GetSize(), 0u);
        // Every Write has reached the file before it returns.
        EXPECT_EQ(ReadWholeFile(path), "heLlo");
    }
    EXPECT_EQ(ReadWholeFile(path), "heLlo");

    auto again = DataOutputFile::Create(ioPath(path));
    EXPECT_EQ(again->GetSize(), 0u);
    EXPECT_EQ(ReadWholeFile(path), "");
    again->SetPosition(4);
    again->Write(Bytes("!"), 1);
    EXPECT_EQ(ReadWholeFile(path), std::string("\0\0\0\0!", 5));
}

// Writes smaller and larger than the runtime's buffer: a refused Write throws the system's text and
// counts nothing, and afterwards the position is where the system's bytes end.
TEST(DataOutputFile, WritesTheSystemRefusesThrowAndAreNeverCounted)
{
    ScratchDirectory dir;
    for (const uint64_t chunk : {3u, 5000u, 8192u, 70000u})
    {
        SCOPED_TRACE("writes of " + std::to_string(chunk));
        auto full = DataOutputFile::Create(ioPath("/dev/full"));
        const Outcome onFullDevice = WriteUntilRefused(*full, chunk);
        EXPECT_EQ(onFullDevice.counted, 0u);
        EXPECT_EQ(onFullDevice.error, std::strerror(ENOSPC));

        const auto path = dir / ("capped-" + std::to_string(chunk));
        auto capped = DataOutputFile::Create(ioPath(path));
        Outcome beyondTheCap;
        {
            FileSizeCap cap(10000);
            beyondTheCap = WriteUntilRefused(*capped, chunk);
        }
        EXPECT_EQ(beyondTheCap.error, std::strerror(EFBIG));
        EXPECT_EQ(beyondTheCap.counted, 10000 / chunk * chunk);
        EXPECT_EQ(capped->GetPosition(), 10000u);
        // Without the cap the stream goes on where the system's bytes end.
        EXPECT_EQ(capped->Write(Bytes("!"), 1), 1u);
        EXPECT_EQ(ReadWholeFile(path), Pattern(10000) + "!");
    }
}

TEST(FileStreams, ReleasingTheLastReferenceClosesTheFile)
{
    ScratchDirectory dir;
    WriteWholeFile(dir / "in.bin", "data");
    const size_t before = OpenDescriptors().size();
    for (int i = 0; i < 100; ++i)
    {
        auto input = DataInputFile::Create(ioPath(dir / "in.bin"));
        auto output = DataOutputFile::Create(ioPath(dir / "out.bin"));
        EXPECT_EQ(OpenDescriptors().size(), before + 2);
    }
    EXPECT_EQ(OpenDescriptors().size(), before);
}

// What /proc/self/fd/<fd> names in a child that the shell starts with exec, for each descriptor.
std::string TargetsSeenByAChild(const std::set<int>& descriptors)
{
    std::string command = "readlink";
    for (const int fd : descriptors)
    {
        command += " /proc/self/fd/" + std::to_string(fd);
    }
    std::FILE* child = popen(command.c_str(), "r");
    if (child == nullptr)
    {
        return "no child";
    }
    std::string seen;
    char buffer[512];
    for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, child)) > 0;)
    {
        seen.append(buffer, got);
    }
    pclose(child);
    return seen;
}

TEST(FileStreams, ChildStartedWithExecInheritsNoFileDescriptor)
{
    ScratchDirectory dir;
    WriteWholeFile(dir / "in.bin", "data");
    const std::set<int> before = OpenDescriptors();
    auto input = DataInputFile::Create(ioPath(dir / "in.bin"));
    auto output = DataOutputFile::Create(ioPath(dir / "out.bin"));
    // A descriptor that a child does inherit, to show that the child sees what it inherits.
    const int inherited = ::open((dir / "in.bin").c_str(), O_RDONLY);
    ASSERT_GE(inherited, 0);
    std::set<int> opened;
    for (const int fd : OpenDescriptors())
    {
        opened.insert(before.count(fd) == 0 ? fd : -1);
    }
    opened.erase(-1);
    ASSERT_EQ(opened.size(), 3u);

    const std::string seen = TargetsSeenByAChild(opened);
    ::close(inherited);
    EXPECT_EQ(seen, (dir / "in.bin").string() + "\n");
}

} // namespace

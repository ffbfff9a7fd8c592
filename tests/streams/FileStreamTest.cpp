// File streams: reading and seeking, creating and emptying, open failures with their records, writes
// the system refuses (a full device, a size limit) reported and never counted, and descriptors that
// stay with the stream and its process.
#include <Ostrel/Core/DataInputFile.h>
#include <Ostrel/Core/DataOutputFile.h>
#include <Ostrel/Core/IOException.h>
#include <Ostrel/ErrorInfo.h>

#include "support/TestSupport.h"

#include <boost/exception/get_error_info.hpp>
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
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

const uint8_t* Bytes(const std::string& text)
{
    return reinterpret_cast<const uint8_t*>(text.data());
}

template <class Tag> std::string Record(const IOException& e)
{
    const std::string* record = boost::get_error_info<Tag>(e);
    return record != nullptr ? *record : "(none)";
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

// Letters that follow on from one Write to the next.
std::string Letters(uint64_t size, uint64_t offset = 0)
{
    std::string bytes(size, '\0');
    for (uint64_t i = 0; i < size; ++i)
    {
        bytes[i] = static_cast<char>('a' + (offset + i) % 26);
    }
    return bytes;
}

// Writes chunks of letters until a Write throws (at most 10,000 Writes): the sum of the counts the
// Writes returned, and the error text.
std::pair<uint64_t, std::string> WriteUntilRefused(IDataOutput& output, uint64_t chunk)
{
    uint64_t counted = 0;
    try
    {
        for (int i = 0; i < 10000; ++i)
        {
            counted += output.Write(Bytes(Letters(chunk, counted)), chunk);
        }
    }
    catch (const IOException& e)
    {
        return {counted, Record<ErrorDescription>(e)};
    }
    return {counted, "nothing refused"};
}

TEST(DataInputFile, SeeksAndKeepsTheSizeSeenAtOpening)
{
    ScratchDirectory dir;
    WriteWholeFile(dir / "ten.bin", "0123456789");
    auto input = DataInputFile::Create(ioPath(dir / "ten.bin"));
    EXPECT_EQ(input->GetSize(), 10u);
    uint8_t out[100];
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
    EXPECT_EQ(Record<ErrorFilename>(absent), missing.utf8string());
    EXPECT_EQ(Record<ErrorDescription>(absent), "Can not open file for reading");
    EXPECT_EQ(Record<ErrorDetails>(absent), std::strerror(ENOENT));
    EXPECT_NE(Record<ErrorCallStack>(absent), "(none)");
    EXPECT_EQ(std::string(absent.what()), std::string(std::exception().what()));
    // A directory holds nothing a file stream can read.
    const IOException directory = OpenFailure([&] { DataInputFile::Create(ioPath(dir.Path())); });
    EXPECT_EQ(Record<ErrorFilename>(directory), dir.Path().string());
    EXPECT_EQ(Record<ErrorDescription>(directory), "Can not open file for reading");
    EXPECT_EQ(Record<ErrorDetails>(directory), std::strerror(EISDIR));
    // A name that is not UTF-8 is reported readably.
    const IOException raw = OpenFailure([&] { DataInputFile::Create(ioPath(dir / "gone-\xFF.bin")); });
    EXPECT_NE(Record<ErrorFilename>(raw).find("gone-\xEF\xBF\xBD.bin"), std::string::npos);

    // The output's failures carry the system's text alone.
    const IOException onDirectory = OpenFailure([&] { DataOutputFile::Create(ioPath(dir.Path())); });
    EXPECT_EQ(Record<ErrorDescription>(onDirectory), std::strerror(EISDIR));
    EXPECT_EQ(Record<ErrorFilename>(onDirectory), "(none)");
    const IOException belowAFile =
        OpenFailure([&] { DataOutputFile::Create(ioPath(dir / "plain" / "x.bin")); });
    EXPECT_EQ(Record<ErrorDescription>(belowAFile), std::strerror(ENOTDIR));
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
    auto again = DataOutputFile::Create(ioPath(path));
    EXPECT_EQ(again->GetSize(), 0u);
    EXPECT_EQ(ReadWholeFile(path), "");
    again->SetPosition(4);
    again->Write(Bytes("!"), 1);
    EXPECT_EQ(ReadWholeFile(path), std::string("\0\0\0\0!", 5));
}

// Writes smaller and larger than the runtime's buffer: a refused Write throws the system's text and
// counts nothing, and the position is where the bytes the system took end.
TEST(DataOutputFile, WritesTheSystemRefusesThrowAndAreNeverCounted)
{
    ScratchDirectory dir;
    for (const uint64_t chunk : {3u, 5000u, 8192u, 70000u})
    {
        SCOPED_TRACE("writes of " + std::to_string(chunk));
        auto full = DataOutputFile::Create(ioPath("/dev/full"));
        EXPECT_EQ(WriteUntilRefused(*full, chunk),
                  std::make_pair(uint64_t{0}, std::string(std::strerror(ENOSPC))));

        const auto path = dir / ("capped-" + std::to_string(chunk));
        auto capped = DataOutputFile::Create(ioPath(path));
        {
            FileSizeCap cap(10000);
            EXPECT_EQ(WriteUntilRefused(*capped, chunk),
                      std::make_pair(10000 / chunk * chunk, std::string(std::strerror(EFBIG))));
        }
        EXPECT_EQ(capped->GetPosition(), 10000u);
        // Without the cap the stream goes on where the system's bytes end.
        EXPECT_EQ(capped->Write(Bytes("!"), 1), 1u);
        EXPECT_EQ(ReadWholeFile(path), Letters(10000) + "!");
    }
}

// What /proc/self/fd/<fd> names, for each descriptor, in a child that the shell starts with exec.
std::string TargetsSeenByAChild(const std::set<int>& descriptors)
{
    std::string command = "readlink";
    for (const int fd : descriptors)
    {
        command += " /proc/self/fd/" + std::to_string(fd);
    }
    std::unique_ptr<FILE, int (*)(FILE*)> child(popen(command.c_str(), "r"), &pclose);
    std::string seen;
    char buffer[512];
    for (size_t got; child && (got = std::fread(buffer, 1, sizeof buffer, child.get())) > 0;)
    {
        seen.append(buffer, got);
    }
    return seen;
}

TEST(FileStreams, DescriptorsStayWithTheStreamAndItsProcess)
{
    ScratchDirectory dir;
    WriteWholeFile(dir / "in.bin", "data");
    const std::set<int> before = OpenDescriptors();
    for (int i = 0; i < 100; ++i)
    {
        DataInputFile::Create(ioPath(dir / "in.bin"));
        DataOutputFile::Create(ioPath(dir / "out.bin"));
    }
    EXPECT_EQ(OpenDescriptors(), before);

    auto input = DataInputFile::Create(ioPath(dir / "in.bin"));
    auto output = DataOutputFile::Create(ioPath(dir / "out.bin"));
    // A descriptor that a child does inherit, to show that the child sees what it inherits.
    const int inherited = ::open((dir / "in.bin").c_str(), O_RDONLY);
    std::set<int> opened;
    for (const int fd : OpenDescriptors())
    {
        opened.insert(before.count(fd) == 0 ? fd : inherited);
    }
    ASSERT_EQ(opened.size(), 3u);
    EXPECT_EQ(TargetsSeenByAChild(opened), (dir / "in.bin").string() + "\n");
    ::close(inherited);
}

} // namespace

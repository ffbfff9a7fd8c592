// The MD5 of a data input equals what md5sum prints for its bytes from its position on: RFC 1321
// vectors through memory and files, inputs not at their start, an input that delivers its bytes a
// little at a time, and a file larger than the digest's buffer, read through a buffer that does not
// grow with the file.
#include <Ostrel/Core/DataInputFile.h>
#include <Ostrel/Core/DataInputString.h>
#include <Ostrel/Core/StreamDigest.h>
#include <Ostrel/LockImpl.h>
#include <Ostrel/RefCountImpl.h>

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

namespace
{
std::atomic<std::size_t> g_largestAllocation{0};
}

// This executable's allocations go through malloc, and the largest one is remembered.
void* operator new(std::size_t size)
{
    std::size_t largest = g_largestAllocation.load();
    while (size > largest && !g_largestAllocation.compare_exchange_weak(largest, size))
    {
    }
    if (void* memory = std::malloc(size == 0 ? 1 : size))
    {
        return memory;
    }
    throw std::bad_alloc();
}

void operator delete(void* memory) noexcept
{
    std::free(memory);
}

void operator delete(void* memory, std::size_t) noexcept
{
    std::free(memory);
}

using namespace Ostrel;
using namespace Ostrel::Core;
using zelio_test::ScratchDirectory;
using zelio_test::WriteWholeFile;

namespace
{

std::string Hex(const std::vector<uint8_t>& bytes)
{
    std::string text;
    for (const uint8_t byte : bytes)
    {
        text += "0123456789abcdef"[byte >> 4];
        text += "0123456789abcdef"[byte & 0xF];
    }
    return text;
}

std::string Md5sum(const std::filesystem::path& path)
{
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(("md5sum '" + path.string() + "'").c_str(), "r"),
                                               &pclose);
    char digest[33] = {};
    return pipe && std::fread(digest, 1, 32, pipe.get()) == 32 ? digest : "md5sum failed";
}

// A data input over a string whose Read delivers at most 1000 bytes per call, and which may
// claim to be longer than it is.
class TrickleInput : public IDataInput
{
public:
    TrickleInput(std::string bytes, uint64_t claimedSize)
        : m_bytes(std::move(bytes)), m_claimedSize(claimedSize)
    {
    }

    uint64_t Read(uint8_t* data, uint64_t size) override
    {
        const uint64_t count = std::min({size, uint64_t{1000}, m_bytes.size() - m_position});
        std::memcpy(data, m_bytes.data() + m_position, count);
        m_position += count;
        return count;
    }
    const ioPath& GetPath() override { return m_path; }
    uint64_t GetSize() override { return m_claimedSize; }
    uint64_t GetPosition() override { return m_position; }
    void SetPosition(uint64_t position) override
    {
        m_position = std::min<uint64_t>(position, m_bytes.size());
    }
    void Lock() override { m_lock.Lock_Impl(); }
    bool TryLock() override { return m_lock.TryLock_Impl(); }
    void Unlock() override { m_lock.Unlock_Impl(); }
    unsigned int AddRef() const override { return m_count.AddRefImpl(); }
    unsigned int GetRefCount() const override { return m_count.GetRefCountImpl(); }
    unsigned int Release() const override
    {
        const unsigned int left = m_count.ReleaseImpl();
        if (left == 0)
        {
            delete this;
        }
        return left;
    }

private:
    LockImpl m_lock;
    RefCountImpl m_count;
    ioPath m_path;
    std::string m_bytes;
    uint64_t m_claimedSize;
    uint64_t m_position = 0;
};

std::string Letters(size_t size)
{
    std::string text(size, '\0');
    for (size_t i = 0; i < size; ++i)
    {
        text[i] = static_cast<char>('a' + i % 26);
    }
    return text;
}

TEST(StreamDigest, Rfc1321VectorsFromThePositionOnFollowedByTheSalt)
{
    const std::string text = "skip me:abc";
    auto input = DataInputString::Create(&text);
    input->SetPosition(8);
    EXPECT_EQ(Hex(MD5Generate(input, "")), "900150983cd24fb0d6963f7d28e17f72");
    input->SetPosition(8);
    EXPECT_EQ(Hex(MD5Generate(input, "defghijklmnopqrstuvwxyz")), "c3fcd3d76192e4007dfb496cca67e13b");

    ScratchDirectory dir;
    WriteWholeFile(dir / "message.txt", "message digest");
    auto file = DataInputFile::Create(ioPath(dir / "message.txt"));
    const std::vector<uint8_t> digest = MD5Generate(file, "");
    EXPECT_EQ(digest.size(), 16u);
    EXPECT_EQ(Hex(digest), "f96b697d7cb7938d525a2f31aaf161d0");
    EXPECT_EQ(file->GetPosition(), 14u);
    EXPECT_EQ(Hex(MD5Generate(file, "")), "d41d8cd98f00b204e9800998ecf8427e"); // nothing left to read
    file->SetPosition(11);
    EXPECT_EQ(Hex(MD5Generate(file, "")), "1c52bdae8bad70e82da799843bb4e831"); // md5sum of "est"
    file->SetPosition(100);
    EXPECT_EQ(Hex(MD5Generate(file, "")), "d41d8cd98f00b204e9800998ecf8427e");
}

TEST(StreamDigest, InputThatDeliversALittleAtATimeIsDigestedToItsEnd)
{
    ScratchDirectory dir;
    const std::string bytes = Letters(10'000);
    WriteWholeFile(dir / "letters.txt", bytes);
    WriteWholeFile(dir / "tail.txt", bytes.substr(1234));
    const std::string whole = Md5sum(dir / "letters.txt");

    EXPECT_EQ(Hex(MD5Generate(new TrickleInput(bytes, bytes.size()), "")), whole);
    boost::intrusive_ptr<IDataInput> positioned(new TrickleInput(bytes, bytes.size()));
    positioned->SetPosition(1234);
    EXPECT_EQ(Hex(MD5Generate(positioned, "")), Md5sum(dir / "tail.txt"));
    EXPECT_EQ(positioned->GetPosition(), bytes.size());
    // An input that ends before the size it claimed: the digest of what it had.
    EXPECT_EQ(Hex(MD5Generate(new TrickleInput(bytes, 1u << 30), "")), whole);
}

TEST(StreamDigest, FileLargerThanTheBufferFromItsStartAndFromAnOddPosition)
{
    ScratchDirectory dir;
    std::string content((3u << 20) + 4097, '\0');
    for (size_t i = 0; i < content.size(); ++i)
    {
        content[i] = static_cast<char>((i * 2654435761u) >> 13);
    }
    WriteWholeFile(dir / "large.bin", content);
    const size_t position = (1u << 20) + 333;
    WriteWholeFile(dir / "tail.bin", content.substr(position));
    content.clear();
    content.shrink_to_fit();

    g_largestAllocation = 0;
    auto file = DataInputFile::Create(ioPath(dir / "large.bin"));
    EXPECT_EQ(Hex(MD5Generate(file, "")), Md5sum(dir / "large.bin"));
    file->SetPosition(position);
    EXPECT_EQ(Hex(MD5Generate(file, "")), Md5sum(dir / "tail.bin"));
    // The buffer does not grow with the file.
    EXPECT_LE(g_largestAllocation.load(), 1u << 20);
}

} // namespace

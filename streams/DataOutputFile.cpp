// DataOutputFile: a data output over a file opened for binary writing.
#include <Ostrel/Core/DataOutputFile.h>
#include <Ostrel/Core/IOException.h>

#include "errors/Throw.h"
#include "streams/NativeFile.h"
#include "streams/StreamMembers.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace Ostrel::Core
{
namespace
{

void CloseFile(std::FILE* file)
{
    if (file != nullptr)
    {
        std::fclose(file);
    }
}

} // namespace

// Throws the runtime's error text for the errno that the failed call left.
#define ZELIO_THROW_ERRNO() ZELIO_THROW(IOException() << ErrorDescription(std::strerror(errno)))

ZELIO_DEFINE_DATA_STREAM_MEMBERS(DataOutputFile)

boost::intrusive_ptr<IDataOutput> DataOutputFile::Create(const ioPath& path)
{
    return boost::intrusive_ptr<IDataOutput>(new DataOutputFile(path));
}

DataOutputFile::DataOutputFile(const ioPath& path) : m_path(path)
{
    // A failure here shows up as the open's failure just below.
    ioPath::create_directories(m_path.parent_path());
    m_file.reset(detail::OpenNativeFile(m_path, detail::FileMode::WriteBinary), CloseFile);
    if (!m_file)
    {
        ZELIO_THROW_ERRNO();
    }
    // Every Write is flushed at once, so a buffer would only hide how many bytes the system took:
    // without one, what fwrite counts is what reached the file.
    std::setvbuf(m_file.get(), nullptr, _IONBF, 0);
    if (detail::SeekToEnd(m_file.get()) != 0)
    {
        ZELIO_THROW_ERRNO();
    }
    m_size = detail::TellPosition(m_file.get());
    if (m_size == static_cast<uint64_t>(-1))
    {
        ZELIO_THROW_ERRNO();
    }
    if (detail::SeekFromStart(m_file.get(), 0) != 0)
    {
        ZELIO_THROW_ERRNO();
    }
}

DataOutputFile::~DataOutputFile() = default;

uint64_t DataOutputFile::Write(const uint8_t* data, uint64_t size)
{
    const uint64_t written = std::fwrite(data, 1, size, m_file.get());
    if (written < size || std::fflush(m_file.get()) != 0)
    {
        // The bytes the system did take stay in the file, and the position follows them.
        ZELIO_THROW_ERRNO();
    }
    return written;
}

const ioPath& DataOutputFile::GetPath()
{
    return m_path;
}

uint64_t DataOutputFile::GetSize()
{
    return m_size;
}

void DataOutputFile::SetSize(uint64_t) {}

uint64_t DataOutputFile::GetPosition()
{
    return detail::TellPosition(m_file.get());
}

void DataOutputFile::SetPosition(uint64_t position)
{
    if (detail::SeekFromStart(m_file.get(), position) != 0)
    {
        ZELIO_THROW_ERRNO();
    }
}

} // namespace Ostrel::Core

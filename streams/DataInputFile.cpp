// DataInputFile: a data input over a file opened for binary reading.
#include <Ostrel/Core/DataInputFile.h>
#include <Ostrel/Core/IOException.h>

#include "errors/Throw.h"
#include "streams/NativeFile.h"
#include "streams/StreamMembers.h"

#include <cerrno>
#include <cstring>

namespace Ostrel::Core
{

ZELIO_DEFINE_DATA_STREAM_MEMBERS(DataInputFile)

boost::intrusive_ptr<IDataInput> DataInputFile::Create(const ioPath& path)
{
    boost::intrusive_ptr<DataInputFile> stream(new DataInputFile(path));
    stream->m_file = detail::OpenNativeFile(path, detail::FileMode::ReadBinary);
    if (stream->m_file == nullptr)
    {
        const int openError = errno;
        ZELIO_THROW_WITH_STACK(IOException() << ErrorFilename(path.display_string())
                                             << ErrorDescription("Can not open file for reading")
                                             << ErrorDetails(std::strerror(openError)));
    }
    detail::SeekToEnd(stream->m_file);
    stream->m_size = detail::TellPosition(stream->m_file);
    detail::SeekFromStart(stream->m_file, 0);
    return stream;
}

DataInputFile::DataInputFile(const ioPath& path) : m_path(path) {}

DataInputFile::~DataInputFile()
{
    if (m_file != nullptr)
    {
        std::fclose(m_file);
    }
}

uint64_t DataInputFile::Read(uint8_t* data, uint64_t size)
{
    return std::fread(data, 1, size, m_file);
}

const ioPath& DataInputFile::GetPath()
{
    return m_path;
}

uint64_t DataInputFile::GetSize()
{
    return m_size;
}

uint64_t DataInputFile::GetPosition()
{
    return detail::TellPosition(m_file);
}

void DataInputFile::SetPosition(uint64_t position)
{
    detail::SeekFromStart(m_file, position);
}

} // namespace Ostrel::Core

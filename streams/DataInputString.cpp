// DataInputString: a data input over the caller's string.
#include <Ostrel/Core/DataInputString.h>
#include <Ostrel/Core/IOException.h>

#include "errors/Throw.h"
#include "streams/StreamMembers.h"

#include <algorithm>
#include <cstring>

namespace Ostrel::Core
{

ZELIO_DEFINE_DATA_STREAM_MEMBERS(DataInputString)

boost::intrusive_ptr<IDataInput> DataInputString::Create(const std::string* source)
{
    return boost::intrusive_ptr<IDataInput>(new DataInputString(source));
}

DataInputString::DataInputString(const std::string* source) : m_source(source) {}

DataInputString::~DataInputString() = default;

uint64_t DataInputString::Read(uint8_t* data, uint64_t size)
{
    const uint64_t length = m_source->size();
    // The caller may have shortened the string below the position: then nothing is left to read.
    if (m_position >= length)
    {
        return 0;
    }
    const uint64_t count = std::min(size, length - m_position);
    std::memcpy(data, m_source->data() + m_position, count);
    m_position += count;
    return count;
}

const ioPath& DataInputString::GetPath()
{
    return m_path;
}

uint64_t DataInputString::GetSize()
{
    return m_source->size();
}

uint64_t DataInputString::GetPosition()
{
    return m_position;
}

void DataInputString::SetPosition(uint64_t position)
{
    if (position > m_source->size())
    {
        ZELIO_THROW(IOException() << ErrorSeek(position));
    }
    m_position = position;
}

} // namespace Ostrel::Core

// DataInputMemory: a data input over the caller's memory block.
#include <Ostrel/Core/DataInputMemory.h>
#include <Ostrel/Core/IOException.h>

#include "errors/Throw.h"
#include "streams/StreamMembers.h"

#include <algorithm>
#include <cstring>

namespace Ostrel::Core
{

ZELIO_DEFINE_DATA_STREAM_MEMBERS(DataInputMemory)

boost::intrusive_ptr<IDataInput> DataInputMemory::Create(const uint8_t* data, uint64_t size)
{
    return boost::intrusive_ptr<IDataInput>(new DataInputMemory(data, size));
}

DataInputMemory::DataInputMemory(const uint8_t* data, uint64_t size) : m_data(data), m_size(size) {}

DataInputMemory::~DataInputMemory() = default;

uint64_t DataInputMemory::Read(uint8_t* data, uint64_t size)
{
    const uint64_t count = std::min(size, m_size - m_position);
    if (count == 0)
    {
        return 0;
    }
    std::memcpy(data, m_data + m_position, count);
    m_position += count;
    return count;
}

const ioPath& DataInputMemory::GetPath()
{
    return m_path;
}

uint64_t DataInputMemory::GetSize()
{
    return m_size;
}

uint64_t DataInputMemory::GetPosition()
{
    return m_position;
}

void DataInputMemory::SetPosition(uint64_t position)
{
    if (position > m_size)
    {
        ZELIO_THROW(IOException() << ErrorSeek(position));
    }
    m_position = position;
}

} // namespace Ostrel::Core

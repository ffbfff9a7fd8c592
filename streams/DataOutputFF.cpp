// DataOutputFF: a path-only data output.
#include <Ostrel/Core/DataOutputFF.h>

#include "streams/StreamMembers.h"

namespace Ostrel::Core
{

ZELIO_DEFINE_DATA_STREAM_MEMBERS(DataOutputFF)

boost::intrusive_ptr<IDataOutput> DataOutputFF::Create(const ioPath& path)
{
    return boost::intrusive_ptr<IDataOutput>(new DataOutputFF(path));
}

DataOutputFF::DataOutputFF(const ioPath& path) : m_path(path) {}
DataOutputFF::~DataOutputFF() = default;

uint64_t DataOutputFF::Write(const uint8_t*, uint64_t)
{
    return 0;
}

const ioPath& DataOutputFF::GetPath()
{
    return m_path;
}

uint64_t DataOutputFF::GetSize()
{
    return 0;
}

void DataOutputFF::SetSize(uint64_t) {}

uint64_t DataOutputFF::GetPosition()
{
    return 0;
}

void DataOutputFF::SetPosition(uint64_t) {}

} // namespace Ostrel::Core

// DataInputFF: a path-only data input.
#include <Ostrel/Core/DataInputFF.h>

#include "streams/StreamMembers.h"

namespace Ostrel::Core
{

ZELIO_DEFINE_DATA_STREAM_MEMBERS(DataInputFF)

boost::intrusive_ptr<IDataInput> DataInputFF::Create(const ioPath& path)
{
    return boost::intrusive_ptr<IDataInput>(new DataInputFF(path));
}

DataInputFF::DataInputFF(const ioPath& path) : m_path(path) {}
DataInputFF::~DataInputFF() = default;

uint64_t DataInputFF::Read(uint8_t*, uint64_t)
{
    return 0;
}

const ioPath& DataInputFF::GetPath()
{
    return m_path;
}

uint64_t DataInputFF::GetSize()
{
    return 0;
}

uint64_t DataInputFF::GetPosition()
{
    return 0;
}

void DataInputFF::SetPosition(uint64_t) {}

} // namespace Ostrel::Core

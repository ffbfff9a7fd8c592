// DataOutputString: a data output into the caller's string.
#include <Ostrel/Core/DataOutputString.h>
#include <Ostrel/Core/IOException.h>

#include "errors/Throw.h"
#include "streams/StreamMembers.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <stdexcept>

namespace Ostrel::Core
{
namespace
{

// Whether the bytes lie in the string's own storage, where growing or overwriting the string
// would move or change them while they are written.
bool OverlapsStorage(const std::string& target, const uint8_t* data, uint64_t size)
{
    const auto first = reinterpret_cast<uintptr_t>(data);
    const auto storage = reinterpret_cast<uintptr_t>(target.data());
    return first < storage + target.capacity() + 1 && storage < first + size;
}

} // namespace

ZELIO_DEFINE_DATA_STREAM_MEMBERS(DataOutputString)

boost::intrusive_ptr<IDataOutput> DataOutputString::Create(std::string* target)
{
    return boost::intrusive_ptr<IDataOutput>(new DataOutputString(target));
}

DataOutputString::DataOutputString(std::string* target) : m_target(target) {}

DataOutputString::~DataOutputString() = default;

uint64_t DataOutputString::Write(const uint8_t* data, uint64_t size)
{
    if (size == 0)
    {
        return 0;
    }
    std::string& target = *m_target;
    if (size > target.max_size() || m_position > target.max_size() - size)
    {
        throw std::length_error("DataOutputString::Write: the string cannot hold the written bytes");
    }
    if (OverlapsStorage(target, data, size))
    {
        const std::string copy(reinterpret_cast<const char*>(data), size);
        return Write(reinterpret_cast<const uint8_t*>(copy.data()), size);
    }
    const uint64_t end = m_position + size;
    const uint64_t length = target.size();
    // Growing first is the only step that can fail; it leaves the string as it was.
    if (end > target.capacity())
    {
        target.reserve(end);
    }
    const uint64_t overwritten = m_position < length ? std::min(size, length - m_position) : 0;
    if (overwritten > 0)
    {
        std::memcpy(target.data() + m_position, data, overwritten);
    }
    if (m_position > length)
    {
        // The caller shortened the string below the position: the gap is filled with zero bytes.
        target.append(m_position - length, '\0');
    }
    target.append(reinterpret_cast<const char*>(data) + overwritten, size - overwritten);
    m_position = end;
    return size;
}

const ioPath& DataOutputString::GetPath()
{
    return m_path;
}

uint64_t DataOutputString::GetSize()
{
    return m_target->size();
}

void DataOutputString::SetSize(uint64_t size)
{
    if (size > m_target->max_size())
    {
        throw std::length_error("DataOutputString::SetSize: the string cannot be that long");
    }
    m_target->resize(size);
    m_position = std::min(m_position, size);
}

uint64_t DataOutputString::GetPosition()
{
    return m_position;
}

void DataOutputString::SetPosition(uint64_t position)
{
    if (position > m_target->size())
    {
        ZELIO_THROW(IOException() << ErrorSeek(position));
    }
    m_position = position;
}

} // namespace Ostrel::Core

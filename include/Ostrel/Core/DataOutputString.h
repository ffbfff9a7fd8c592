// DataOutputString: writes into a std::string that the caller owns and keeps alive. Writing inside
// the string overwrites, writing across its end extends it; the string is never cleared.
#pragma once

#include <Ostrel/Core/IDataOutput.h>
#include <Ostrel/Core/StreamMembers.h>
#include <Ostrel/LockImpl.h>
#include <Ostrel/RefCountImpl.h>
#include <Ostrel/ZelIOExport.h>

#include <string>

namespace Ostrel::Core
{

class DataOutputString : public virtual IDataOutput
{
    ZELIO_DATA_STREAM_MEMBERS

public:
    // Writing starts at position 0, not at the end of the string.
    ZELIO_API static boost::intrusive_ptr<IDataOutput> Create(std::string* target);

    // The bytes may come from the target string itself: they are written as they were before the
    // Write. A write that the string cannot hold throws the standard library's exception
    // (std::length_error or std::bad_alloc) and changes neither the string nor the position.
    uint64_t Write(const uint8_t* data, uint64_t size) override;
    const ioPath& GetPath() override;
    uint64_t GetSize() override;
    // Cuts the string or extends it with zero bytes; a position beyond the new end moves to it.
    void SetSize(uint64_t size) override;
    uint64_t GetPosition() override;
    // Throws IOException with ErrorSeek beyond the string's length; the position then stays.
    void SetPosition(uint64_t position) override;

private:
    explicit DataOutputString(std::string* target);
    ~DataOutputString() override;

    LockImpl m_lock;
    RefCountImpl m_refCount;
    std::string* m_target;
    uint64_t m_position = 0;
    ioPath m_path;
};

} // namespace Ostrel::Core

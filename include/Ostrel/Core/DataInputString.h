// DataInputString: reads a std::string that the caller owns and keeps alive. The string's current
// length is read on every call, so bytes the caller appends are seen at once.
#pragma once

#include <Ostrel/Core/IDataInput.h>
#include <Ostrel/Core/StreamMembers.h>
#include <Ostrel/LockImpl.h>
#include <Ostrel/RefCountImpl.h>
#include <Ostrel/ZelIOExport.h>

#include <string>

namespace Ostrel::Core
{

class DataInputString : public virtual IDataInput
{
    ZELIO_DATA_STREAM_MEMBERS

public:
    ZELIO_API static boost::intrusive_ptr<IDataInput> Create(const std::string* source);

    // Returns 0 at the end, and also when the caller has shortened the string below the position.
    uint64_t Read(uint8_t* data, uint64_t size) override;
    const ioPath& GetPath() override;
    uint64_t GetSize() override;
    uint64_t GetPosition() override;
    // Throws IOException with ErrorSeek beyond the string's length; the position then stays.
    void SetPosition(uint64_t position) override;

private:
    explicit DataInputString(const std::string* source);
    ~DataInputString() override;

    LockImpl m_lock;
    RefCountImpl m_refCount;
    const std::string* m_source;
    uint64_t m_position = 0;
    ioPath m_path;
};

} // namespace Ostrel::Core

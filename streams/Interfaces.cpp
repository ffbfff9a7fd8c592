// The exported special members of the stream and lock interfaces. They touch no state: the
// interfaces hold none, and copying one never copies a reference count or a lock.
#include <Ostrel/Core/IByteDataOutput.h>
#include <Ostrel/Core/IDataInput.h>
#include <Ostrel/Core/IDataOutput.h>
#include <Ostrel/ILockable.h>
#include <Ostrel/ISerializable.h>

namespace Ostrel
{

ILockable::ILockable() = default;
ILockable::ILockable(const ILockable&) = default;
ILockable& ILockable::operator=(const ILockable&) = default;
ILockable::~ILockable() = default;

ISerializable::ISerializable() = default;
ISerializable::ISerializable(const ISerializable&) = default;
ISerializable& ISerializable::operator=(const ISerializable&) = default;
ISerializable::~ISerializable() = default;

namespace Core
{

IByteDataOutput::IByteDataOutput() = default;
IByteDataOutput::IByteDataOutput(const IByteDataOutput&) = default;
IByteDataOutput& IByteDataOutput::operator=(const IByteDataOutput&) = default;
IByteDataOutput::~IByteDataOutput() = default;
void IByteDataOutput::Cancel() {}

IDataInput::IDataInput() = default;
IDataInput::IDataInput(const IDataInput&) = default;
IDataInput& IDataInput::operator=(const IDataInput&) = default;
IDataInput::~IDataInput() = default;

IDataOutput::IDataOutput() = default;
IDataOutput::IDataOutput(const IDataOutput&) = default;
IDataOutput& IDataOutput::operator=(const IDataOutput&) = default;
IDataOutput::~IDataOutput() = default;

} // namespace Core
} // namespace Ostrel

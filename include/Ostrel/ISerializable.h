// ISerializable: an object that can write itself to a data output. Nothing in the library
// implements it; it is offered to the application's own types.
#pragma once

#include <Ostrel/ZelIOExport.h>

#include <boost/intrusive_ptr.hpp>

namespace Ostrel
{
namespace Core
{
class IDataOutput;
}

class ZELIO_API ISerializable
{
public:
    ISerializable();
    ISerializable(const ISerializable&);
    ISerializable& operator=(const ISerializable&);
    virtual ~ISerializable();

    virtual void Serialize(const boost::intrusive_ptr<Core::IDataOutput>& output) const = 0;
};

} // namespace Ostrel

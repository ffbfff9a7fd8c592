// Pipe names and temporary file names from random UUIDs.
#include <Ostrel/Core/IPCTools.h>

#include "errors/Throw.h"

#include <Ostrel/Core/CoreException.h>
#include <Ostrel/Platform/Windows.h>

#include <boost/uuid/random_generator.hpp>
#include <boost/uuid/uuid_io.hpp>

#include <cstdio>
#include <cstdlib>

namespace Ostrel::Core
{

namespace
{

// Owns the buffer that the runtime's _tempnam returns.
class SafeTempName
{
public:
    explicit SafeTempName(const std::string& prefix) : m_name(_tempnam(nullptr, prefix.c_str()))
    {
        if (m_name == nullptr)
        {
            ZELIO_THROW_WITH_STACK(CoreException() << ErrorDescription("Failed to generate temp name"));
        }
    }
    SafeTempName(const SafeTempName&) = delete;
    SafeTempName& operator=(const SafeTempName&) = delete;
    ~SafeTempName() { std::free(m_name); }

    const char* Get() const noexcept { return m_name; }

private:
    char* m_name;
};

// Each call draws from its own generator, so callers on many threads share nothing.
std::string NewUuidText()
{
    boost::uuids::random_generator generator;
    return boost::uuids::to_string(generator());
}

} // namespace

std::string GeneratePipeName()
{
    return "\\\\.\\pipe\\" + NewUuidText();
}

std::string GenerateTempFileName()
{
    const SafeTempName name(NewUuidText());
    return std::string(name.Get());
}

} // namespace Ostrel::Core

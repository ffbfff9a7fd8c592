// Ostrel::Exception: the special members, defined here so that the class's type information and
// table live in this library only.
#include <Ostrel/Exception.h>

namespace Ostrel
{

Exception::Exception() noexcept = default;
Exception::Exception(const Exception& other) noexcept : std::exception(other), boost::exception(other) {}
Exception::Exception(Exception&& other) noexcept : std::exception(other), boost::exception(other) {}
Exception& Exception::operator=(const Exception& other) noexcept = default;
Exception& Exception::operator=(Exception&& other) noexcept = default;
Exception::~Exception() noexcept = default;

} // namespace Ostrel

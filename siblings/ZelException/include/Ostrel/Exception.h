// Ostrel::Exception: the root of the application's exception classes. It joins std::exception
// and boost::exception as virtual bases, so that a class combining several branches of a family
// still holds one of each; failure information travels in boost::error_info records.
#pragma once

#include <Ostrel/ZelExceptionExport.h>

#include <boost/exception/exception.hpp>

#include <exception>

namespace Ostrel
{

class ZELEXCEPTION_API Exception : public virtual std::exception, public virtual boost::exception
{
public:
    Exception() noexcept;
    Exception(const Exception& other) noexcept;
    Exception(Exception&& other) noexcept;
    Exception& operator=(const Exception& other) noexcept;
    Exception& operator=(Exception&& other) noexcept;
    ~Exception() noexcept override;
};

} // namespace Ostrel

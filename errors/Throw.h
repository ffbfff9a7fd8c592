// The library's throw conventions, for its own sources only.
//
// ZELIO_THROW(e): throws e, built with its records attached, with the throw location (function
// signature, file, line). ZELIO_THROW_WITH_STACK(e) attaches the call stack as the last record
// first. ZELIO_THROW_STANDARD(Type, text) throws a standard exception whose message is the text,
// a newline and the call stack, with the location.
#pragma once

#include <Ostrel/CallStack.h>
#include <Ostrel/ErrorInfo.h>

#include <boost/exception/info.hpp>
#include <boost/throw_exception.hpp>

#include <string>

namespace Ostrel::Core::detail
{

template <class E> const E& WithCallStack(const E& exception)
{
    return exception << ErrorCallStack(GetCallStack());
}

// decorate(thrown) may attach records to the exception before it is thrown.
template <class StdException, class Decorate = void (*)(const boost::wrapexcept<StdException>&)>
[[noreturn]] void ThrowStandard(const std::string& description, const boost::source_location& where,
                                Decorate decorate = [](const boost::wrapexcept<StdException>&) {})
{
    const StdException described(description);
    const boost::wrapexcept<StdException> thrown(
        StdException(std::string(described.what()) + '\n' + GetCallStack()), where);
    decorate(thrown);
    throw thrown;
}

} // namespace Ostrel::Core::detail

#define ZELIO_THROW(exception) BOOST_THROW_EXCEPTION(exception)
#define ZELIO_THROW_WITH_STACK(exception)                                                                    \
    BOOST_THROW_EXCEPTION(::Ostrel::Core::detail::WithCallStack(exception))
#define ZELIO_THROW_STANDARD(Type, description)                                                              \
    ::Ostrel::Core::detail::ThrowStandard<Type>(description, BOOST_CURRENT_LOCATION)

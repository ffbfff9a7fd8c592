// The failures the pipe streams throw, with what a caller needs to act on them: the pipe's name
// (when the stream has one), the text of the ERROR line logged for it and the system's error code,
// then the call stack.
#pragma once

#include <Ostrel/Core/IOException.h>
#include <Ostrel/ErrorInfo.h>
#include <Ostrel/Platform/Windows.h>

#include "errors/Throw.h"

#include <glog/logging.h>

#include <string>

namespace Ostrel::Core::detail
{

template <class E> const E& WithPipeRecords(const E& exception, const std::string& name, const std::string& text)
{
    if (!name.empty())
    {
        exception << ErrorFilename(name);
    }
    return exception << ErrorDetails(text);
}

inline IOException PipeError(const std::string& name, DWORD code, const std::string& text)
{
    IOException error;
    WithPipeRecords(error, name, text) << ErrorSystemCode(code);
    return error;
}

} // namespace Ostrel::Core::detail

// Logs text at ERROR from the calling site, then throws IOException with the pipe's records, the
// call stack and the calling site's location.
#define ZELIO_THROW_PIPE_ERROR(name, code, text)                                                             \
    do                                                                                                       \
    {                                                                                                        \
        const std::string zelioPipeErrorText = (text);                                                       \
        LOG(ERROR) << zelioPipeErrorText;                                                                    \
        ZELIO_THROW_WITH_STACK(::Ostrel::Core::detail::PipeError(name, code, zelioPipeErrorText));           \
    } while (false)

// Throws std::invalid_argument "Pipe is invalid" (its message followed by a newline and the call
// stack) for a stream whose pipe has closed, with the pipe's records and the calling site's location.
#define ZELIO_THROW_PIPE_INVALID(name)                                                                       \
    ::Ostrel::Core::detail::ThrowStandard<std::invalid_argument>(                                            \
        "Pipe is invalid", BOOST_CURRENT_LOCATION,                                                           \
        [&](const auto& thrown) { ::Ostrel::Core::detail::WithPipeRecords(thrown, name, "Pipe is invalid"); })

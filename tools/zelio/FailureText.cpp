// FailureText: reading the records of the library's exceptions.
#include "FailureText.h"

#include <Ostrel/ErrorInfo.h>

#include <boost/exception/get_error_info.hpp>

#include <map>

namespace zelio_tool
{

namespace
{

std::string FirstLine(const std::string& text)
{
    return text.substr(0, text.find('\n'));
}

} // namespace

std::string SystemCodeText(std::uint32_t code)
{
    static const std::map<std::uint32_t, std::string> meanings = {
        {2, "no such pipe"},
        {5, "access denied (the server does not offer that direction, or the pipe directory is not private)"},
        {109, "the other end closed the pipe"},
        {123, "not a valid pipe name"},
        {231, "the pipe is busy (it has its client, or another server has the name)"},
        {536, "no client has come yet"},
    };
    const auto meaning = meanings.find(code);
    const std::string words = meaning != meanings.end() ? meaning->second : "system error";
    return words + " (error " + std::to_string(code) + ")";
}

std::uint32_t SystemCodeOf(const std::exception& error)
{
    const auto* records = dynamic_cast<const boost::exception*>(&error);
    const std::uint32_t* code =
        records != nullptr ? boost::get_error_info<Ostrel::ErrorSystemCode>(*records) : nullptr;
    return code != nullptr ? *code : 0;
}

std::string FailureText(const std::exception& error)
{
    if (const std::uint32_t code = SystemCodeOf(error))
    {
        return SystemCodeText(code);
    }
    const auto* records = dynamic_cast<const boost::exception*>(&error);
    if (records == nullptr)
    {
        return FirstLine(error.what());
    }
    const std::string* description = boost::get_error_info<Ostrel::ErrorDescription>(*records);
    const std::string* details = boost::get_error_info<Ostrel::ErrorDetails>(*records);
    if (description != nullptr && details != nullptr && *details != *description)
    {
        return *description + ": " + FirstLine(*details);
    }
    if (description != nullptr)
    {
        return *description;
    }
    return FirstLine(details != nullptr ? *details : error.what());
}

} // namespace zelio_tool

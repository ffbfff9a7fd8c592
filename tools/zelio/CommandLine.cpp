// CommandLine: splitting a verb's arguments.
#include "CommandLine.h"

#include "ToolErrors.h"

namespace zelio_tool
{

CommandLine::CommandLine(const std::vector<std::string>& arguments, const std::set<std::string>& flags,
                         const std::set<std::string>& valued)
{
    bool optionsEnded = false;
    for (std::size_t next = 0; next < arguments.size();)
    {
        const std::string& argument = arguments[next++];
        if (optionsEnded || argument.size() < 2 || argument[0] != '-')
        {
            m_operands.push_back(argument);
        }
        else if (argument == "--")
        {
            optionsEnded = true;
        }
        else
        {
            TakeOption(argument, arguments, next, flags, valued);
        }
    }
}

void CommandLine::TakeOption(const std::string& argument, const std::vector<std::string>& arguments,
                             std::size_t& next, const std::set<std::string>& flags,
                             const std::set<std::string>& valued)
{
    if (argument == "-h" || argument == "--help")
    {
        m_help = true;
        return;
    }
    const std::size_t equals = argument.find('=');
    const std::string option = argument.substr(0, equals);
    if (valued.count(option) != 0)
    {
        if (equals == std::string::npos && next >= arguments.size())
        {
            throw UsageError("option " + option + " needs a value");
        }
        const std::string value =
            equals == std::string::npos ? arguments[next++] : argument.substr(equals + 1);
        m_given.insert(option);
        m_values.emplace_back(option, value);
        return;
    }
    if (flags.count(argument) == 0)
    {
        throw UsageError("unknown option " + argument);
    }
    m_given.insert(argument);
}

bool CommandLine::Has(const std::string& option) const
{
    return m_given.count(option) != 0;
}

std::string CommandLine::Value(const std::string& option, const std::string& fallback) const
{
    std::string value = fallback;
    for (const auto& given : m_values)
    {
        if (given.first == option)
        {
            value = given.second;
        }
    }
    return value;
}

void CommandLine::ExpectOperands(std::size_t least, std::size_t most, const std::string& missing) const
{
    if (m_operands.size() < least)
    {
        throw UsageError("missing " + missing);
    }
    if (m_operands.size() > most)
    {
        throw UsageError("unexpected operand " + m_operands[most]);
    }
}

} // namespace zelio_tool

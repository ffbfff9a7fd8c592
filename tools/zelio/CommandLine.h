// CommandLine: the arguments of one verb, split into its options and its operands. Options are
// long ("--all") or short ("-v"); an option that takes a value reads it from the next argument or
// after '='. "--" ends the options, and "-" alone is an operand. An option the verb does not know
// is a usage error.
#pragma once

#include <set>
#include <string>
#include <vector>

namespace zelio_tool
{

class CommandLine
{
public:
    // flags: the options without a value; valued: those that take one. "-h" and "--help" are
    // always known.
    CommandLine(const std::vector<std::string>& arguments, const std::set<std::string>& flags,
                const std::set<std::string>& valued = {});

    bool WantsHelp() const { return m_help; }
    bool Has(const std::string& option) const;
    // The option's value; the fallback when the option was not given.
    std::string Value(const std::string& option, const std::string& fallback = "") const;
    const std::vector<std::string>& Operands() const { return m_operands; }
    // Throws a usage error unless the operands number between least and most; `missing` names
    // what the first absent operand stands for.
    void ExpectOperands(std::size_t least, std::size_t most, const std::string& missing) const;

private:
    void TakeOption(const std::string& argument, const std::vector<std::string>& arguments, std::size_t& next,
                    const std::set<std::string>& flags, const std::set<std::string>& valued);

    bool m_help = false;
    std::set<std::string> m_given;
    std::vector<std::pair<std::string, std::string>> m_values;
    std::vector<std::string> m_operands;
};

} // namespace zelio_tool

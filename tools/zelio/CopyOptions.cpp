// CopyOptions: the options and the copy of cat and serve.
#include "CopyOptions.h"

#include "PipeCopy.h"
#include "Progress.h"
#include "ToolErrors.h"

#include <cctype>

namespace zelio_tool
{

const std::set<std::string>& CopyFlags()
{
    static const std::set<std::string> flags = {"--in", "--out", "--duplex", "--wait"};
    return flags;
}

std::optional<Direction> PickedDirection(const CommandLine& line)
{
    std::optional<Direction> picked;
    int options = 0;
    for (const auto& [option, direction] :
         {std::pair{"--in", Direction::In}, std::pair{"--out", Direction::Out},
          std::pair{"--duplex", Direction::Duplex}})
    {
        if (line.Has(option))
        {
            picked = direction;
            ++options;
        }
    }
    if (options > 1)
    {
        throw UsageError("--in, --out and --duplex exclude each other");
    }
    if (line.Has("--wait") && picked && *picked != Direction::Duplex)
    {
        throw UsageError("--wait needs both directions");
    }
    return picked;
}

std::string PipeNameOperand(const std::string& operand)
{
    static const std::string prefix = "\\\\.\\pipe\\";
    if (operand.size() >= prefix.size())
    {
        bool prefixed = true;
        for (std::size_t i = 0; i < prefix.size() && prefixed; ++i)
        {
            prefixed = std::tolower(static_cast<unsigned char>(operand[i])) == prefix[i];
        }
        if (prefixed)
        {
            return operand;
        }
    }
    return prefix + operand;
}

void CopyThrough(PipeEnds& ends, bool keepReading)
{
    Progress progress;
    PipeCopy(ends, keepReading, progress).Run();
    ends.Release();
    progress.Finish();
}

} // namespace zelio_tool

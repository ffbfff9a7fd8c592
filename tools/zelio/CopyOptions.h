// CopyOptions: what cat and serve share: the pipe name on the command line, the direction options
// and the copy itself.
#pragma once

#include "CommandLine.h"
#include "PipeEnds.h"

#include <optional>
#include <string>

namespace zelio_tool
{

// The options cat and serve know.
const std::set<std::string>& CopyFlags();
// The direction picked by --in, --out or --duplex; none when no option picks one.
std::optional<Direction> PickedDirection(const CommandLine& line);
// "\\.\pipe\" followed by the operand, unless the operand already starts so.
std::string PipeNameOperand(const std::string& operand);
// Copies through the pipe until the end, then closes it.
void CopyThrough(PipeEnds& ends, bool keepReading);

} // namespace zelio_tool

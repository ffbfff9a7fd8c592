// FrameReport: the text of digests, and the line that send and recv print for each frame with -v:
// its number, its size and its MD5, as "000001 1234 d41d8cd98f00b204e9800998ecf8427e".
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zelio_tool
{

// Two small hexadecimal digits per byte.
std::string HexText(const std::vector<std::uint8_t>& bytes);
// The frame's number as six digits or more, as in the names of recv's files.
std::string FrameNumber(std::uint64_t number);
void ReportFrame(std::uint64_t number, std::uint64_t size, const std::vector<std::uint8_t>& digest);

} // namespace zelio_tool

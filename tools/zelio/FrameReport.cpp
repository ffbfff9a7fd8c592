// FrameReport: digests and frames as text.
#include "FrameReport.h"

#include <cstdio>

namespace zelio_tool
{

std::string HexText(const std::vector<std::uint8_t>& bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (const std::uint8_t byte : bytes)
    {
        text += digits[byte >> 4];
        text += digits[byte & 0xF];
    }
    return text;
}

std::string FrameNumber(std::uint64_t number)
{
    char text[32];
    std::snprintf(text, sizeof text, "%06llu", static_cast<unsigned long long>(number));
    return text;
}

void ReportFrame(std::uint64_t number, std::uint64_t size, const std::vector<std::uint8_t>& digest)
{
    std::fprintf(stderr, "%s %llu %s\n", FrameNumber(number).c_str(), static_cast<unsigned long long>(size),
                 HexText(digest).c_str());
    std::fflush(stderr);
}

} // namespace zelio_tool

// Strict conversions between UTF-8 and wide text (UTF-32 or UTF-16, by the width of wchar_t).
// Malformed input is never repaired or replaced: the conversion fails.
#pragma once

#include <optional>
#include <string>

namespace Ostrel::detail
{

std::optional<std::wstring> Utf8ToWide(const std::string& utf8);
std::optional<std::string> WideToUtf8(const std::wstring& wide);
bool IsValidUtf8(const std::string& text);

// The text with every malformed sequence (or lone surrogate) replaced by U+FFFD.
std::string RepairUtf8(const std::string& text);
std::string RepairWideToUtf8(const std::wstring& wide);

} // namespace Ostrel::detail

// LogCapture: a glog sink for the tests.
#include "support/LogCapture.h"

#include <algorithm>

namespace zelio_test
{

LogCapture::LogCapture()
{
    google::AddLogSink(this);
}

LogCapture::~LogCapture()
{
    google::RemoveLogSink(this);
}

void LogCapture::send(google::LogSeverity severity, const char*, const char*, int,
                      const google::LogMessageTime&, const char* message, size_t length)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_lines.push_back({severity, std::string(message, length)});
}

std::vector<LogLine> LogCapture::Lines() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_lines;
}

std::vector<std::string> LogCapture::Texts() const
{
    std::vector<std::string> texts;
    for (const LogLine& line : Lines())
    {
        texts.push_back(std::string(google::GetLogSeverityName(line.severity)) + " " + line.text);
    }
    return texts;
}

int LogCapture::Count(google::LogSeverity severity, const std::string& text) const
{
    const auto lines = Lines();
    return static_cast<int>(std::count_if(lines.begin(), lines.end(),
                                          [&](const LogLine& line)
                                          { return line.severity == severity && line.text == text; }));
}

int LogCapture::CountStartingWith(google::LogSeverity severity, const std::string& prefix) const
{
    const auto lines = Lines();
    return static_cast<int>(std::count_if(
        lines.begin(), lines.end(),
        [&](const LogLine& line) { return line.severity == severity && line.text.rfind(prefix, 0) == 0; }));
}

} // namespace zelio_test

// The log of the Windows check build: the sinks the tests add, and the standard error.
#include <glog/logging.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

namespace google
{
namespace
{

std::mutex& SinkMutex()
{
    static std::mutex mutex;
    return mutex;
}

std::vector<LogSink*>& Sinks()
{
    static std::vector<LogSink*> sinks;
    return sinks;
}

const char* BaseName(const char* path)
{
    const char* base = path;
    for (const char* at = path; *at != '\0'; ++at)
    {
        if (*at == '/' || *at == '\\')
        {
            base = at + 1;
        }
    }
    return base;
}

} // namespace

void AddLogSink(LogSink* sink)
{
    std::lock_guard<std::mutex> lock(SinkMutex());
    Sinks().push_back(sink);
}

void RemoveLogSink(LogSink* sink)
{
    std::lock_guard<std::mutex> lock(SinkMutex());
    auto& sinks = Sinks();
    sinks.erase(std::remove(sinks.begin(), sinks.end(), sink), sinks.end());
}

const char* GetLogSeverityName(LogSeverity severity)
{
    static const char* const names[] = {"INFO", "WARNING", "ERROR", "FATAL"};
    return severity >= GLOG_INFO && severity <= GLOG_FATAL ? names[severity] : "UNKNOWN";
}

LogMessage::LogMessage(const char* file, int line, LogSeverity severity)
    : m_file(file), m_line(line), m_severity(severity)
{
}

LogMessage::~LogMessage()
{
    const std::string text = m_text.str();
    const char* base = BaseName(m_file);
    std::lock_guard<std::mutex> lock(SinkMutex());
    std::fprintf(stderr, "%c %s:%d] %s\n", GetLogSeverityName(m_severity)[0], base, m_line, text.c_str());
    const LogMessageTime time;
    for (LogSink* sink : Sinks())
    {
        sink->send(m_severity, m_file, base, m_line, time, text.data(), text.size());
    }
}

} // namespace google

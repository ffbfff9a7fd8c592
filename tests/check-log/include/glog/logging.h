// The part of glog's interface that the library and its tests use, for the Windows check build,
// where the toolchain has no glog: LOG and LOG_IF at any severity, and log sinks that see every line.
// Each line goes to the sinks and to the standard error, as glog writes it before it is set up.
#pragma once

#include <cstddef>
#include <ostream>
#include <sstream>

#if defined(_WIN32)
#if defined(ZELIO_CHECK_LOG_BUILDING)
#define ZELIO_CHECK_LOG_API __declspec(dllexport)
#else
#define ZELIO_CHECK_LOG_API __declspec(dllimport)
#endif
#else
#define ZELIO_CHECK_LOG_API __attribute__((visibility("default")))
#endif

// glog refuses to build when <windows.h> has already defined ERROR (wingdi.h), since its
// abbreviated severities would clash with it; so does this header, so the check sees what a
// build against glog would.
#if !defined(GLOG_NO_ABBREVIATED_SEVERITIES) && defined(ERROR)
#error ERROR macro is defined. Define GLOG_NO_ABBREVIATED_SEVERITIES before including logging.h.
#endif

namespace google
{

using LogSeverity = int;
constexpr LogSeverity GLOG_INFO = 0;
constexpr LogSeverity GLOG_WARNING = 1;
constexpr LogSeverity GLOG_ERROR = 2;
constexpr LogSeverity GLOG_FATAL = 3;
#if !defined(GLOG_NO_ABBREVIATED_SEVERITIES)
constexpr LogSeverity INFO = GLOG_INFO, WARNING = GLOG_WARNING, ERROR = GLOG_ERROR, FATAL = GLOG_FATAL;
#endif

// When a line was written; the sinks of the tests do not look at it.
class LogMessageTime
{
};

class LogSink
{
public:
    virtual ~LogSink() = default;
    virtual void send(LogSeverity severity, const char* fullFilename, const char* baseFilename, int line,
                      const LogMessageTime& time, const char* message, std::size_t length) = 0;
};

ZELIO_CHECK_LOG_API void AddLogSink(LogSink* sink);
ZELIO_CHECK_LOG_API void RemoveLogSink(LogSink* sink);
ZELIO_CHECK_LOG_API const char* GetLogSeverityName(LogSeverity severity);

// One line: collected while the statement runs, handed to the sinks when the statement ends.
class ZELIO_CHECK_LOG_API LogMessage
{
public:
    LogMessage(const char* file, int line, LogSeverity severity);
    ~LogMessage();
    LogMessage(const LogMessage&) = delete;
    LogMessage& operator=(const LogMessage&) = delete;

    std::ostream& stream() { return m_text; }

private:
    const char* m_file;
    int m_line;
    LogSeverity m_severity;
    std::ostringstream m_text;
};

// Turns a streamed line into a void expression, for LOG_IF's conditional.
struct LogMessageVoidify
{
    void operator&(std::ostream&) {}
};

} // namespace google

#define LOG(severity) ::google::LogMessage(__FILE__, __LINE__, ::google::GLOG_##severity).stream()
#define LOG_IF(severity, condition)                                                                          \
    static_cast<void>(0), !(condition) ? static_cast<void>(0) : ::google::LogMessageVoidify() & LOG(severity)

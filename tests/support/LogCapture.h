// LogCapture: collects the glog lines written while it lives, with their severities.
#pragma once

#include <glog/logging.h>

#include <mutex>
#include <string>
#include <vector>

namespace zelio_test
{

struct LogLine
{
    google::LogSeverity severity;
    std::string text;
};

class LogCapture : public google::LogSink
{
public:
    LogCapture();
    ~LogCapture() override;

    void send(google::LogSeverity severity, const char* fullFilename, const char* baseFilename, int line,
              const google::LogMessageTime& time, const char* message, size_t length) override;

    std::vector<LogLine> Lines() const;
    // Every line as its severity's name, a space and its text ("WARNING io was canceled").
    std::vector<std::string> Texts() const;
    // How many lines of that severity had exactly that text.
    int Count(google::LogSeverity severity, const std::string& text) const;
    // How many lines of that severity began with that text.
    int CountStartingWith(google::LogSeverity severity, const std::string& prefix) const;

private:
    mutable std::mutex m_mutex;
    std::vector<LogLine> m_lines;
};

} // namespace zelio_test

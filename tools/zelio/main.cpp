// zelio: live pipes and channels from the command line. Each verb is a thin layer over the library:
// the pipes, their names and the channel's frames are the library's own.
#include "FailureText.h"
#include "Interruption.h"
#include "ToolErrors.h"
#include "Verbs.h"

#include <glog/logging.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <map>

using namespace zelio_tool;

namespace
{

const char kUsage[] = R"usage(usage: zelio VERB [OPTION...] [OPERAND...]

  ls [--all]                        the live pipes of the current user
  serve [--in|--out|--duplex] NAME  the server end of a pipe, between standard input and output
  cat [--in|--out|--duplex] NAME    the client end of a pipe, between standard input and output
  recv [--into DIR] [-v] NAME       channel frames from a pipe (its server end)
  send [--lines] [-v] NAME [FILE...]  channel frames to a pipe (its client end)
  md5 FILE...                       the MD5 of files, as md5sum prints it
  name [--temp]                     a new unique pipe name (or temporary file path)

"zelio VERB --help" tells more. NAME is a pipe name, \\.\pipe\NAME, where the prefix may be left
out. Exit status: 0 when the verb did its job, 1 when it failed, 2 when the command line is wrong.
The library's own log lines go to standard error when ZELIO_LOG is set.
)usage";

using Verb = int (*)(const Arguments&);

const std::map<std::string, Verb>& Verbs()
{
    static const std::map<std::string, Verb> verbs = {
        {"ls", RunLs},     {"cat", RunCat}, {"serve", RunServe}, {"send", RunSend},
        {"recv", RunRecv}, {"md5", RunMd5}, {"name", RunName},
    };
    return verbs;
}

// The log is the application's to set up: the library's WARNING and ERROR lines tell about
// conditions that zelio reports in its own words, so they show only on request.
void SetUpLog(const char* program)
{
    FLAGS_logtostderr = true;
    FLAGS_minloglevel = std::getenv("ZELIO_LOG") != nullptr ? google::GLOG_INFO : google::GLOG_FATAL;
    google::InitGoogleLogging(program);
}

int Fail(const std::string& verb, const std::string& line, int status)
{
    std::fflush(stdout);
    std::fprintf(stderr, "zelio%s%s: %s\n", verb.empty() ? "" : " ", verb.c_str(), line.c_str());
    return status;
}

int RunVerb(const std::string& name, Verb verb, const Arguments& arguments)
{
    try
    {
        const int status = verb(arguments);
        return Interruption::Requested() ? Fail(name, "interrupted", 1) : status;
    }
    catch (const UsageError& error)
    {
        return Fail(name, std::string(error.what()) + " (see \"zelio " + name + " --help\")", 2);
    }
    catch (const std::exception& error)
    {
        const std::string line =
            dynamic_cast<const Failure*>(&error) != nullptr ? error.what() : FailureText(error);
        return Fail(name, Interruption::Requested() ? "interrupted" : line, 1);
    }
}

} // namespace

int main(int argc, char** argv)
{
    Interruption::Install();
    SetUpLog(argv[0]);
    if (argc < 2)
    {
        std::cerr << kUsage;
        return 2;
    }
    const std::string name = argv[1];
    if (name == "-h" || name == "--help" || name == "help")
    {
        std::cout << kUsage;
        return 0;
    }
    const auto verb = Verbs().find(name);
    if (verb == Verbs().end())
    {
        return Fail("", "unknown verb \"" + name + "\" (see \"zelio --help\")", 2);
    }
    return RunVerb(name, verb->second, Arguments(argv + 2, argv + argc));
}

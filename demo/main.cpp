// zelio-demo: two processes exchanging thousands of framed messages through communication channels
// over named pipes (the library's main job). With --tour it walks through the exceptions, streams,
// bit fields and digest instead.
#include "ChannelDemo.h"
#include "Tour.h"

#include <glog/logging.h>

#include <cstring>
#include <iostream>
#include <string>

int main(int argc, char** argv)
{
    // Setting up the log is the application's job: here, to standard error only.
    FLAGS_logtostderr = true;
    google::InitGoogleLogging(argv[0]);
    if (argc == 4 && std::strcmp(argv[1], zelio_demo::kChildFlag) == 0)
    {
        return zelio_demo::RunChannelChild(argv[2], argv[3]);
    }
    if (argc == 2 && std::strcmp(argv[1], "--tour") == 0)
    {
        return zelio_demo::RunTour();
    }
    if (argc != 1)
    {
        std::cerr << "usage: zelio-demo [--tour]\n";
        return 2;
    }
    return zelio_demo::RunChannelParent("/proc/self/exe");
}

// The verbs of zelio. Each takes the arguments after its name and returns the exit status: 0 when
// it did its job; it throws Failure (status 1) or UsageError (status 2) otherwise.
#pragma once

#include <string>
#include <vector>

namespace zelio_tool
{

using Arguments = std::vector<std::string>;

int RunLs(const Arguments& arguments);
int RunCat(const Arguments& arguments);
int RunServe(const Arguments& arguments);
int RunSend(const Arguments& arguments);
int RunRecv(const Arguments& arguments);
int RunMd5(const Arguments& arguments);
int RunName(const Arguments& arguments);

} // namespace zelio_tool

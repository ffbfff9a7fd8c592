// The error-information records that the library's exceptions carry. The tags are only declared:
// each names a boost::error_info record, read by catchers with boost::get_error_info (include
// <boost/exception/get_error_info.hpp>, or <boost/exception/diagnostic_information.hpp> to print
// them all).
#pragma once

#include <boost/exception/error_info.hpp>

#include <cstdint>
#include <string>

namespace Ostrel
{

struct TagDescription; // a human-readable description of the failure
struct TagFilename;    // the path of the file concerned, as UTF-8
struct TagDetails;     // further detail, such as the runtime library's error text
struct TagCallStack;   // the call-stack text at the throw site
struct TagSystemCode;  // the operating system's error code (a Win32 code, on every platform)

using ErrorDescription = boost::error_info<TagDescription, std::string>;
using ErrorFilename = boost::error_info<TagFilename, std::string>;
using ErrorDetails = boost::error_info<TagDetails, std::string>;
using ErrorCallStack = boost::error_info<TagCallStack, std::string>;
using ErrorSystemCode = boost::error_info<TagSystemCode, std::uint32_t>;

} // namespace Ostrel

# The Windows build that CI cross-compiles with Debian's MinGW-w64 and runs under Wine. Debian
# packages neither glog nor Boost's compiled libraries for MinGW, so this build:
# - takes Boost's headers (only its headers) from the build machine's Boost, through a folder that
#   holds nothing else, so that the cross compiler never sees the machine's own C library headers;
# - compiles against the tests' own glog/logging.h, whose lines go to a recorder that the tests
#   read (tests/check-log);
# - leaves out the channel (Boost.Thread), the demo and the benchmarks.
if(NOT WIN32)
    message(FATAL_ERROR "ZELIO_WINDOWS_CHECK is a Windows build: cmake --preset windows")
endif()
set(ZELIO_BUILD_CHANNEL OFF)
set(ZELIO_BUILD_DEMO OFF)
set(ZELIO_BUILD_BENCHMARKS OFF)

set(ZELIO_CHECK_BOOST_INCLUDE /usr/include CACHE PATH "The folder whose boost/ subfolder holds Boost's headers")
set(boost_version_header ${ZELIO_CHECK_BOOST_INCLUDE}/boost/version.hpp)
if(NOT EXISTS ${boost_version_header})
    message(FATAL_ERROR "No Boost headers in ${ZELIO_CHECK_BOOST_INCLUDE} (Debian: libboost-dev)")
endif()
file(STRINGS ${boost_version_header} boost_version_line REGEX "^#define BOOST_VERSION [0-9]+")
string(REGEX REPLACE "^#define BOOST_VERSION ([0-9]+).*" "\\1" boost_version "${boost_version_line}")
if(boost_version LESS 107400)
    message(FATAL_ERROR "Boost ${boost_version} in ${ZELIO_CHECK_BOOST_INCLUDE} is older than 1.74")
endif()
set(boost_only ${PROJECT_BINARY_DIR}/boost-headers)
file(MAKE_DIRECTORY ${boost_only})
file(CREATE_LINK ${ZELIO_CHECK_BOOST_INCLUDE}/boost ${boost_only}/boost SYMBOLIC)
add_library(Boost::headers INTERFACE IMPORTED GLOBAL)
set_target_properties(Boost::headers PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${boost_only})

# glog::glog: the recorder.
add_subdirectory(tests/check-log)

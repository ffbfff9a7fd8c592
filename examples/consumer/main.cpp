// Uses the installed library through its umbrella header; exits 0 when what it checks holds.
#include <Ostrel/ZelIO.h>

#include <boost/exception/get_error_info.hpp>
#include <boost/throw_exception.hpp>

#include <iostream>

int main()
{
    using namespace Ostrel::Core;
    try
    {
        BOOST_THROW_EXCEPTION(MemoryException("consumer check", 64));
    }
    catch (const CoreException& e)
    {
        const uint64_t* size = boost::get_error_info<ErrorBlockSize>(e);
        if (size == nullptr || *size != 64)
        {
            std::cerr << "the block size record is missing\n";
            return 1;
        }
        std::cout << "consumer: ZelIO package works\n";
        return 0;
    }
    return 1;
}

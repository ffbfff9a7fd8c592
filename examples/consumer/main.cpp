// Uses the installed library through its umbrella header; exits 0 when what it checks holds.
#include <Ostrel/ZelIO.h>

#include <boost/exception/get_error_info.hpp>
#include <boost/throw_exception.hpp>

#include <iostream>
#include <string>
#include <vector>

#if __cplusplus >= 202002L
#include <span>
#endif

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
        // The digest comes from the ZelHash library beside ZelIO: RFC 1321's MD5 of "abc".
        const std::string text = "abc";
        const std::vector<uint8_t> md5 = MD5Generate(DataInputString::Create(&text), "");
#if __cplusplus >= 202002L
        // The headers leave the consumer's own standard alone.
        const std::span<const uint8_t> digest(md5);
#else
        const std::vector<uint8_t>& digest = md5;
#endif
        if (digest.size() != 16 || digest[0] != 0x90 || digest[15] != 0x72)
        {
            std::cerr << "the MD5 of \"abc\" is wrong\n";
            return 1;
        }
        std::cout << "consumer: ZelIO package works in C++" << __cplusplus / 100 % 100 << "\n";
        return 0;
    }
    return 1;
}

// zelio-demo: shows what the library gives its users.
#include <Ostrel/ZelIO.h>

#include <boost/exception/diagnostic_information.hpp>
#include <boost/exception_ptr.hpp>
#include <boost/throw_exception.hpp>

#include <iostream>
#include <thread>

using namespace Ostrel;
using namespace Ostrel::Core;

namespace
{

void ShowRecordsAndLocation()
{
    std::cout << "1. An IOException thrown with records, caught as CoreException:\n";
    try
    {
        BOOST_THROW_EXCEPTION(IOException() << ErrorFilename("/data/missing.bin")
                                            << ErrorDescription("Can not open file for reading")
                                            << ErrorCallStack(GetCallStack()));
    }
    catch (const CoreException& e)
    {
        std::cout << "   description: " << *boost::get_error_info<ErrorDescription>(e) << '\n'
                  << "   file name:   " << *boost::get_error_info<ErrorFilename>(e) << '\n'
                  << "   thrown at:   " << *boost::get_error_info<boost::throw_file>(e) << ':'
                  << *boost::get_error_info<boost::throw_line>(e) << '\n'
                  << "   what():      " << e.what() << "  (never the description)\n\n";
    }
}

void ShowMemoryException()
{
    std::cout << "2. A MemoryException carries its description and block size:\n";
    try
    {
        BOOST_THROW_EXCEPTION(MemoryException("block too small", 4096));
    }
    catch (const Ostrel::Exception& e)
    {
        std::cout << boost::diagnostic_information(e) << '\n';
    }
}

void ShowAcrossThreads()
{
    std::cout << "3. An exception captured on one thread and rethrown on another keeps its records:\n";
    boost::exception_ptr captured;
    std::thread worker([&captured] {
        try
        {
            BOOST_THROW_EXCEPTION(NotEnoughResource() << ErrorDescription("no worker slots left"));
        }
        catch (...)
        {
            captured = boost::current_exception();
        }
    });
    worker.join();
    try
    {
        boost::rethrow_exception(captured);
    }
    catch (const ComputingResourceException& e)
    {
        std::cout << "   caught as ComputingResourceException: "
                  << *boost::get_error_info<ErrorDescription>(e) << "\n\n";
    }
}

void ShowCallStack()
{
    Core::StackDebugInfo::Descr frame("demo/main.cpp", "ShowCallStack");
    std::cout << "4. The call-stack text, with the named frame of this function first:\n"
              << GetCallStack() << '\n';
}

} // namespace

int main()
{
    ShowRecordsAndLocation();
    ShowMemoryException();
    ShowAcrossThreads();
    ShowCallStack();
    std::cout << "OK\n";
    return 0;
}

// The demo's tour: what the library gives its users, one feature at a time.
#include "Tour.h"

#include <Ostrel/ZelIO.h>

#include <boost/exception/diagnostic_information.hpp>
#include <boost/exception_ptr.hpp>
#include <boost/throw_exception.hpp>

#include <filesystem>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

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
    std::thread worker(
        [&captured]
        {
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

void ShowFileStreams()
{
    std::cout << "5. Streams: write a file, read it back, seek, and a failure caught:\n";
    const ioPath path(std::filesystem::temp_directory_path() / "zelio-demo" / "greeting.txt");
    {
        boost::intrusive_ptr<IDataOutput> output = DataOutputFile::Create(path); // makes the folder too
        const std::string text = "Hello from ZelIO streams";
        output->Write(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    } // the last reference closes the file
    boost::intrusive_ptr<IDataInput> input = DataInputFile::Create(path);
    std::string content(input->GetSize(), '\0');
    input->Read(reinterpret_cast<uint8_t*>(content.data()), content.size());
    std::cout << "   read back " << content.size() << " bytes: \"" << content << "\"\n";
    input->SetPosition(11);
    char word[5] = {};
    input->Read(reinterpret_cast<uint8_t*>(word), 5);
    std::cout << "   at position 11: \"" << std::string(word, 5) << "\"\n";
    std::filesystem::remove_all(std::filesystem::path(path.native()).parent_path());

    try
    {
        DataInputFile::Create(ioPath("/no/such/file.bin"));
    }
    catch (const IOException& e)
    {
        std::cout << "   opening a missing file throws IOException; its records:\n"
                  << boost::diagnostic_information(e) << '\n';
    }
}

std::string LowercaseHex(const std::vector<uint8_t>& bytes)
{
    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    for (const uint8_t byte : bytes)
    {
        text += kDigits[byte >> 4];
        text += kDigits[byte & 0xF];
    }
    return text;
}

void ShowBitsAndDigest()
{
    std::cout << "6. Bit fields written and read back, and the MD5 of a file:\n";
    std::string packed;
    {
        DataBitOutput writer(DataOutputString::Create(&packed));
        writer.WriteBits(5, 3);    // 101
        writer.WriteBits(0x2A, 6); // 101010
        writer.WriteBits(1, 1);    // 1
        writer.Flush();            // pads the last byte with zeros
    }
    std::cout << "   3 + 6 + 1 bits packed into " << packed.size()
              << " bytes: " << LowercaseHex(std::vector<uint8_t>(packed.begin(), packed.end())) << '\n';
    DataBitInput reader(DataInputString::Create(&packed));
    const uint64_t first = reader.ReadBits(3);
    const uint64_t second = reader.ReadBits(6);
    const uint64_t third = reader.ReadBits(1);
    std::cout << "   read back: " << first << ", 0x" << std::hex << second << std::dec << ", " << third
              << "; bits left (padding): " << reader.BitsLeft() << '\n';

    const ioPath path(std::filesystem::temp_directory_path() / "zelio-demo-digest.txt");
    {
        const std::string text = "The quick brown fox jumps over the lazy dog";
        DataOutputFile::Create(path)->Write(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    }
    std::cout << "   MD5 of \"The quick brown fox jumps over the lazy dog\": "
              << LowercaseHex(MD5Generate(DataInputFile::Create(path), "")) << "\n\n";
    std::filesystem::remove(std::filesystem::path(path.native()));
}

void ShowCallStack()
{
    Core::StackDebugInfo::Descr frame("demo/main.cpp", "ShowCallStack");
    std::cout << "4. The call-stack text, with the named frame of this function first:\n"
              << GetCallStack() << '\n';
}

} // namespace

namespace zelio_demo
{

int RunTour()
{
    ShowRecordsAndLocation();
    ShowMemoryException();
    ShowAcrossThreads();
    ShowCallStack();
    ShowFileStreams();
    ShowBitsAndDigest();
    std::cout << "OK\n";
    return 0;
}

} // namespace zelio_demo

// The other end that the tests of zelio and of the Python module talk to: a program that uses the
// library, as a user's would. Each command prints "ready" on standard output once its server end
// has taken the name, then does one job:
//
//   serve-out NAME FILE   the server end writes the file, then closes
//   serve-in NAME FILE    the server end reads to the end into the file
//   open-in NAME FILE     the client end reads to the end into the file
//   open-out NAME FILE    the client end writes the file
//   recv NAME             server end, reading channel frames: "SIZE MD5" for each, then "end"
//   send NAME SIZE...     client end, writing frames of the sizes, then the end marker
//   send-server NAME SIZE...  the same from a server end
//   echo NAME             duplex client end: sends every frame back; at the end marker, sends its
//                         own and prints "end"
//   hold NAME             a reading server end that does nothing until standard input closes
//   open NAME in|out|duplex   tries to open the client end: "ok", or "error CODE"
//
// A pipe that cannot be created or opened ends any command with "error CODE" and status 1.
//
// Frame number k (from 0) of SIZE bytes holds the bytes (i * 131 + k) % 251.
#include <Ostrel/ZelIO.h>

#include <boost/exception/get_error_info.hpp>
#include <glog/logging.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

using namespace Ostrel::Core;

namespace
{

std::vector<uint8_t> Pattern(uint64_t size, uint64_t seed)
{
    std::vector<uint8_t> bytes(size);
    for (uint64_t i = 0; i < size; ++i)
    {
        bytes[i] = static_cast<uint8_t>((i * 131 + seed) % 251);
    }
    return bytes;
}

std::string Hex(const std::vector<uint8_t>& digest)
{
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (const uint8_t byte : digest)
    {
        text += digits[byte >> 4];
        text += digits[byte & 0xF];
    }
    return text;
}

void Ready()
{
    std::cout << "ready" << std::endl;
}

std::vector<uint8_t> FileBytes(const char* path)
{
    std::ifstream file(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

int WriteFile(IByteDataOutput& pipe, const char* path)
{
    const std::vector<uint8_t> bytes = FileBytes(path);
    const uint8_t nothing = 0;
    // A write of nothing first: a server end meets its client there, even for an empty file.
    pipe.Write(&nothing, 0);
    return pipe.Write(bytes.data(), bytes.size()) == bytes.size() ? 0 : 1;
}

int ReadToFile(IByteDataInput& pipe, const char* path)
{
    std::ofstream file(path, std::ios::binary);
    std::vector<uint8_t> buffer(65536);
    for (;;)
    {
        const uint64_t got = pipe.Read(buffer.data(), buffer.size());
        file.write(reinterpret_cast<const char*>(buffer.data()), static_cast<std::streamsize>(got));
        if (got < buffer.size())
        {
            return file ? 0 : 1;
        }
    }
}

// Frames until the end marker, printed as they come.
int PrintFrames(IDataChannel& channel)
{
    for (;;)
    {
        const uint64_t size = channel.ReadMessageSize();
        if (size == 0)
        {
            std::cout << "end" << std::endl;
            return 0;
        }
        std::vector<uint8_t> frame(size);
        channel.Read(frame.data(), size);
        std::cout << size << ' ' << Hex(MD5Generate(frame, "")) << std::endl;
    }
}

int SendFrames(IByteDataOutput& pipe, char** sizes, int count)
{
    std::string unused;
    auto channel = CommunicationChannel::Create(DataInputString::Create(&unused), &pipe, false);
    for (int k = 0; k < count; ++k)
    {
        const std::vector<uint8_t> frame = Pattern(std::strtoull(sizes[k], nullptr, 10), k);
        if (channel->Write(frame.data(), frame.size()) != frame.size())
        {
            return 1;
        }
    }
    const uint8_t nothing = 0;
    channel->Write(&nothing, 0);
    return 0;
}

int Echo(const std::string& name)
{
    uint64_t bufferSize = 0;
    auto pipe = DataInputOutputPipe::Create(name, false, bufferSize);
    auto channel = CommunicationChannel::Create(pipe, pipe, true);
    for (;;)
    {
        const uint64_t size = channel->ReadMessageSize();
        if (size == 0)
        {
            const uint8_t nothing = 0;
            channel->Write(&nothing, 0);
            std::cout << "end" << std::endl;
            return 0;
        }
        std::vector<uint8_t> frame(size);
        channel->Read(frame.data(), size);
        channel->Write(frame.data(), size);
    }
}

int TryOpen(const std::string& name, const std::string& direction)
{
    try
    {
        uint64_t bufferSize = 0;
        if (direction == "in")
        {
            DataInputPipe::Create(name, false);
        }
        else if (direction == "out")
        {
            DataOutputPipe::Create(name, false);
        }
        else
        {
            DataInputOutputPipe::Create(name, false, bufferSize);
        }
        std::cout << "ok" << std::endl;
    }
    catch (const IOException& error)
    {
        const uint32_t* code = boost::get_error_info<Ostrel::ErrorSystemCode>(error);
        std::cout << "error " << (code != nullptr ? *code : 0) << std::endl;
    }
    return 0;
}

int Hold(const std::string& name)
{
    auto pipe = DataInputPipe::Create(name, true);
    Ready();
    std::string line;
    while (std::getline(std::cin, line))
    {
    }
    return 0;
}

int Run(const std::string& command, const std::string& name, char** rest, int restCount)
{
    if (command == "serve-out" && restCount == 1)
    {
        auto pipe = DataOutputPipe::Create(name, true);
        Ready();
        return WriteFile(*pipe, rest[0]);
    }
    if (command == "serve-in" && restCount == 1)
    {
        auto pipe = DataInputPipe::Create(name, true);
        Ready();
        return ReadToFile(*pipe, rest[0]);
    }
    if (command == "open-in" && restCount == 1)
    {
        return ReadToFile(*DataInputPipe::Create(name, false), rest[0]);
    }
    if (command == "open-out" && restCount == 1)
    {
        return WriteFile(*DataOutputPipe::Create(name, false), rest[0]);
    }
    if (command == "recv" && restCount == 0)
    {
        auto pipe = DataInputPipe::Create(name, true);
        Ready();
        std::string unused;
        return PrintFrames(*CommunicationChannel::Create(pipe, DataOutputString::Create(&unused), true));
    }
    if (command == "send")
    {
        return SendFrames(*DataOutputPipe::Create(name, false), rest, restCount);
    }
    if (command == "send-server")
    {
        auto pipe = DataOutputPipe::Create(name, true);
        Ready();
        return SendFrames(*pipe, rest, restCount);
    }
    if (command == "echo" && restCount == 0)
    {
        return Echo(name);
    }
    if (command == "hold" && restCount == 0)
    {
        return Hold(name);
    }
    if (command == "open" && restCount == 1)
    {
        return TryOpen(name, rest[0]);
    }
    std::cerr << "tools_test_peer: unknown command " << command << '\n';
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    FLAGS_logtostderr = true;
    FLAGS_minloglevel = google::GLOG_FATAL;
    google::InitGoogleLogging(argv[0]);
    if (argc < 3)
    {
        std::cerr << "usage: tools_test_peer COMMAND NAME [ARGUMENT...]\n";
        return 2;
    }
    try
    {
        return Run(argv[1], argv[2], argv + 3, argc - 3);
    }
    catch (const IOException& error)
    {
        const uint32_t* code = boost::get_error_info<Ostrel::ErrorSystemCode>(error);
        std::cout << "error " << (code != nullptr ? *code : 0) << std::endl;
        return 1;
    }
    catch (const std::exception& error)
    {
        std::cerr << "tools_test_peer: " << error.what() << '\n';
        return 1;
    }
}

// The process's standard input and output as the library's streams, and writing a whole buffer
// to an output whose writes may each take only part of it.
#pragma once

#include <Ostrel/Core/IByteDataInput.h>
#include <Ostrel/Core/IByteDataOutput.h>

#include <boost/intrusive_ptr.hpp>

#include <cstdint>

namespace zelio_tool
{

// Empty when the process has no such stream.
boost::intrusive_ptr<Ostrel::Core::IByteDataInput> OpenStandardInput();
boost::intrusive_ptr<Ostrel::Core::IByteDataOutput> OpenStandardOutput();
// Writes again until every byte has gone; false when the output stops taking bytes first.
bool WriteWhole(Ostrel::Core::IByteDataOutput& output, const std::uint8_t* data, std::uint64_t size);

} // namespace zelio_tool

// ZelIO: every public header of the library.
#pragma once

// Contracts of the sibling libraries
#include <Ostrel/CallStack.h>
#include <Ostrel/Core/StackDebugInfo.h>
#include <Ostrel/Exception.h>
#include <Ostrel/IRefCountable.h>
#include <Ostrel/RefCountImpl.h>
#include <Ostrel/ioPath.h>

// Errors
#include <Ostrel/Core/ChildNameIsNotFound.h>
#include <Ostrel/Core/ComparedPropertiesHaveDifferentTypes.h>
#include <Ostrel/Core/ComputingResourceException.h>
#include <Ostrel/Core/CoreException.h>
#include <Ostrel/Core/IOException.h>
#include <Ostrel/Core/IONotReadyException.h>
#include <Ostrel/Core/IndexIsOutOfBound.h>
#include <Ostrel/Core/JsonException.h>
#include <Ostrel/Core/MemoryException.h>
#include <Ostrel/Core/MethodIsNotApplicable.h>
#include <Ostrel/Core/NotEnoughResource.h>
#include <Ostrel/Core/PropertyException.h>
#include <Ostrel/Core/RtmpException.h>
#include <Ostrel/Core/WrongTypeIsRequested.h>
#include <Ostrel/ErrorInfo.h>

// Streams
#include <Ostrel/AutoLock.h>
#include <Ostrel/Core/DataInputFF.h>
#include <Ostrel/Core/DataInputFile.h>
#include <Ostrel/Core/DataInputMemory.h>
#include <Ostrel/Core/DataInputString.h>
#include <Ostrel/Core/DataOutputFF.h>
#include <Ostrel/Core/DataOutputFile.h>
#include <Ostrel/Core/DataOutputString.h>
#include <Ostrel/Core/DataStdInput.h>
#include <Ostrel/Core/DataStdOutput.h>
#include <Ostrel/Core/IByteDataInput.h>
#include <Ostrel/Core/IByteDataOutput.h>
#include <Ostrel/Core/IDataInput.h>
#include <Ostrel/Core/IDataOutput.h>
#include <Ostrel/ILockable.h>
#include <Ostrel/ISerializable.h>
#include <Ostrel/LockImpl.h>

// Communication channel
#include <Ostrel/Core/CommunicationChannel.h>
#include <Ostrel/Core/IByteDataInputListener.h>
#include <Ostrel/Core/IDataChannel.h>
#include <Ostrel/Core/INotifyingByteDataInput.h>

// Pipes
#include <Ostrel/Core/ByteDataInputDefaultProtocol.h>
#include <Ostrel/Core/ByteDataInputRawProtocol.h>
#include <Ostrel/Core/ByteDataOutputDefaultProtocol.h>
#include <Ostrel/Core/ByteDataOutputRawProtocol.h>
#include <Ostrel/Core/DataInputOutputPipe.h>
#include <Ostrel/Core/DataInputPipe.h>
#include <Ostrel/Core/DataOutputPipe.h>
#include <Ostrel/Core/IByteDataInputEx.h>
#include <Ostrel/Core/IByteDataInputOutput.h>
#include <Ostrel/Core/IByteDataInputProtocol.h>
#include <Ostrel/Core/IByteDataOutputEx.h>
#include <Ostrel/Core/IByteDataOutputProtocol.h>
#include <Ostrel/Core/IPCTools.h>
#include <Ostrel/Core/PipeListing.h>

// Bits and digest
#include <Ostrel/Core/DataBitInput.h>
#include <Ostrel/Core/DataBitOutput.h>
#include <Ostrel/Core/MD5.h>
#include <Ostrel/Core/StreamDigest.h>

// Utilities
#include <Ostrel/Core/FileCreationDate.h>

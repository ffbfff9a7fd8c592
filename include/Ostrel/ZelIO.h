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

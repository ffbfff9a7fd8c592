// The exception family: one subobject of each root for every class, children caught by their
// parents, what() left alone, records and location kept through copies.
#include <Ostrel/ZelIO.h>

#include <boost/exception/get_error_info.hpp>
#include <boost/throw_exception.hpp>
#include <boost/exception/info.hpp>
#include <gtest/gtest.h>

#include <string>
#include <type_traits>

using namespace Ostrel;
using namespace Ostrel::Core;

namespace
{

// Converting a pointer to a base is ill-formed when the base appears twice, so these hold only
// for classes with a single subobject of each root.
template <class E>
constexpr bool kSingleRoots =
    std::is_convertible_v<E*, std::exception*>&& std::is_convertible_v<E*, boost::exception*>&&
        std::is_convertible_v<E*, Ostrel::Exception*>&& std::is_convertible_v<E*, CoreException*>;

// A class that joins three branches of the family still holds one of each root.
struct JoinedBranches : IONotReadyException, JsonException, NotEnoughResource
{
};

static_assert(kSingleRoots<CoreException> && kSingleRoots<IOException> && kSingleRoots<IONotReadyException>);
static_assert(kSingleRoots<PropertyException> && kSingleRoots<MethodIsNotApplicable> &&
              kSingleRoots<WrongTypeIsRequested> && kSingleRoots<IndexIsOutOfBound> &&
              kSingleRoots<ChildNameIsNotFound> && kSingleRoots<ComparedPropertiesHaveDifferentTypes>);
static_assert(kSingleRoots<JsonException> && kSingleRoots<RtmpException> && kSingleRoots<MemoryException>);
static_assert(kSingleRoots<ComputingResourceException> && kSingleRoots<NotEnoughResource>);
static_assert(kSingleRoots<JoinedBranches>);
static_assert(!std::is_default_constructible_v<MemoryException>);

template <class Thrown, class Handler> bool CaughtAs(const Thrown& exception)
{
    try
    {
        BOOST_THROW_EXCEPTION(exception);
    }
    catch (const Handler&)
    {
        return true;
    }
    catch (...)
    {
        return false;
    }
}

// Pointer conversions above settle which bases catch each class; throwing shows that the classes'
// identity holds across the library's boundary.
TEST(ExceptionFamily, ChildrenAreCaughtByTheirParentsAndRoots)
{
    EXPECT_TRUE((CaughtAs<IOException, CoreException>(IOException())));
    EXPECT_TRUE((CaughtAs<MemoryException, Ostrel::Exception>(MemoryException("d", 1))));
    EXPECT_TRUE((CaughtAs<IONotReadyException, IOException>(IONotReadyException())));
    EXPECT_TRUE((CaughtAs<RtmpException, IOException>(RtmpException())));
    EXPECT_TRUE((CaughtAs<MethodIsNotApplicable, PropertyException>(MethodIsNotApplicable())));
    EXPECT_TRUE((CaughtAs<WrongTypeIsRequested, PropertyException>(WrongTypeIsRequested())));
    EXPECT_TRUE((CaughtAs<IndexIsOutOfBound, PropertyException>(IndexIsOutOfBound())));
    EXPECT_TRUE((CaughtAs<ChildNameIsNotFound, PropertyException>(ChildNameIsNotFound())));
    EXPECT_TRUE((CaughtAs<ComparedPropertiesHaveDifferentTypes, PropertyException>(
        ComparedPropertiesHaveDifferentTypes())));
    EXPECT_TRUE((CaughtAs<NotEnoughResource, ComputingResourceException>(NotEnoughResource())));
    EXPECT_FALSE((CaughtAs<JsonException, IOException>(JsonException())));
    EXPECT_FALSE((CaughtAs<MemoryException, PropertyException>(MemoryException("d", 1))));

    JoinedBranches joined;
    EXPECT_TRUE((CaughtAs<JoinedBranches, IOException>(joined)));
    EXPECT_TRUE((CaughtAs<JoinedBranches, ComputingResourceException>(joined)));
}

TEST(ExceptionFamily, WhatIsTheStandardExceptionsOwnText)
{
    const std::string plain = std::exception().what();
    try
    {
        BOOST_THROW_EXCEPTION(MethodIsNotApplicable() << ErrorDescription("not the what text"));
    }
    catch (const std::exception& e)
    {
        EXPECT_EQ(std::string(e.what()), plain);
    }
    EXPECT_EQ(std::string(MemoryException("described", 8).what()), plain);
}

TEST(ExceptionFamily, MemoryExceptionCarriesExactlyItsTwoRecords)
{
    const MemoryException e("block too small", 4096);
    ASSERT_NE(boost::get_error_info<ErrorDescription>(e), nullptr);
    EXPECT_EQ(*boost::get_error_info<ErrorDescription>(e), "block too small");
    ASSERT_NE(boost::get_error_info<ErrorBlockSize>(e), nullptr);
    EXPECT_EQ(*boost::get_error_info<ErrorBlockSize>(e), 4096u);
    EXPECT_EQ(boost::get_error_info<ErrorFilename>(e), nullptr);
    EXPECT_EQ(boost::get_error_info<ErrorDetails>(e), nullptr);
    EXPECT_EQ(boost::get_error_info<ErrorCallStack>(e), nullptr);
    EXPECT_EQ(boost::get_error_info<ErrorSeek>(e), nullptr);
}

TEST(ExceptionFamily, CopiesKeepRecordsAndLocationAfterTheOriginalIsGone)
{
    std::unique_ptr<IOException> copy;
    int line = 0;
    try
    {
        line = __LINE__ + 1;
        BOOST_THROW_EXCEPTION(IOException() << ErrorSeek(42) << ErrorDescription("seek refused"));
    }
    catch (const IOException& caught)
    {
        copy = std::make_unique<IOException>(caught);
    }
    ASSERT_TRUE(copy);
    EXPECT_EQ(*boost::get_error_info<ErrorSeek>(*copy), 42u);
    EXPECT_EQ(*boost::get_error_info<ErrorDescription>(*copy), "seek refused");
    EXPECT_EQ(*boost::get_error_info<boost::throw_line>(*copy), line);
    EXPECT_NE(std::string(*boost::get_error_info<boost::throw_file>(*copy)).find("ExceptionFamilyTest.cpp"),
              std::string::npos);
    EXPECT_NE(std::string(*boost::get_error_info<boost::throw_function>(*copy)).find("TestBody"),
              std::string::npos);

    IOException assigned;
    assigned = *copy;
    copy.reset();
    EXPECT_EQ(*boost::get_error_info<ErrorSeek>(assigned), 42u);
}

} // namespace

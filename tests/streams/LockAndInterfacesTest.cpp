// What every data stream shares: one reference count whichever interface holds it, and the lock
// for its users, with the guard that holds it.
#include <Ostrel/AutoLock.h>
#include <Ostrel/Core/DataInputMemory.h>
#include <Ostrel/Core/DataInputString.h>
#include <Ostrel/Core/IDataOutput.h>

#include <gtest/gtest.h>

#include <thread>
#include <type_traits>

using namespace Ostrel;
using namespace Ostrel::Core;

namespace
{

// A holder of an interface pointer cannot delete the stream behind it.
static_assert(!std::is_destructible_v<IByteDataInput> && !std::is_destructible_v<IByteDataOutput>);
static_assert(!std::is_destructible_v<IDataInput> && !std::is_destructible_v<IDataOutput>);
static_assert(!std::is_copy_constructible_v<AutoLock>);

bool TryLockFromAnotherThread(ILockable& lockable)
{
    bool taken = false;
    std::thread(
        [&]
        {
            taken = lockable.TryLock();
            if (taken)
            {
                lockable.Unlock();
            }
        })
        .join();
    return taken;
}

TEST(DataStream, OneCountWhetherHeldAsDataInputOrByteInput)
{
    const uint8_t bytes[4] = {1, 2, 3, 4};
    boost::intrusive_ptr<IDataInput> data = DataInputMemory::Create(bytes, sizeof bytes);
    boost::intrusive_ptr<IByteDataInput> byte = data;
    EXPECT_EQ(data->GetRefCount(), 2u);
    EXPECT_EQ(byte->GetRefCount(), 2u);
    data.reset();
    EXPECT_EQ(byte->GetRefCount(), 1u);
    uint8_t out[4] = {};
    EXPECT_EQ(byte->Read(out, 4), 4u); // still alive through the byte interface
    EXPECT_EQ(out[3], 4);
}

TEST(DataStream, TryLockFailsWhileAnotherThreadHoldsTheLock)
{
    std::string text = "abc";
    auto stream = DataInputString::Create(&text);
    {
        AutoLock guard(stream.get());
        EXPECT_FALSE(TryLockFromAnotherThread(*stream));
    }
    EXPECT_TRUE(TryLockFromAnotherThread(*stream));
    ASSERT_TRUE(stream->TryLock());
    stream->Unlock();
}

// Counts the calls made to a lock.
struct CountingLock : ILockable
{
    void Lock() override { ++locks; }
    bool TryLock() override { return false; }
    void Unlock() override { ++unlocks; }
    int locks = 0;
    int unlocks = 0;
};

TEST(AutoLock, AGuardUnlocksWhatItPointsAtLastAndAssignmentNeitherLocksNorUnlocks)
{
    CountingLock lock;
    {
        AutoLock held(&lock);
        AutoLock empty(nullptr);
        empty = held;
        EXPECT_EQ(lock.locks, 1);
        EXPECT_EQ(lock.unlocks, 0);
    }
    EXPECT_EQ(lock.unlocks, 2);

    CountingLock other;
    {
        AutoLock held(&other);
        held = AutoLock(nullptr);
    }
    EXPECT_EQ(other.locks, 1);
    EXPECT_EQ(other.unlocks, 0);
}

} // namespace

// Reference counts under concurrency: exact, and the object destroyed exactly once.
#include <Ostrel/IRefCountable.h>
#include <Ostrel/RefCountImpl.h>

#include <boost/intrusive_ptr.hpp>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace
{

std::atomic<int> g_destroyed{0};
std::atomic<int> g_slotSumAtDestruction{0};
constexpr int kSlots = 4;

class Counted : public virtual Ostrel::IRefCountable
{
public:
    unsigned int AddRef() const override { return m_count.AddRefImpl(); }
    unsigned int GetRefCount() const override { return m_count.GetRefCountImpl(); }
    unsigned int Release() const override
    {
        const unsigned int left = m_count.ReleaseImpl();
        if (left == 0)
        {
            delete this;
        }
        return left;
    }
    // Written by the threads that hold the object, read by whichever of them destroys it.
    int slots[kSlots] = {};

protected:
    ~Counted() override
    {
        int sum = 0;
        for (int slot : slots)
        {
            sum += slot;
        }
        g_slotSumAtDestruction = sum;
        g_destroyed.fetch_add(1);
    }

private:
    Ostrel::RefCountImpl m_count;
};

TEST(RefCount, ExactUnderConcurrentAddAndRelease)
{
    g_destroyed = 0;
    boost::intrusive_ptr<Counted> shared(new Counted);
    EXPECT_EQ(shared->GetRefCount(), 1u); // the count starts at 0: the pointer holds the one reference
    constexpr int kThreads = 8;
    constexpr int kRounds = 100000;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
    {
        threads.emplace_back(
            [&shared]
            {
                for (int i = 0; i < kRounds; ++i)
                {
                    shared->AddRef();
                    boost::intrusive_ptr<Counted> copy = shared;
                    shared->Release();
                }
            });
    }
    for (auto& thread : threads)
    {
        thread.join();
    }
    EXPECT_EQ(shared->GetRefCount(), 1u);
    EXPECT_EQ(g_destroyed.load(), 0);
    shared.reset();
    EXPECT_EQ(g_destroyed.load(), 1);
}

TEST(RefCount, LastOfManyConcurrentReleasesDestroysOnceAndSeesAllWrites)
{
    for (int round = 0; round < 200; ++round)
    {
        g_destroyed = 0;
        g_slotSumAtDestruction = 0;
        auto* object = new Counted;
        constexpr int kThreads = kSlots;
        std::vector<boost::intrusive_ptr<Counted>> holders(kThreads, boost::intrusive_ptr<Counted>(object));
        std::atomic<bool> go{false};
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t)
        {
            threads.emplace_back(
                [&, t]
                {
                    while (!go.load())
                    {
                    }
                    holders[t]->slots[t] = t + 1; // a plain write the destroying thread must see
                    holders[t].reset();
                });
        }
        go = true;
        for (auto& thread : threads)
        {
            thread.join();
        }
        ASSERT_EQ(g_destroyed.load(), 1) << "round " << round;
        ASSERT_EQ(g_slotSumAtDestruction.load(), 1 + 2 + 3 + 4) << "round " << round;
    }
}

} // namespace

#include "async/SerialQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace oxel {
namespace {

TEST(SerialQueue, RunsItsJobsOneAtATimeInTheOrderAdded)
{
    std::vector<int> order;
    std::atomic<int> running{0};
    bool overlapped = false;
    SerialQueue queue("oxel pro.psd.channel.0");
    for (int i = 0; i < 200; ++i)
        queue.async([&, i] {
            overlapped = overlapped || running.fetch_add(1) != 0;
            if (i % 50 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
            order.push_back(i);
            running.fetch_sub(1);
        });
    queue.wait();
    ASSERT_EQ(order.size(), 200u);
    for (int i = 0; i < 200; ++i) EXPECT_EQ(order[size_t(i)], i);
    EXPECT_FALSE(overlapped);
    EXPECT_EQ(queue.label(), "oxel pro.psd.channel.0");
}

TEST(SerialQueue, GoingAwayFinishesEveryJobAlreadyAdded)
{
    std::atomic<int> done{0};
    {
        SerialQueue queue("oxel pro.psd.channel.1");
        for (int i = 0; i < 20; ++i)
            queue.async([&] {
                std::this_thread::sleep_for(std::chrono::microseconds(200));
                done.fetch_add(1);
            });
    }
    EXPECT_EQ(done.load(), 20);
}

TEST(SerialQueue, ItsThreadIsNamedAfterTheEndOfItsLabel)
{
    std::string name;
    SerialQueue queue("oxel pro.psd.channel.2");
    queue.async([&] {
        char buffer[32] = {};
        pthread_getname_np(pthread_self(), buffer, sizeof buffer);
        name = buffer;
    });
    queue.wait();
    EXPECT_EQ(name, "o.psd.channel.2");
}

} // namespace
} // namespace oxel

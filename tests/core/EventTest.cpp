#include "platform/Event.h"

#include <gtest/gtest.h>

#include <thread>

using namespace std::chrono_literals;
using platform::Event;

TEST(EventTest, ManualResetStaysSetUntilReset) {
    Event e;
    EXPECT_FALSE(e.IsSet());
    EXPECT_FALSE(e.Wait(0ms));
    e.Set();
    EXPECT_TRUE(e.Wait(0ms));
    EXPECT_TRUE(e.Wait(10ms));  // waiting does not consume it
    EXPECT_TRUE(e.IsSet());
    e.Reset();
    EXPECT_FALSE(e.IsSet());
    EXPECT_FALSE(e.Wait(20ms));
    EXPECT_TRUE(Event(true).IsSet());
}

TEST(EventTest, WaitWakesWhenAnotherThreadSets) {
    Event e;
    std::thread setter([&] {
        std::this_thread::sleep_for(20ms);
        e.Set();
    });
    EXPECT_TRUE(e.Wait(10s));
    setter.join();
}

TEST(EventTest, FirstOfSeveralFollowsTheGivenOrder) {
    Event a, b, c;
    EXPECT_EQ(platform::PollFirst({&a, &b, &c}), -1);
    EXPECT_EQ(platform::WaitForFirst({&a, &b, &c}, 20ms), -1);
    c.Set();
    EXPECT_EQ(platform::PollFirst({&a, &b, &c}), 2);
    b.Set();
    EXPECT_EQ(platform::PollFirst({&a, &b, &c}), 1);
    EXPECT_EQ(platform::WaitForFirst({&c, &b}, 0ms), 0);  // the order is the caller's, not the events'
    a.Set();
    EXPECT_EQ(platform::WaitForFirst({&a, &b, &c}, 1s), 0);
}

TEST(EventTest, WaitForFirstWakesOnAnyEvent) {
    for (int which = 0; which < 3; ++which) {
        Event e[3];
        std::thread setter([&] {
            std::this_thread::sleep_for(10ms);
            e[which].Set();
        });
        EXPECT_EQ(platform::WaitForFirst({&e[0], &e[1], &e[2]}, 10s), which);
        setter.join();
    }
}

TEST(EventTest, ManyWaitersAndSettersDoNotRace) {
    // Run under ThreadSanitizer: waiters register and leave while setters notify them.
    Event go, stop;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 200; ++i) platform::WaitForFirst({&stop, &go}, 1ms);
        });
    }
    for (int i = 0; i < 200; ++i) {
        go.Set();
        go.Reset();
    }
    stop.Set();
    for (auto& t : threads) t.join();
    EXPECT_TRUE(stop.IsSet());
}

// SPDX-License-Identifier: MIT
// Delays from registration to event, through the tick, cancel and drop.
#include <atomic>
#include <map>
#include <random>
#include <set>
#include <string>
#include <thread>

#include "test_host.h"

using namespace testhost;

namespace {

const uint64_t T = homeMs(2024, 2, 9, 23, 59, 50);

class Delays : public PluginTest {
  protected:
    void SetUp() override {
        PluginTest::SetUp();
        ASSERT_TRUE(tick(T));
        host.clearEvents();
    }
};

TEST_F(Delays, FiresAtTheFirstTickAtLeastItsLengthLater) {
    ASSERT_TRUE(delay(1, 7, 10));
    tick(T + 9999);
    EXPECT_TRUE(host.delayEvents().empty());
    tick(T + 10000);
    EXPECT_EQ(host.delayEvents(), (std::vector<Event>{{1, "DelayId", 7}}));
    tick(T + 20000);
    EXPECT_EQ(host.delayEvents().size(), 1u) << "a task fires once";
}

TEST_F(Delays, ZeroLengthFiresAtTheNextTickEvenAtTheSameTime) {
    ASSERT_TRUE(delay(1, 1, 0));
    tick(T);
    EXPECT_EQ(host.delayEvents(), (std::vector<Event>{{1, "DelayId", 1}}));
}

TEST_F(Delays, NegativeLengthWaitsForATickBeforeItsStart) {
    ASSERT_TRUE(delay(1, 1, -5));
    tick(T + 1);
    tick(T + 86400000);
    tick(T - 5001);
    EXPECT_TRUE(host.delayEvents().empty());
    tick(T - 5000);
    EXPECT_EQ(host.delayEvents(), (std::vector<Event>{{1, "DelayId", 1}}));
}

TEST_F(Delays, ElapsedTimeWrapsAround) {
    const uint64_t nearEnd = UINT64_MAX - 999;
    tick(nearEnd);
    ASSERT_TRUE(delay(2, 3, 2));
    tick(999); // 1999 ms after the start, modulo 2^64
    EXPECT_TRUE(host.delayEvents().empty());
    tick(1000);
    EXPECT_EQ(host.delayEvents(), (std::vector<Event>{{2, "DelayId", 3}}));
}

TEST_F(Delays, SecondRequestForAPendingPairChangesNothing) {
    ASSERT_TRUE(delay(1, 5, 10));
    tick(T + 4000);
    ASSERT_TRUE(delay(1, 5, 1)); // neither restarts nor shortens it
    tick(T + 9999);
    EXPECT_TRUE(host.delayEvents().empty());
    tick(T + 10000);
    EXPECT_EQ(host.delayEvents().size(), 1u);
    // After it left, the same id registers afresh from the current time.
    ASSERT_TRUE(delay(1, 5, 1));
    tick(T + 10999);
    tick(T + 11000);
    EXPECT_EQ(host.delayEvents().size(), 2u);
}

TEST_F(Delays, VmsOwnTheirDelays) {
    ASSERT_TRUE(delay(1, 5, 1));
    ASSERT_TRUE(delay(2, 5, 1));
    ASSERT_TRUE(cancel(1, 5));
    tick(T + 1000);
    EXPECT_EQ(host.delayEvents(), (std::vector<Event>{{2, "DelayId", 5}}));
}

TEST_F(Delays, EventsOfOneTickComeInRegistrationOrderAfterTheSecond) {
    ASSERT_TRUE(delay(3, 30, 1));
    ASSERT_TRUE(delay(1, 10, 2));
    ASSERT_TRUE(delay(2, 20, 1));
    tick(T + 3000);
    const std::vector<Event> expected = {
        {0, "SecondOfDay", 86393}, {3, "DelayId", 30}, {1, "DelayId", 10}, {2, "DelayId", 20}};
    EXPECT_EQ(host.events(), expected);
}

TEST_F(Delays, SecondOfDayIsPostedWhenTheSecondChanges) {
    tick(T + 999); // same second
    tick(T + 1000);
    tick(T + 1500);
    tick(T + 5000);  // skips seconds: one post, the new value
    tick(T + 10000); // midnight
    EXPECT_EQ(host.secondEvents(), (std::vector<int32_t>{86391, 86395, 0}));
    for (const Event &e : host.events())
        EXPECT_EQ(e.name, "SecondOfDay");
}

TEST_F(Delays, BackwardStepFiresTasksThatStartedAfterIt) {
    ASSERT_TRUE(delay(1, 1, 100));
    tick(T - 60000);
    EXPECT_EQ(host.delayEvents(), (std::vector<Event>{{1, "DelayId", 1}}));
    EXPECT_EQ(host.secondEvents(), (std::vector<int32_t>{86330}));
}

TEST_F(Delays, RefusedRequestsQueueNothing) {
    Args one{1}, three{1, 2, 3};
    EXPECT_FALSE(delay(0, 1, 0)) << "VM 0 never owns a delay";
    EXPECT_FALSE(sh_delay(1, one.argv(), 1, nullptr));
    EXPECT_FALSE(sh_delay(1, three.argv(), 3, nullptr));
    EXPECT_FALSE(sh_delay(1, nullptr, 2, nullptr));
    Args boolId, stringId, nullId;
    boolId.addBool(true);
    boolId.addInt(0);
    stringId.addString("7");
    stringId.addInt(0);
    nullId.addNull();
    nullId.addInt(0);
    EXPECT_FALSE(sh_delay(1, boolId.argv(), 2, nullptr));
    EXPECT_FALSE(sh_delay(1, stringId.argv(), 2, nullptr));
    EXPECT_FALSE(sh_delay(1, nullId.argv(), 2, nullptr));
    EXPECT_EQ(Host::heldByThisThread(), 0);
    tick(T);
    EXPECT_TRUE(host.delayEvents().empty());
}

TEST_F(Delays, UnconvertibleLengthCountsAsZero) {
    Args args;
    args.addInt(4);
    args.addString("ten");
    ASSERT_TRUE(sh_delay(1, args.argv(), 2, nullptr));
    tick(T);
    EXPECT_EQ(host.delayEvents(), (std::vector<Event>{{1, "DelayId", 4}}));
}

TEST_F(Delays, CancelChecksItsArgumentsButNotTheVm) {
    Args two{1, 2};
    EXPECT_FALSE(sh_cancel_delay(1, two.argv(), 0, nullptr));
    EXPECT_FALSE(sh_cancel_delay(1, two.argv(), 2, nullptr));
    EXPECT_FALSE(sh_cancel_delay(1, nullptr, 1, nullptr));
    Args text;
    text.addString("1");
    EXPECT_FALSE(sh_cancel_delay(1, text.argv(), 1, nullptr));
    ASSERT_TRUE(delay(1, 1, 0));
    EXPECT_TRUE(cancel(0, 1)) << "VM 0 is accepted and matches nothing";
    EXPECT_TRUE(cancel(1, 99)) << "valid even when nothing matches";
    tick(T);
    EXPECT_EQ(host.delayEvents().size(), 1u);
}

TEST_F(Delays, DroppingAVmRemovesOnlyItsTasksSilently) {
    ASSERT_TRUE(delay(1, 1, 0));
    ASSERT_TRUE(delay(1, 2, 0));
    ASSERT_TRUE(delay(2, 1, 0));
    EXPECT_TRUE(sh_func_manager_delay_task_delete(1));
    EXPECT_TRUE(sh_func_manager_delay_task_delete(42));
    EXPECT_EQ(Host::heldByThisThread(), 0);
    EXPECT_EQ(host.posts(), 0);
    tick(T);
    EXPECT_EQ(host.delayEvents(), (std::vector<Event>{{2, "DelayId", 1}}));
}

TEST_F(Delays, FailedPostIsLoggedOnceAndTheTaskLeaves) {
    host.setPostResult(false, 0x1F);
    ASSERT_TRUE(delay(3, 8, 0));
    tick(T);
    EXPECT_EQ(
        host.logs(),
        std::vector<std::string>{
            "sh_kelvo_wrapper_sendevent fail! pTaskData->iVmId:3d, varKey:DelayId, error:0x0X1F"});
    host.setPostResult(true);
    tick(T + 1);
    EXPECT_TRUE(host.delayEvents().empty());
    EXPECT_EQ(host.logs().size(), 1u);
}

TEST_F(Delays, FailedSecondOfDayPostIsNotRepeated) {
    host.failPost(1);
    tick(T + 1000);
    tick(T + 1200);
    EXPECT_EQ(host.logs(),
              std::vector<std::string>{"sh_kelvo_wrapper_sendevent fail! "
                                       "pTaskData->iVmId:0d, varKey:SecondOfDay, error:0x0"});
    EXPECT_TRUE(host.secondEvents().empty());
}

TEST_F(Delays, LogLinesAreCutAt126Characters) {
    sh_func_manager_deinit();
    const std::string longName(200, 'x');
    host.bind(longName.c_str(), "SecondOfDay");
    ASSERT_TRUE(sh_func_manager_init());
    host.setPostResult(false, 1);
    ASSERT_TRUE(delay(1, 1, 0));
    tick(T);
    ASSERT_EQ(host.logs().size(), 2u); // the deinit above, then the failed post
    const std::string expected =
        ("sh_kelvo_wrapper_sendevent fail! pTaskData->iVmId:1d, varKey:" + longName).substr(0, 126);
    EXPECT_EQ(host.logs()[1], expected);
}

TEST_F(Delays, FailedRecordAllocationAnswersFalse) {
    host.failAllocation(3); // the two argument objects, then the record
    EXPECT_FALSE(delay(1, 1, 0));
    tick(T);
    EXPECT_TRUE(host.delayEvents().empty());
    EXPECT_TRUE(delay(1, 1, 0));
}

TEST_F(Delays, FailedQueueGrowthAnswersFalseAndFreesTheRecord) {
    int id = 0;
    // Fill the queue's first block of slots, then fail the next growth.
    for (; id < 16; ++id)
        ASSERT_TRUE(delay(1, id, 100));
    host.failAllocation(4); // two arguments, the record, then the larger array
    EXPECT_FALSE(delay(1, id, 0));
    tick(T);
    EXPECT_TRUE(host.delayEvents().empty());
    EXPECT_TRUE(delay(1, id, 0));
    tick(T);
    EXPECT_EQ(host.delayEvents(), (std::vector<Event>{{1, "DelayId", 16}}));
}

TEST_F(Delays, EventWithoutAValueIsSkippedButTheTaskLeaves) {
    ASSERT_TRUE(delay(1, 1, 0));
    host.failAllocation(1); // the event's value object
    tick(T);
    EXPECT_EQ(host.posts(), 0);
    EXPECT_EQ(host.logs().size(), 1u);
    tick(T);
    EXPECT_EQ(host.posts(), 0) << "the task did not stay behind";
}

// Several threads register and cancel while one ticks: every task leaves
// exactly once, and nothing fires after its cancel returned.
TEST_F(Delays, ConcurrentTasksLeaveExactlyOnce) {
    enum State { Pending, Fired, Cancelled };
    std::mutex stateMutex;
    std::map<std::pair<uint32_t, int32_t>, State> states;
    long violations = 0;
    std::atomic<bool> stop{false};

    constexpr int Threads = 4;
    constexpr int PerThread = 400;
    std::vector<std::thread> workers;
    for (int t = 0; t < Threads; ++t) {
        workers.emplace_back([&, t] {
            std::mt19937 rng(t);
            const uint32_t vm = static_cast<uint32_t>(t + 1);
            for (int32_t id = 0; id < PerThread; ++id) {
                Args args{id, static_cast<int32_t>(rng() % 3)};
                {
                    std::lock_guard lock(stateMutex);
                    states[{vm, id}] = Pending;
                }
                if (!sh_delay(vm, args.argv(), 2, nullptr)) {
                    std::lock_guard lock(stateMutex);
                    ++violations;
                }
                if (rng() % 3 == 0) {
                    const int32_t victim = static_cast<int32_t>(rng() % (id + 1));
                    Args c{victim};
                    sh_cancel_delay(vm, c.argv(), 1, nullptr);
                    std::lock_guard lock(stateMutex);
                    if (states[{vm, victim}] == Pending)
                        states[{vm, victim}] = Cancelled;
                }
            }
        });
    }
    host.onEvent([&](const Event &e) {
        if (e.vm == 0)
            return;
        std::lock_guard lock(stateMutex);
        auto it = states.find({e.vm, e.value});
        if (it == states.end() || it->second != Pending)
            ++violations; // unknown, fired twice, or fired after its cancel returned
        else
            it->second = Fired;
    });
    std::thread ticker([&] {
        uint64_t now = T;
        while (!stop.load()) {
            now += 250;
            sh_time_update(now);
            host.clearEvents();
        }
    });
    for (auto &w : workers)
        w.join();
    stop = true;
    ticker.join();

    EXPECT_EQ(violations, 0);
    const long tasksAlive = static_cast<long>(host.liveBlocks());
    sh_func_manager_deinit(); // tears down whatever is still pending
    EXPECT_EQ(host.liveBlocks(), 0u);
    EXPECT_GE(tasksAlive, 0);
    EXPECT_EQ(host.mutexErrors(), 0);
}

} // namespace

// SPDX-License-Identifier: MIT
// Delays from registration to event, through the tick, cancel and drop.
#include <algorithm>
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

// The oracle of the clock tests: each pending delay with the forward time it
// has left, in queue order.
struct ModelDelay {
    uint32_t vm;
    int32_t id;
    int64_t leftMs;
};

// A tick that moves the clock by moveMs: only forward movement counts, and
// what is due fires in queue order.
void modelTick(std::vector<ModelDelay> &pending, int64_t moveMs, std::vector<Event> &expected) {
    for (ModelDelay &m : pending)
        m.leftMs -= std::max<int64_t>(moveMs, 0);
    for (auto it = pending.begin(); it != pending.end();) {
        if (it->leftMs <= 0) {
            expected.push_back({it->vm, "DelayId", it->id});
            it = pending.erase(it);
        } else {
            ++it;
        }
    }
}

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

TEST_F(Delays, NegativeLengthIsAZeroLength) {
    ASSERT_TRUE(delay(1, 1, -5));
    ASSERT_TRUE(delay(1, 2, INT32_MIN));
    tick(T); // the same time: no movement is needed
    EXPECT_EQ(host.delayEvents(), (std::vector<Event>{{1, "DelayId", 1}, {1, "DelayId", 2}}));
}

TEST_F(Delays, LongestLengthIsNotCutShort) {
    ASSERT_TRUE(delay(1, 1, INT32_MAX));
    const uint64_t lengthMs = uint64_t{INT32_MAX} * 1000;
    tick(T + lengthMs - 1);
    EXPECT_TRUE(host.delayEvents().empty());
    tick(T + lengthMs);
    EXPECT_EQ(host.delayEvents().size(), 1u);
}

TEST_F(Delays, CountsOnAcrossTheEndOfTheTimestampRange) {
    tick(UINT64_MAX - 999);
    ASSERT_TRUE(delay(2, 3, 2));
    tick(UINT64_MAX); // 999 ms forward
    tick(999);        // a step back: nothing
    tick(1999);       // 1999 ms forward in all
    EXPECT_TRUE(host.delayEvents().empty());
    tick(2000);
    EXPECT_EQ(host.delayEvents(), (std::vector<Event>{{2, "DelayId", 3}}));
}

// Forward jumps are time to the plug-in; however often the clock runs to the
// end of the range and back, the count saturates instead of wrapping round
// to a value that would hold a due delay back.
TEST_F(Delays, ForwardMovementSaturates) {
    for (int i = 0; i < 3; ++i) {
        tick(0);
        tick(UINT64_MAX);
    }
    ASSERT_TRUE(delay(1, 1, INT32_MAX));
    tick(0);
    tick(UINT64_MAX);
    EXPECT_EQ(host.delayEvents().size(), 1u);
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

TEST_F(Delays, StepBackNeitherFiresNorDelays) {
    // A two-hour delay, the clock corrected back by a second 0.3 s later.
    const uint64_t t = homeMs(2024, 11, 10, 21, 0, 0);
    tick(t);
    host.clearEvents();
    ASSERT_TRUE(delay(4, 1, 7200));
    tick(t + 300);
    tick(t - 700);
    EXPECT_TRUE(host.delayEvents().empty());
    EXPECT_EQ(host.secondEvents(), (std::vector<int32_t>{75599})) << "the second changed back";
    // 300 ms counted before the step; the rest counts from the stepped-back tick.
    tick(t - 700 + 7'199'699);
    EXPECT_TRUE(host.delayEvents().empty());
    tick(t - 700 + 7'199'700);
    EXPECT_EQ(host.delayEvents(), (std::vector<Event>{{4, "DelayId", 1}}));
}

// Plays one second of home time a tick and answers when each delay fired.
std::vector<uint64_t> fireTimes(Host &host, const std::vector<uint64_t> &ticks) {
    std::vector<uint64_t> fired;
    for (uint64_t t : ticks) {
        host.clearEvents();
        sh_time_update(t);
        for (size_t i = 0; i < host.delayEvents().size(); ++i)
            fired.push_back(t);
    }
    return fired;
}

std::vector<uint64_t> everySecond(uint64_t from, uint64_t to) {
    std::vector<uint64_t> v;
    for (uint64_t t = from; t <= to; t += 1000)
        v.push_back(t);
    return v;
}

TEST_F(Delays, EndOfDaylightSavingTimeRepeatsAnHourWithoutFiring) {
    // Home time runs 02:59:59 -> 02:00:00. Two minutes asked for at 02:59:00.
    tick(homeMs(2024, 10, 27, 2, 59, 0));
    ASSERT_TRUE(delay(1, 1, 120));
    ASSERT_TRUE(delay(1, 2, 3600));
    std::vector<uint64_t> ticks = everySecond(homeMs(2024, 10, 27, 2, 59, 1), // 59 s
                                              homeMs(2024, 10, 27, 2, 59, 59));
    const std::vector<uint64_t> again =
        everySecond(homeMs(2024, 10, 27, 2, 0, 0), homeMs(2024, 10, 27, 3, 0, 0));
    ticks.insert(ticks.end(), again.begin(), again.end());
    // 59 s before the change, 61 s after it; an hour: 59 s + 3541 s.
    EXPECT_EQ(fireTimes(host, ticks), (std::vector<uint64_t>{homeMs(2024, 10, 27, 2, 1, 1),
                                                             homeMs(2024, 10, 27, 2, 59, 1)}));
}

TEST_F(Delays, StartOfDaylightSavingTimeCountsTheSkippedHour) {
    // Home time runs 01:59:59 -> 03:00:00: the plug-in sees an hour pass.
    tick(homeMs(2024, 3, 31, 1, 59, 0));
    ASSERT_TRUE(delay(1, 1, 120));
    ASSERT_TRUE(delay(1, 2, 7200));
    std::vector<uint64_t> ticks =
        everySecond(homeMs(2024, 3, 31, 1, 59, 1), homeMs(2024, 3, 31, 1, 59, 59));
    const std::vector<uint64_t> after =
        everySecond(homeMs(2024, 3, 31, 3, 0, 0), homeMs(2024, 3, 31, 4, 0, 0));
    ticks.insert(ticks.end(), after.begin(), after.end());
    // 59 s before the change and 3601 s at it; two hours: 59 s + 3601 s + 3540 s.
    EXPECT_EQ(fireTimes(host, ticks),
              (std::vector<uint64_t>{homeMs(2024, 3, 31, 3, 0, 0), homeMs(2024, 3, 31, 3, 59, 0)}));
}

TEST_F(Delays, ManyStepsBackInARowFireNothing) {
    ASSERT_TRUE(delay(1, 1, 1));
    for (int i = 1; i <= 1000; ++i)
        tick(T - 1000ULL * i);
    EXPECT_TRUE(host.delayEvents().empty());
    tick(T - 1000 * 1000 + 999);
    EXPECT_TRUE(host.delayEvents().empty());
    tick(T - 1000 * 1000 + 1000);
    EXPECT_EQ(host.delayEvents().size(), 1u);
}

// A clock that an NTP client nudges a few seconds back and forth. Oracle:
// each delay fires at the first tick at which the sum of the forward steps
// since its request reaches its length.
TEST_F(Delays, NtpCorrectionsCountOnlyForwardMovement) {
    std::mt19937 rng(11);
    std::vector<ModelDelay> pending;
    std::vector<Event> expected;
    uint64_t now = T;
    for (int32_t step = 0; step < 3000; ++step) {
        if (rng() % 4 == 0) {
            const auto seconds = static_cast<int32_t>(rng() % 30) - 2;
            ASSERT_TRUE(delay(1, step, seconds));
            pending.push_back({1, step, int64_t{std::max(seconds, 0)} * 1000});
        }
        const int64_t move = rng() % 10 == 0   ? -static_cast<int64_t>(rng() % 5000)
                             : rng() % 10 == 0 ? static_cast<int64_t>(rng() % 5000)
                                               : 250;
        now = static_cast<uint64_t>(static_cast<int64_t>(now) + move);
        tick(now);
        modelTick(pending, move, expected);
    }
    EXPECT_EQ(host.delayEvents(), expected);
    EXPECT_GT(expected.size(), 500u);
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

TEST_F(Delays, LengthThatIsNoInt32IsRefused) {
    ASSERT_TRUE(delay(1, 4, 10));
    for (int kind = 0; kind < 3; ++kind) {
        for (int32_t id : {4, 5}) { // pending, and new
            Args args;
            args.addInt(id);
            if (kind == 0)
                args.addString("3600");
            else if (kind == 1)
                args.addBool(true);
            else
                args.addNull();
            EXPECT_FALSE(sh_delay(1, args.argv(), 2, nullptr)) << kind << " " << id;
        }
    }
    tick(T + 9999); // the pending one kept its length
    tick(T + 86400000);
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
    // The deinit above, the first tick's second of the day, then the delay.
    ASSERT_EQ(host.logs().size(), 3u);
    const std::string expected =
        ("sh_kelvo_wrapper_sendevent fail! pTaskData->iVmId:1d, varKey:" + longName).substr(0, 126);
    EXPECT_EQ(host.logs()[2], expected);
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

// Requests, restarts, cancels and drops between ticks that move back and
// forth, against a model that keeps each delay's forward time left. Catches
// a tick that skips the queue while something is due.
TEST_F(Delays, RandomRequestsFireWhenTheModelSays) {
    std::mt19937 rng(5);
    std::vector<ModelDelay> pending;
    auto find = [&](uint32_t vm, int32_t id) {
        return std::find_if(pending.begin(), pending.end(),
                            [&](const ModelDelay &m) { return m.vm == vm && m.id == id; });
    };
    std::vector<Event> expected;
    uint64_t now = T;
    for (int step = 0; step < 4000; ++step) {
        const auto vm = static_cast<uint32_t>(1 + rng() % 3);
        const auto id = static_cast<int32_t>(rng() % 8);
        const auto seconds = static_cast<int32_t>(rng() % 20) - 1;
        const int64_t lengthMs = int64_t{std::max(seconds, 0)} * 1000;
        switch (rng() % 8) {
        case 0:
        case 1:
            ASSERT_TRUE(delay(vm, id, seconds));
            if (find(vm, id) == pending.end())
                pending.push_back({vm, id, lengthMs});
            break;
        case 2: {
            Args args{id, seconds};
            ASSERT_TRUE(sh_delay_restart(vm, args.argv(), 2, nullptr));
            if (auto it = find(vm, id); it != pending.end())
                it->leftMs = lengthMs;
            else
                pending.push_back({vm, id, lengthMs});
            break;
        }
        case 3:
            ASSERT_TRUE(cancel(vm, id));
            if (auto it = find(vm, id); it != pending.end())
                pending.erase(it);
            break;
        case 4:
            if (rng() % 4 == 0) {
                ASSERT_TRUE(sh_func_manager_delay_task_delete(vm));
                std::erase_if(pending, [&](const ModelDelay &m) { return m.vm == vm; });
            }
            break;
        default: {
            const int64_t move = rng() % 5 == 0 ? -static_cast<int64_t>(rng() % 4000)
                                                : static_cast<int64_t>(rng() % 1500);
            now = static_cast<uint64_t>(static_cast<int64_t>(now) + move);
            tick(now);
            modelTick(pending, move, expected);
        }
        }
    }
    EXPECT_EQ(host.delayEvents(), expected);
    EXPECT_GT(expected.size(), 300u);
}

TEST_F(Delays, TickWithNothingDueAllocatesNothing) {
    for (int32_t id = 0; id < 100; ++id)
        ASSERT_TRUE(delay(1, id, 3600));
    const long before = host.allocations();
    for (uint64_t t = T; t < T + 1000; t += 10)
        tick(t); // the same second: no event either
    tick(T - 5000);
    EXPECT_EQ(host.allocations(), before + 1) << "only the second-of-day value of the step back";
    EXPECT_TRUE(host.delayEvents().empty());
}

// ---------------------------------------------------------------- first tick

// A fresh start of the plug-in, no tick yet.
class FirstTick : public PluginTest {};

TEST_F(FirstTick, DelayAskedForBeforeItCountsFromIt) {
    ASSERT_TRUE(delay(1, 1, 10));
    ASSERT_TRUE(delay(1, 2, 0));
    tick(T); // whatever the time, the first tick has moved nothing
    EXPECT_EQ(host.delayEvents(), (std::vector<Event>{{1, "DelayId", 2}}));
    tick(T + 9999);
    EXPECT_EQ(host.delayEvents().size(), 1u);
    tick(T + 10000);
    EXPECT_EQ(host.delayEvents().size(), 2u);
}

TEST_F(FirstTick, DelayAskedForBeforeInitIsRefused) {
    sh_func_manager_deinit();
    EXPECT_FALSE(delay(1, 1, 0));
    EXPECT_FALSE(sh_delay_restart(1, Args{1, 0}.argv(), 2, nullptr));
    host.bind();
    ASSERT_TRUE(sh_func_manager_init());
    tick(T);
    tick(T + 1000);
    EXPECT_TRUE(host.delayEvents().empty());
}

TEST_F(FirstTick, PostsTheSecondOfDayEvenAtMidnight) {
    tick(homeMs(2024, 2, 10));
    tick(homeMs(2024, 2, 10, 0, 0, 0, 999));
    EXPECT_EQ(host.secondEvents(), (std::vector<int32_t>{0}));
}

TEST_F(FirstTick, EachInitStartsAfresh) {
    tick(T);
    ASSERT_TRUE(delay(1, 1, 5));
    tick(T + 4000);
    sh_func_manager_deinit(); // the pending delay goes without an event
    host.clearEvents();
    host.bind();
    ASSERT_TRUE(sh_func_manager_init());
    // The same second as the last tick before the deinit: posted all the same.
    tick(T + 4500);
    EXPECT_EQ(host.secondEvents(), (std::vector<int32_t>{86394}));
    ASSERT_TRUE(delay(1, 1, 5));
    tick(T + 9000); // 4.5 s since the first tick of this life
    EXPECT_TRUE(host.delayEvents().empty());
    tick(T + 9500);
    EXPECT_EQ(host.delayEvents(), (std::vector<Event>{{1, "DelayId", 1}}));
    // The first tick of a new life adds nothing, however far the clock went.
    sh_func_manager_deinit();
    host.bind();
    ASSERT_TRUE(sh_func_manager_init());
    ASSERT_TRUE(delay(1, 2, 5));
    tick(T + 86'400'000);
    tick(T + 86'404'999);
    EXPECT_EQ(host.delayEvents().size(), 1u);
    tick(T + 86'405'000);
    EXPECT_EQ(host.delayEvents().size(), 2u);
}

// ---------------------------------------------------------------- timer controls

class TimerControls : public Delays {
  protected:
    bool restart(uint32_t vm, int32_t id, int32_t seconds) {
        Args args{id, seconds};
        const bool ok = sh_delay_restart(vm, args.argv(), args.argc(), nullptr);
        EXPECT_EQ(Host::heldByThisThread(), 0);
        return ok;
    }
    int32_t remaining(uint32_t vm, int32_t id) {
        const Answer a = call(sh_delay_remaining, vm, {id});
        EXPECT_TRUE(a.status);
        EXPECT_TRUE(a.hasValue);
        return a.intValue;
    }
};

TEST_F(TimerControls, RestartOfAPendingDelayStartsItAgainNow) {
    ASSERT_TRUE(delay(1, 5, 300));
    tick(T + 240'000);
    ASSERT_TRUE(restart(1, 5, 300));
    tick(T + 300'000);
    EXPECT_TRUE(host.delayEvents().empty());
    tick(T + 539'999);
    EXPECT_TRUE(host.delayEvents().empty());
    tick(T + 540'000);
    EXPECT_EQ(host.delayEvents(), (std::vector<Event>{{1, "DelayId", 5}}));
}

TEST_F(TimerControls, RestartTakesTheNewLengthShorterOrLonger) {
    ASSERT_TRUE(delay(1, 1, 60));
    ASSERT_TRUE(delay(1, 2, 60));
    tick(T + 10'000);
    ASSERT_TRUE(restart(1, 1, 5));
    ASSERT_TRUE(restart(1, 2, 120));
    tick(T + 15'000);
    EXPECT_EQ(host.delayEvents(), (std::vector<Event>{{1, "DelayId", 1}}));
    tick(T + 129'999);
    EXPECT_EQ(host.delayEvents().size(), 1u);
    tick(T + 130'000);
    EXPECT_EQ(host.delayEvents().size(), 2u);
}

TEST_F(TimerControls, RestartOfAnAbsentDelayRegistersIt) {
    ASSERT_TRUE(restart(1, 3, 2));
    EXPECT_EQ(remaining(1, 3), 2);
    tick(T + 1999);
    EXPECT_TRUE(host.delayEvents().empty());
    tick(T + 2000);
    EXPECT_EQ(host.delayEvents(), (std::vector<Event>{{1, "DelayId", 3}}));
    EXPECT_EQ(remaining(1, 3), -1);
}

// The motion light: every motion restarts five minutes; the light goes off
// five minutes after the last one.
TEST_F(TimerControls, MotionKeepsTheLightOn) {
    uint64_t now = T;
    for (int motion = 0; motion < 20; ++motion) {
        ASSERT_TRUE(restart(1, 1, 300));
        now += 120'000;
        tick(now);
    }
    EXPECT_TRUE(host.delayEvents().empty());
    tick(now + 179'999);
    EXPECT_TRUE(host.delayEvents().empty());
    tick(now + 180'000);
    EXPECT_EQ(host.delayEvents().size(), 1u);
}

TEST_F(TimerControls, RestartedDelayKeepsItsTurnInATick) {
    ASSERT_TRUE(delay(1, 1, 10));
    ASSERT_TRUE(delay(2, 2, 5));
    ASSERT_TRUE(restart(1, 1, 5));
    tick(T + 5000);
    EXPECT_EQ(host.delayEvents(), (std::vector<Event>{{1, "DelayId", 1}, {2, "DelayId", 2}}));
}

TEST_F(TimerControls, RestartCountsForwardMovementOnly) {
    ASSERT_TRUE(delay(1, 1, 10));
    tick(T + 5000);
    tick(T - 60'000); // step back
    ASSERT_TRUE(restart(1, 1, 10));
    tick(T - 50'001);
    EXPECT_TRUE(host.delayEvents().empty());
    EXPECT_EQ(remaining(1, 1), 1);
    tick(T - 50'000);
    EXPECT_EQ(host.delayEvents().size(), 1u);
}

TEST_F(TimerControls, RestartWithANegativeLengthFiresAtTheNextTick) {
    ASSERT_TRUE(delay(1, 1, 100));
    ASSERT_TRUE(restart(1, 1, -3));
    EXPECT_EQ(remaining(1, 1), 0);
    tick(T);
    EXPECT_EQ(host.delayEvents().size(), 1u);
}

TEST_F(TimerControls, RestartRefusesWhatDelayRefuses) {
    ASSERT_TRUE(delay(1, 1, 10));
    Args one{1}, three{1, 2, 3}, stringLength, stringId;
    stringLength.addInt(1);
    stringLength.addString("1");
    stringId.addString("1");
    stringId.addInt(1);
    EXPECT_FALSE(restart(0, 1, 1)) << "VM 0 never owns a delay";
    EXPECT_FALSE(sh_delay_restart(1, one.argv(), 1, nullptr));
    EXPECT_FALSE(sh_delay_restart(1, three.argv(), 3, nullptr));
    EXPECT_FALSE(sh_delay_restart(1, nullptr, 2, nullptr));
    EXPECT_FALSE(sh_delay_restart(1, stringLength.argv(), 2, nullptr));
    EXPECT_FALSE(sh_delay_restart(1, stringId.argv(), 2, nullptr));
    EXPECT_EQ(Host::heldByThisThread(), 0);
    tick(T + 9999);
    EXPECT_TRUE(host.delayEvents().empty()) << "the pending delay kept its length";
    tick(T + 10000);
    EXPECT_EQ(host.delayEvents().size(), 1u);
}

TEST_F(TimerControls, RestartWithoutMemoryForANewRecordAnswersFalse) {
    host.failAllocation(3); // the two argument objects, then the record
    EXPECT_FALSE(restart(1, 1, 0));
    EXPECT_EQ(remaining(1, 1), -1);
    ASSERT_TRUE(delay(1, 1, 10));
    host.failAllocationsFrom(3); // a pending delay needs no memory to restart
    EXPECT_TRUE(restart(1, 1, 1));
    host.failAllocationsFrom(0);
    tick(T + 1000);
    EXPECT_EQ(host.delayEvents().size(), 1u);
}

TEST_F(TimerControls, RemainingCountsWholeSecondsRoundedUp) {
    EXPECT_EQ(remaining(1, 7), -1) << "none pending";
    ASSERT_TRUE(delay(1, 7, 10));
    EXPECT_EQ(remaining(1, 7), 10);
    tick(T + 1);
    EXPECT_EQ(remaining(1, 7), 10);
    tick(T + 1000);
    EXPECT_EQ(remaining(1, 7), 9);
    tick(T + 9000);
    EXPECT_EQ(remaining(1, 7), 1);
    tick(T + 9999);
    EXPECT_EQ(remaining(1, 7), 1) << "1 ms left";
    tick(T - 3'600'000);
    EXPECT_EQ(remaining(1, 7), 1) << "a step back changes nothing";
    tick(T - 3'599'999);
    EXPECT_EQ(host.delayEvents().size(), 1u);
    EXPECT_EQ(remaining(1, 7), -1) << "fired";
}

TEST_F(TimerControls, RemainingIsZeroForADelayDueAtTheNextTick) {
    ASSERT_TRUE(delay(1, 1, 0));
    ASSERT_TRUE(delay(1, 2, 1));
    EXPECT_EQ(remaining(1, 1), 0);
    tick(T + 1000);
    EXPECT_EQ(host.delayEvents().size(), 2u);
    EXPECT_EQ(remaining(1, 1), -1);
}

TEST_F(TimerControls, RemainingBelongsToTheVm) {
    ASSERT_TRUE(delay(1, 1, 30));
    ASSERT_TRUE(delay(2, 1, 60));
    EXPECT_EQ(remaining(1, 1), 30);
    EXPECT_EQ(remaining(2, 1), 60);
    EXPECT_EQ(remaining(3, 1), -1);
    EXPECT_EQ(remaining(0, 1), -1);
    ASSERT_TRUE(cancel(1, 1));
    EXPECT_EQ(remaining(1, 1), -1);
    ASSERT_TRUE(sh_func_manager_delay_task_delete(2));
    EXPECT_EQ(remaining(2, 1), -1);
}

TEST_F(TimerControls, RemainingOfTheLongestDelayFitsItsValue) {
    ASSERT_TRUE(delay(1, 1, INT32_MAX));
    EXPECT_EQ(remaining(1, 1), INT32_MAX);
    tick(T + 1);
    EXPECT_EQ(remaining(1, 1), INT32_MAX);
    tick(T + 1000);
    EXPECT_EQ(remaining(1, 1), INT32_MAX - 1);
}

TEST_F(TimerControls, RemainingRefusesAWrongArgumentWithFalse) {
    ASSERT_TRUE(delay(1, 1, 30));
    Args none, two{1, 2}, text, flag;
    text.addString("1");
    flag.addBool(true);
    for (Args *args : {&none, &two, &text, &flag}) {
        const Answer a = call(sh_delay_remaining, 1, *args);
        EXPECT_FALSE(a.status);
        EXPECT_TRUE(a.hasValue);
        EXPECT_FALSE(a.boolValue);
    }
    qo_object out = nullptr;
    EXPECT_FALSE(sh_delay_remaining(1, nullptr, 1, &out));
    bool isBool = false;
    EXPECT_FALSE(qo_object_to_bool(out, &isBool));
    EXPECT_TRUE(isBool);
    qo_object_free(&out);
}

TEST_F(TimerControls, RemainingWithoutMemoryForItsValueAnswersFalse) {
    ASSERT_TRUE(delay(1, 1, 30));
    Args id{1};
    host.failAllocation(1);
    qo_object out = nullptr;
    EXPECT_FALSE(sh_delay_remaining(1, id.argv(), 1, &out));
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(Host::heldByThisThread(), 0);
    EXPECT_TRUE(sh_delay_remaining(1, id.argv(), 1, nullptr)) << "no out slot: nothing written";
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
        for (long n = 0; !stop.load(); ++n) {
            now = n % 7 == 6 ? now - 1000 : now + 250; // with steps back
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

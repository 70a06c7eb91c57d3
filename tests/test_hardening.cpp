// SPDX-License-Identifier: MIT
// The plug-in under failing allocators, failing event delivery and many
// threads at once.
#include <atomic>
#include <optional>
#include <cstdio>
#include <random>
#include <set>
#include <thread>
#include <tuple>

#include "sh-sys-func.h"
#include "test_host.h"

using namespace testhost;

namespace {

const uint64_t T0 = homeMs(2024, 2, 9, 23, 59, 0);

// What one full play saw.
struct Play {
    std::set<std::pair<uint32_t, int32_t>> accepted; // sh_delay answered true, fire at T0 + 1s
    std::vector<Event> delayEvents;
    long failedDelayPosts = 0; // log lines for posts to a VM
    bool initialised = false;
};

// Set-up, names, init, delays from several VMs (enough to grow the queue),
// ticks that fire and post, every condition, cancel, drop, deinit.
Play playScenario(Host &host) {
    Play p;
    host.bind();
    p.initialised = sh_func_manager_init();
    sh_time_update(T0);
    for (uint32_t vm = 1; vm <= 3; ++vm) {
        for (int32_t id = 0; id < 7; ++id) {
            Args args{id, 1};
            if (!args.complete())
                continue; // a host that cannot build the arguments does not call
            if (sh_delay(vm, args.argv(), args.argc(), nullptr))
                p.accepted.insert({vm, id});
        }
    }
    {
        Args late{99, 100}, doomed{98, 100};
        if (late.complete() && doomed.complete()) {
            sh_delay(4, late.argv(), 2, nullptr);   // cancelled below
            sh_delay(5, doomed.argv(), 2, nullptr); // dropped with its VM
            sh_delay(6, late.argv(), 2, nullptr);   // torn down
        }
    }
    {
        // Restarted while absent (a new record) and again while pending (none).
        Args timer{50, 1};
        if (timer.complete()) {
            const bool added = sh_delay_restart(7, timer.argv(), 2, nullptr);
            const bool again = sh_delay_restart(7, timer.argv(), 2, nullptr);
            EXPECT_TRUE(!added || again) << "a pending delay restarts without memory";
            if (added || again)
                p.accepted.insert({7, 50});
        }
    }
    sh_time_update(T0 + 1000);
    const std::vector<std::pair<Native, std::vector<int32_t>>> conditions = {
        {sh_time_range, {-1, -1, -1, 0, -1, -1, -1, 86399}},
        {sh_calendar, {24, 2, 9}},
        {sh_week_day, {0x7F}},
        {sh_lunar_time, {12, 30}},
        {sh_get_second_of_day, {}},
        {sh_delay_remaining, {50}}};
    for (const auto &[native, values] : conditions) {
        Args args;
        for (int32_t v : values)
            args.addInt(v);
        qo_object out = nullptr;
        const bool status = native(1, args.argv(), args.argc(), &out);
        // A status of 1 always comes with its value.
        EXPECT_TRUE(!status || out != nullptr);
        qo_object_free(&out);
    }
    // The plug-in's own conditions at 23:59:01 on 2024-02-09, the lunar New
    // Year's Eve and no solar term: a status of 1 comes with the right answer.
    const std::vector<std::tuple<Native, std::vector<int32_t>, bool>> ownConditions = {
        {sh_time_of_day, {79200, 21600}, true},
        {sh_lunar_day, {12, -1, 0}, true},
        {sh_solar_term, {0}, false},
        // a working Friday, the eve of the 2024 Spring Festival break
        {sh_workday, {0}, true},
        {sh_holiday, {2, 1}, true},
        {sh_holiday, {0, 0}, false}};
    {
        // A load in force when it answers true, nothing changed when false.
        const std::string text = "year 2030\nother off 06-03\n";
        const bool loaded = sh_holiday_schedule_load(text.data(), text.size());
        EXPECT_EQ(sh_holiday_schedule_covers(2030), loaded);
        EXPECT_EQ(sh_holiday_schedule_covers(2024), p.initialised);
    }
    for (const auto &[native, values, expected] : ownConditions) {
        Args args;
        for (int32_t v : values)
            args.addInt(v);
        qo_object out = nullptr;
        const bool status = native(1, args.argv(), args.argc(), &out);
        EXPECT_TRUE(!status || (out != nullptr && qo_object_to_bool(out, nullptr) == expected));
        qo_object_free(&out);
    }
    // The sun conditions for a home in Beijing, just before midnight: night,
    // the sun below the horizon. They allocate only their answer.
    if (sh_set_home_location(39.9, 116.4) && sh_set_home_zone("CST-8")) {
        const std::vector<std::tuple<Native, std::vector<int32_t>, bool>> sunConditions = {
            {sh_sun_window, {2, 1800, 1, 0}, true},
            {sh_sun_window, {1, 0, 2, 0}, false},
            {sh_sun_elevation, {-900, 0}, true}};
        for (const auto &[native, values, expected] : sunConditions) {
            Args args;
            for (int32_t v : values)
                args.addInt(v);
            if (!args.complete())
                continue;
            qo_object out = nullptr;
            const bool status = native(1, args.argv(), args.argc(), &out);
            EXPECT_TRUE(!status || (out != nullptr && qo_object_to_bool(out, nullptr) == expected));
            qo_object_free(&out);
        }
    }
    {
        Args id{99};
        sh_cancel_delay(4, id.argv(), 1, nullptr);
    }
    sh_func_manager_delay_task_delete(5);
    sh_time_update(T0 + 2000);
    p.delayEvents = host.delayEvents();
    for (const std::string &line : host.logs())
        if (line.find("sendevent fail!") != std::string::npos &&
            line.find("iVmId:0d") == std::string::npos)
            ++p.failedDelayPosts;
    sh_func_manager_deinit();
    if (!p.initialised) {
        // A refused init keeps what it was given; a host that gives up
        // releases the names by setting them to null.
        sh_set_varkey_delay(nullptr);
        sh_set_varkey_timevalue(nullptr);
    }
    return p;
}

// Every accepted delay fired once (delivered, or its failed post logged),
// nothing else fired, and nothing of the host's is left.
void expectSound(const Play &p, const Host &host, const std::string &what) {
    for (const Event &e : p.delayEvents)
        EXPECT_TRUE(p.accepted.count({e.vm, e.value}))
            << what << ": event for a delay never accepted";
    std::set<std::pair<uint32_t, int32_t>> delivered;
    for (const Event &e : p.delayEvents)
        EXPECT_TRUE(delivered.insert({e.vm, e.value}).second) << what << ": fired twice";
    if (p.initialised) {
        EXPECT_EQ(delivered.size() + static_cast<size_t>(p.failedDelayPosts), p.accepted.size())
            << what;
    }
    EXPECT_EQ(host.liveBlocks(), 0u) << what << ": host blocks leaked";
    EXPECT_EQ(host.badFrees(), 0) << what;
    EXPECT_EQ(host.mutexesAlive(), 0) << what;
    EXPECT_EQ(host.mutexErrors(), 0) << what;
    EXPECT_EQ(Host::heldByThisThread(), 0) << what;
}

TEST(Hardening, EveryAllocationFailsOnce) {
    Host &host = Host::get();
    sh_func_manager_deinit();
    host.reset();
    const Play clean = playScenario(host);
    ASSERT_TRUE(clean.initialised);
    ASSERT_EQ(clean.accepted.size(), 22u);
    ASSERT_EQ(clean.delayEvents.size(), 22u);
    expectSound(clean, host, "clean run");
    const long n = host.allocations();
    ASSERT_GT(n, 50);

    long survived = 0;
    for (long k = 1; k <= n; ++k) {
        host.reset();
        host.failAllocation(k);
        const Play p = playScenario(host);
        expectSound(p, host, "allocation " + std::to_string(k) + " failed");
        survived += !HasFailure();
        if (HasFailure())
            break;
    }
    std::printf("[figures] allocation failures injected and survived: %ld of %ld\n", survived, n);
    host.reset();
}

TEST(Hardening, EveryPostFailsOnce) {
    Host &host = Host::get();
    sh_func_manager_deinit();
    host.reset();
    playScenario(host);
    const long posts = host.posts();
    ASSERT_GT(posts, 20);
    for (long k = 1; k <= posts; ++k) {
        host.reset();
        host.failPost(k);
        const Play p = playScenario(host);
        expectSound(p, host, "post " + std::to_string(k) + " failed");
        long failLines = 0;
        for (const std::string &line : host.logs())
            failLines += line.find("sendevent fail!") != std::string::npos;
        EXPECT_EQ(failLines, 1) << "post " << k;
        if (HasFailure())
            break;
    }
    std::printf("[figures] posts failed one at a time: %ld\n", posts);
    host.reset();
}

// Threads register, cancel and drop with random ids and VMs while one ticks
// (sometimes backwards) and others call the conditions. Conservation is
// read off the host allocator: every task record allocated is released
// exactly once, and every delay event is followed, before the next event,
// by the release of a record holding that VM and id.
TEST(Hardening, ConcurrencySoak) {
    Host &host = Host::get();
    sh_func_manager_deinit();
    host.reset();

    long recordsFreed = 0, fired = 0, removedSilently = 0, violations = 0;
    std::optional<Event> unmatched; // guarded by the host: hooks are serialised
    host.onEvent([&](const Event &e) {
        if (e.vm == 0)
            return;
        if (unmatched)
            ++violations; // the previous event's task was never released
        unmatched = e;
    });
    host.onFree([&](const void *block, size_t size) {
        if (size != sizeof(DelayTaskData))
            return;
        const auto *rec = static_cast<const DelayTaskData *>(block);
        ++recordsFreed;
        if (unmatched) {
            if (rec->iVmId != unmatched->vm || rec->iDelayId != unmatched->value)
                ++violations;
            ++fired;
            unmatched.reset();
        } else {
            ++removedSilently;
        }
    });
    host.bind("DelayIdentifier", "SecondOfDay"); // no name is as long as a record
    ASSERT_TRUE(sh_func_manager_init());
    sh_time_update(T0);

    constexpr int OPS = 4000;
    std::atomic<long> ops{0}, accepted{0}, restarted{0}, badStatus{0};
    std::atomic<bool> stop{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < 3; ++t) {
        threads.emplace_back([&, t] {
            std::mt19937 rng(100 + t);
            for (int i = 0; i < OPS; ++i) {
                const uint32_t vm = 1 + rng() % 6;
                const auto id = static_cast<int32_t>(rng() % 40);
                const int op = static_cast<int>(rng() % 10);
                if (op < 5) {
                    Args args{id, static_cast<int32_t>(rng() % 4) - (op == 0)};
                    accepted += sh_delay(vm, args.argv(), 2, nullptr);
                } else if (op < 6) {
                    Args args{id, static_cast<int32_t>(rng() % 4)};
                    restarted += sh_delay_restart(vm, args.argv(), 2, nullptr);
                } else if (op < 9) {
                    Args args{id};
                    sh_cancel_delay(vm, args.argv(), 1, nullptr);
                } else {
                    sh_func_manager_delay_task_delete(vm);
                }
                ++ops;
            }
        });
    }
    for (int t = 0; t < 2; ++t) {
        threads.emplace_back([&] {
            while (!stop.load()) {
                Args week{0x7F}, range{-1, -1, -1, 0, -1, -1, -1, 86399};
                qo_object out = nullptr;
                badStatus += !sh_week_day(1, week.argv(), 1, &out);
                qo_object_free(&out);
                badStatus += !sh_time_range(1, range.argv(), 8, &out);
                qo_object_free(&out);
                Args night{79200, 21600}, eve{12, -1, 0}, term{0};
                badStatus += !sh_time_of_day(1, night.argv(), 2, &out);
                qo_object_free(&out);
                badStatus += !sh_lunar_day(1, eve.argv(), 3, &out);
                qo_object_free(&out);
                badStatus += !sh_solar_term(1, term.argv(), 1, &out);
                qo_object_free(&out);
                Args id{static_cast<int32_t>(ops.load() % 40)};
                badStatus += !sh_delay_remaining(1 + ops.load() % 6, id.argv(), 1, &out);
                bool isInt = false;
                const int32_t left = qo_object_to_int32(out, &isInt);
                badStatus += !isInt || left < -1 || left > 3; // no length is longer than 3 s
                qo_object_free(&out);
                ++ops;
            }
        });
    }
    std::thread ticker([&] {
        std::mt19937 rng(7);
        uint64_t now = T0;
        while (!stop.load()) {
            now = rng() % 20 == 0 ? now - rng() % 3000 : now + 100;
            sh_time_update(now);
            ++ops;
        }
    });
    for (int t = 0; t < 3; ++t)
        threads[t].join();
    stop = true;
    for (size_t t = 3; t < threads.size(); ++t)
        threads[t].join();
    ticker.join();
    sh_func_manager_deinit();

    EXPECT_EQ(violations, 0);
    EXPECT_FALSE(unmatched.has_value());
    EXPECT_EQ(badStatus, 0);
    EXPECT_EQ(host.liveBlocks(), 0u);
    EXPECT_EQ(host.badFrees(), 0);
    EXPECT_EQ(host.mutexErrors(), 0);
    EXPECT_EQ(recordsFreed, fired + removedSilently);
    EXPECT_GT(fired, 0);
    EXPECT_GT(removedSilently, 0);
    EXPECT_GT(restarted, 0);
    std::printf("[figures] soak: %ld operations, %ld delays accepted, %ld restarts, %ld records: "
                "%ld fired, "
                "%ld removed without an event\n",
                ops.load(), accepted.load(), restarted.load(), recordsFreed, fired,
                removedSilently);
    host.reset();
}

} // namespace

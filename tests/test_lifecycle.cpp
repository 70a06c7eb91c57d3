// SPDX-License-Identifier: MIT
// The function manager's two states, its start-up checks and its teardown.
#include <algorithm>
#include <string>

#include "test_host.h"

using namespace testhost;

namespace {

const char *const NAMES_MISSING = "gpDelayIdVarKey == NULL || gpSecondOfDayVarKey == NULL";

// Tests in this file start from an unbound, uninitialised plug-in.
class Lifecycle : public ::testing::Test {
  protected:
    void SetUp() override {
        sh_func_manager_deinit();
        host.reset();
    }
    void TearDown() override {
        sh_func_manager_deinit();
        // A failed init leaves the names with the plug-in: bind and tear
        // down once more so that nothing outlives the test.
        host.bind();
        if (sh_func_manager_init())
            sh_func_manager_deinit();
        else
            ADD_FAILURE() << "plug-in did not start after the test";
        EXPECT_EQ(host.liveBlocks(), 0u);
        EXPECT_EQ(host.mutexesAlive(), 0);
    }
    Host &host = Host::get();
};

TEST_F(Lifecycle, InitNeedsEveryCallbackButTheLogSink) {
    sh_callback_set_hal(Host::cbMalloc, Host::cbFree);
    sh_callback_set_mutex(Host::cbMutexCreate, Host::cbMutexLock, Host::cbMutexUnlock,
                          Host::cbMutexDestroy);
    sh_callback_set_postevent(Host::cbPost);
    sh_set_varkey_delay("DelayId");
    sh_set_varkey_timevalue("SecondOfDay");
    EXPECT_TRUE(sh_func_manager_init());
    EXPECT_TRUE(host.logs().empty());
}

TEST_F(Lifecycle, MissingCallbackLogsSysdepInvalidBeforeAnyMutex) {
    host.bind();
    sh_callback_set_postevent(nullptr);
    EXPECT_FALSE(sh_func_manager_init());
    EXPECT_EQ(host.logs(), std::vector<std::string>{"sysdep invalid"});
    EXPECT_EQ(host.mutexesAlive(), 0);
    EXPECT_FALSE(sh_time_update(1000));

    sh_callback_set_postevent(Host::cbPost); // the host mends it and retries
    EXPECT_TRUE(sh_func_manager_init());
}

TEST_F(Lifecycle, EachRequiredCallbackIsChecked) {
    for (int missing = 0; missing < 7; ++missing) {
        host.bind();
        switch (missing) {
        case 0:
            sh_callback_set_hal(nullptr, Host::cbFree);
            break;
        case 1:
            sh_callback_set_hal(Host::cbMalloc, nullptr);
            break;
        case 2:
            sh_callback_set_mutex(nullptr, Host::cbMutexLock, Host::cbMutexUnlock,
                                  Host::cbMutexDestroy);
            break;
        case 3:
            sh_callback_set_mutex(Host::cbMutexCreate, nullptr, Host::cbMutexUnlock,
                                  Host::cbMutexDestroy);
            break;
        case 4:
            sh_callback_set_mutex(Host::cbMutexCreate, Host::cbMutexLock, nullptr,
                                  Host::cbMutexDestroy);
            break;
        case 5:
            sh_callback_set_mutex(Host::cbMutexCreate, Host::cbMutexLock, Host::cbMutexUnlock,
                                  nullptr);
            break;
        case 6:
            sh_callback_set_postevent(nullptr);
            break;
        }
        EXPECT_FALSE(sh_func_manager_init()) << "callback " << missing;
        EXPECT_EQ(host.mutexesAlive(), 0);
        sh_callback_set_hal(Host::cbMalloc, Host::cbFree); // so the names can be released
    }
}

TEST_F(Lifecycle, MissingNamesAreOneMessage) {
    sh_callback_set_hal(Host::cbMalloc, Host::cbFree);
    sh_callback_set_logout(Host::cbLog);
    sh_callback_set_mutex(Host::cbMutexCreate, Host::cbMutexLock, Host::cbMutexUnlock,
                          Host::cbMutexDestroy);
    sh_callback_set_postevent(Host::cbPost);
    sh_set_varkey_delay(nullptr);
    sh_set_varkey_timevalue(nullptr);
    EXPECT_FALSE(sh_func_manager_init());
    sh_set_varkey_delay("DelayId");
    EXPECT_FALSE(sh_func_manager_init());
    EXPECT_EQ(host.logs(), (std::vector<std::string>{NAMES_MISSING, NAMES_MISSING}));
    EXPECT_EQ(host.mutexesAlive(), 0);
}

TEST_F(Lifecycle, NameBeforeAllocatorIsIgnored) {
    sh_callback_set_hal(nullptr, nullptr);
    sh_set_varkey_delay("DelayId");
    sh_set_varkey_timevalue("SecondOfDay");
    sh_callback_set_hal(Host::cbMalloc, Host::cbFree);
    sh_callback_set_logout(Host::cbLog);
    sh_callback_set_mutex(Host::cbMutexCreate, Host::cbMutexLock, Host::cbMutexUnlock,
                          Host::cbMutexDestroy);
    sh_callback_set_postevent(Host::cbPost);
    EXPECT_FALSE(sh_func_manager_init());
    EXPECT_EQ(host.logs(), std::vector<std::string>{NAMES_MISSING});
    EXPECT_EQ(host.allocations(), 0);
}

TEST_F(Lifecycle, SettingANameAgainReleasesTheOldCopyFirst) {
    host.bind();
    const long before = host.allocations();
    host.clearTrace();
    host.traceAllocations(true);
    sh_set_varkey_delay("Other");
    EXPECT_EQ(host.trace(), (std::vector<std::string>{"free", "malloc"}));
    EXPECT_EQ(host.allocations(), before + 1);
    host.clearTrace();
    sh_set_varkey_delay(nullptr); // releases and leaves the name unset
    EXPECT_EQ(host.trace(), std::vector<std::string>{"free"});
    EXPECT_FALSE(sh_func_manager_init());
}

TEST_F(Lifecycle, TheNameIsACopy) {
    std::string name = "DelayId";
    host.bind(name.c_str(), "SecondOfDay");
    name = "Garbage";
    ASSERT_TRUE(sh_func_manager_init());
    qo_object args[2] = {qo_object_new_int32(7), qo_object_new_int32(0)};
    ASSERT_TRUE(sh_delay(1, args, 2, nullptr));
    ASSERT_TRUE(sh_time_update(0));
    ASSERT_EQ(host.delayEvents().size(), 1u);
    EXPECT_EQ(host.delayEvents()[0].name, "DelayId");
    qo_object_free(&args[0]);
    qo_object_free(&args[1]);
}

bool refuseMutex(void **) {
    return false;
}

TEST_F(Lifecycle, RefusedMutexFailsSilently) {
    host.bind();
    sh_callback_set_mutex(refuseMutex, Host::cbMutexLock, Host::cbMutexUnlock,
                          Host::cbMutexDestroy);
    const long before = host.allocations();
    EXPECT_FALSE(sh_func_manager_init());
    EXPECT_TRUE(host.logs().empty());
    EXPECT_EQ(host.allocations(), before) << "no queue is made";
    Args args{1, 1};
    EXPECT_FALSE(sh_delay(1, args.argv(), args.argc(), nullptr));
}

TEST_F(Lifecycle, SettersAreIgnoredWhileInitialisedAndWorkAfterDeinit) {
    host.bind();
    ASSERT_TRUE(sh_func_manager_init());
    sh_callback_set_logout(nullptr);
    sh_callback_set_postevent(nullptr);
    sh_callback_set_hal(nullptr, nullptr);
    sh_set_varkey_delay("Changed");
    sh_callback_set_mutex(nullptr, nullptr, nullptr, nullptr);
    Args args{3, 0};
    ASSERT_TRUE(sh_delay(9, args.argv(), args.argc(), nullptr));
    ASSERT_TRUE(sh_time_update(0));
    ASSERT_EQ(host.delayEvents(), (std::vector<Event>{{9, "DelayId", 3}}));
    EXPECT_TRUE(sh_func_manager_deinit());
    EXPECT_EQ(host.logs().back(), "sh_func_manager_deinit") << "the sink stayed set";

    // Deinit cleared everything: the same calls now take effect.
    sh_callback_set_logout(Host::cbLog);
    EXPECT_FALSE(sh_func_manager_init());
    EXPECT_EQ(host.logs().back(), "sysdep invalid");
}

TEST_F(Lifecycle, DeinitWithoutInitKeepsCallbacksAndNames) {
    host.bind();
    EXPECT_TRUE(sh_func_manager_deinit());
    EXPECT_EQ(host.logs(), std::vector<std::string>{"sh_func_manager_deinit"});
    EXPECT_TRUE(sh_func_manager_init()) << "callbacks and names are still set";
}

TEST_F(Lifecycle, DeinitCallsTheHostInOrder) {
    host.bind();
    ASSERT_TRUE(sh_func_manager_init());
    {
        Args a{1, 100}, b{2, 100};
        ASSERT_TRUE(sh_delay(5, a.argv(), a.argc(), nullptr));
        ASSERT_TRUE(sh_delay(5, b.argv(), b.argc(), nullptr));
    }
    host.clearTrace();
    const long postsBefore = host.posts();
    ASSERT_TRUE(sh_func_manager_deinit());
    const std::vector<std::string> expected = {"log:sh_func_manager_deinit",
                                               "lock",
                                               "free",
                                               "free", // the two pending delays
                                               "free",
                                               "free", // the queue's item array and the queue
                                               "unlock",
                                               "destroy",
                                               "free",
                                               "free",  // second-of-day name, then delay name
                                               "free"}; // the holiday schedule's block
    EXPECT_EQ(host.trace(), expected);
    EXPECT_EQ(host.posts(), postsBefore) << "teardown posts nothing";
    EXPECT_EQ(host.liveBlocks(), 0u);
    host.clearTrace();
    EXPECT_TRUE(sh_func_manager_deinit());
    EXPECT_TRUE(host.trace().empty()) << "the sink was cleared";
}

TEST_F(Lifecycle, SecondInitCreatesNothing) {
    host.bind();
    ASSERT_TRUE(sh_func_manager_init());
    const long allocations = host.allocations();
    EXPECT_TRUE(sh_func_manager_init());
    EXPECT_EQ(host.mutexesAlive(), 1);
    EXPECT_EQ(host.allocations(), allocations);
}

TEST_F(Lifecycle, FailedQueueAllocationLeavesThePlugInStopped) {
    host.bind();
    host.failAllocation(1); // the queue record
    EXPECT_FALSE(sh_func_manager_init());
    EXPECT_EQ(host.mutexesAlive(), 0);
    Args args{1, 1};
    EXPECT_FALSE(sh_delay(1, args.argv(), args.argc(), nullptr));
}

TEST_F(Lifecycle, FailedNameCopyLeavesTheNameUnset) {
    sh_callback_set_hal(Host::cbMalloc, Host::cbFree);
    host.failAllocation(1);
    sh_set_varkey_delay("DelayId");
    host.bind(); // sets the callbacks and both names again, successfully
    host.failAllocation(1);
    sh_set_varkey_timevalue("SecondOfDay");
    EXPECT_FALSE(sh_func_manager_init()) << "the failed copy left the name unset";
    EXPECT_EQ(host.logs().back(), NAMES_MISSING);
}

TEST_F(Lifecycle, VersionInEveryState) {
    EXPECT_STREQ(qo_sh_sys_version(), "4.01.00.03");
    host.bind();
    ASSERT_TRUE(sh_func_manager_init());
    EXPECT_STREQ(qo_sh_sys_version(), "4.01.00.03");
    sh_func_manager_deinit();
    EXPECT_STREQ(qo_sh_sys_version(), "4.01.00.03");
}

TEST_F(Lifecycle, NothingWorksWhileStopped) {
    Args two{1, 1}, one{1};
    const long allocations = host.allocations();
    qo_object out = nullptr;
    EXPECT_FALSE(sh_time_update(123456));
    EXPECT_FALSE(sh_delay(1, two.argv(), 2, &out));
    EXPECT_FALSE(sh_cancel_delay(1, one.argv(), 1, &out));
    EXPECT_FALSE(sh_func_manager_delay_task_delete(1));
    EXPECT_FALSE(sh_delay_restart(1, two.argv(), 2, &out));
    EXPECT_FALSE(sh_delay_remaining(1, one.argv(), 1, &out));
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(host.allocations(), allocations);
}

} // namespace

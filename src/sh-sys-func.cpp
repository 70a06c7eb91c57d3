// SPDX-License-Identifier: MIT
// Host binding, lifecycle, logging, delay tasks and the script natives.
//
// Exports (kelvo_sh_sys.h): the callback and name setters, init and deinit,
// the version, the tick, the per-VM drop, and the natives sh_delay,
// sh_cancel_delay, sh_time_range, sh_calendar, sh_week_day, sh_lunar_time
// and sh_get_second_of_day; and the plug-in's own natives sh_time_of_day,
// sh_lunar_day, sh_solar_term, sh_delay_restart and sh_delay_remaining.
// The holiday schedule (sh-sys-holiday.cpp) is started and stopped here.
// Everything else in this file is file-local.
#include "sh-sys-func.h"

#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "qolunar-convert.h"
#include "sh-sys-home.h"
#include "sh-sys-holiday.h"
#include "sh-sys-var.h"

namespace {

const char *const QO_SH_SYS_VERSION = "4.01.00.03";

ShModule gSHModule;
// Read without the lock by every operation; written only by init and deinit.
std::atomic<bool> gManagerInit{false};
void *gpShSysMutex;
qo_queue gpDelayTaskQueue;
char *gpDelayIdVarKey;
char *gpSecondOfDayVarKey;
// Stored before the tick locks and read unlocked by the conditions: one
// untorn 64-bit value.
std::atomic<uint64_t> gTimestamp{0};
int32_t gSecondOfDay; // guarded by gpShSysMutex

// The delays' clock, guarded by gpShSysMutex. The host's timestamps may step
// back (a corrected clock, the end of daylight saving time), so a delay does
// not measure timestamps: it measures how far the ticks have moved forward.
// gullElapsedMs only grows, by the forward part of each tick, and saturates
// instead of wrapping; every task is due at a point on this count.
uint64_t gullElapsedMs;
uint64_t gullLastTickMs; // the previous tick's timestamp
bool gbTickedSinceInit;  // the first tick after init adds nothing and always posts the second
// No pending task is due before this point. Kept exact by the tick's walk and
// lowered by every registration; cancel and drop may leave it early, which
// costs one walk that fires nothing.
uint64_t gullNextDueMs = UINT64_MAX;

const int LOG_LINE_SIZE = 128;

} // namespace

void sh_log_out(const char *format, ...) {
    if (gSHModule.pfnLogout == nullptr)
        return; // nothing is formatted without a sink
    char pBuf[LOG_LINE_SIZE];
    std::memset(pBuf, 0, sizeof(pBuf));
    if (format != nullptr) {
        va_list args;
        va_start(args, format);
        std::vsnprintf(pBuf, LOG_LINE_SIZE - 1, format, args);
        va_end(args);
    }
    gSHModule.pfnLogout(pBuf);
}

namespace {

// ---------------------------------------------------------------- helpers

char *sh_strdup(const char *text) {
    if (text == nullptr || gSHModule.pfnMalloc == nullptr)
        return nullptr;
    const size_t nSize = std::strlen(text) + 1;
    auto *pCopy = static_cast<char *>(gSHModule.pfnMalloc(nSize));
    if (pCopy != nullptr)
        std::memcpy(pCopy, text, nSize);
    return pCopy;
}

// Queue visitor data carry small integers in pointer-sized slots.
void *sh_int_to_data(int32_t iValue) {
    return reinterpret_cast<void *>(static_cast<intptr_t>(iValue));
}
void *sh_uint_to_data(uint32_t uValue) {
    return reinterpret_cast<void *>(static_cast<uintptr_t>(uValue));
}
int32_t sh_data_to_int(void *pData) {
    return static_cast<int32_t>(reinterpret_cast<intptr_t>(pData));
}
uint32_t sh_data_to_uint(void *pData) {
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(pData));
}

// ---------------------------------------------------------------- events

// Posts "varKey = iValue" into VM iVmId. Runs under the tick's lock. A post
// whose arrays or value cannot be made is not attempted and logged as failed.
bool sh_kelvo_wrapper_sendevent(uint32_t iVmId, const char *varKey, int32_t iValue) {
    int32_t iErrCode = 0;
    bool bResult = false;
    auto *ppNames = static_cast<const char **>(std::calloc(1, sizeof(const char *)));
    auto *pValues = static_cast<qo_object *>(std::calloc(1, sizeof(qo_object)));
    if (ppNames != nullptr && pValues != nullptr) {
        ppNames[0] = varKey;
        pValues[0] = qo_object_new_int32(iValue);
        if (pValues[0] != nullptr)
            bResult = gSHModule.pfnPostEvent(iVmId, ppNames, pValues, 1, false, &iErrCode);
    }
    if (!bResult) {
        sh_log_out("sh_kelvo_wrapper_sendevent fail! pTaskData->iVmId:%ud, varKey:%s, error:0x%#X",
                   iVmId, varKey, static_cast<unsigned>(iErrCode));
    }
    if (pValues != nullptr)
        qo_object_free(&pValues[0]);
    std::free(ppNames);
    std::free(pValues);
    return bResult;
}

// ---------------------------------------------------------------- delay tasks

void sh_delaytask_data_free(void *pItem) {
    if (pItem != nullptr)
        gSHModule.pfnFree(pItem);
}

bool sh_delaytask_data_free2(void *pItem) {
    sh_delaytask_data_free(pItem);
    return true;
}

// Empties and frees the queue under the lock; no events are posted.
void sh_delaytask_queue_free(qo_queue *ppQueue) {
    if (ppQueue == nullptr || *ppQueue == nullptr)
        return;
    sh_lock();
    qo_queue_foreach(*ppQueue, sh_delaytask_data_free2);
    qo_queue_free(ppQueue);
    sh_unlock();
}

struct DelayTaskKey {
    int32_t iDelayId;
    uint32_t iVmId;
};

bool sh_delay_task_find_ex_visit(void *pItem, void *pKey) {
    const auto *pTaskData = static_cast<const DelayTaskData *>(pItem);
    const auto *pstKey = static_cast<const DelayTaskKey *>(pKey);
    return pTaskData != nullptr && pTaskData->iDelayId == pstKey->iDelayId &&
           pTaskData->iVmId == pstKey->iVmId;
}

bool sh_cancel_delay_task_remove_all_visit(void *pItem, void *pDelayId, void *pVmId) {
    const auto *pTaskData = static_cast<const DelayTaskData *>(pItem);
    return pTaskData != nullptr && pTaskData->iDelayId == sh_data_to_int(pDelayId) &&
           pTaskData->iVmId == sh_data_to_uint(pVmId);
}

bool sh_delay_task_delete_remove_all_by_vm_visit(void *pItem, void *pVmId, void *) {
    const auto *pTaskData = static_cast<const DelayTaskData *>(pItem);
    return pTaskData != nullptr && pTaskData->iVmId == sh_data_to_uint(pVmId);
}

uint64_t sh_saturating_add(uint64_t ullA, uint64_t ullB) {
    return ullB > UINT64_MAX - ullA ? UINT64_MAX : ullA + ullB;
}

uint64_t sh_delay_task_due(const DelayTaskData *pTaskData) {
    return sh_saturating_add(pTaskData->ullStartTime, pTaskData->ullDelayMs);
}

// What the tick's walk carries: the clock to test against, and the earliest
// due point among the tasks that stay.
struct DelayTaskExpiry {
    uint64_t ullElapsedMs;
    uint64_t ullNextDueMs;
};

// Expired when the forward movement since the start reaches the length; the
// event goes out before the task is released, whatever the post answers.
bool sh_time_update_task_exec_remove_all_visit(void *pItem, void *pExpiry, void *) {
    const auto *pTaskData = static_cast<const DelayTaskData *>(pItem);
    if (pTaskData == nullptr)
        return false;
    auto *pstExpiry = static_cast<DelayTaskExpiry *>(pExpiry);
    const uint64_t ullDue = sh_delay_task_due(pTaskData);
    if (pstExpiry->ullElapsedMs < ullDue) {
        if (ullDue < pstExpiry->ullNextDueMs)
            pstExpiry->ullNextDueMs = ullDue;
        return false;
    }
    sh_kelvo_wrapper_sendevent(pTaskData->iVmId, gpDelayIdVarKey, pTaskData->iDelayId);
    return true;
}

// Moves the delays' clock by the forward part of this tick. Runs under the lock.
void sh_delay_clock_advance(uint64_t ullTimestamp) {
    if (gbTickedSinceInit && ullTimestamp > gullLastTickMs)
        gullElapsedMs = sh_saturating_add(gullElapsedMs, ullTimestamp - gullLastTickMs);
    gullLastTickMs = ullTimestamp;
    gbTickedSinceInit = true;
}

// Fires and releases every due task, in queue order. A tick at which nothing
// can be due returns without looking at the queue.
void sh_delay_tasks_expire() {
    if (gullElapsedMs < gullNextDueMs)
        return;
    DelayTaskExpiry stExpiry{gullElapsedMs, UINT64_MAX};
    qo_queue_remove_all(gpDelayTaskQueue, &stExpiry, nullptr,
                        sh_time_update_task_exec_remove_all_visit, sh_delaytask_data_free);
    gullNextDueMs = stExpiry.ullNextDueMs;
}

// Starts pTaskData now with the given length. Runs under the lock.
void sh_delay_task_arm(DelayTaskData *pTaskData, int32_t iSeconds) {
    // A negative length is a zero length: the task fires at the next tick.
    const int64_t llSeconds = iSeconds < 0 ? 0 : iSeconds;
    pTaskData->ullStartTime = gullElapsedMs;
    pTaskData->ullDelayMs = static_cast<uint64_t>(llSeconds) * 1000;
    const uint64_t ullDue = sh_delay_task_due(pTaskData);
    if (ullDue < gullNextDueMs)
        gullNextDueMs = ullDue;
}

// A new task for (vmId, iDelayId), appended at the back. Runs under the lock.
bool sh_delay_task_add(uint32_t vmId, int32_t iDelayId, int32_t iSeconds) {
    auto *pTaskData = static_cast<DelayTaskData *>(sh_calloc(1, sizeof(DelayTaskData)));
    if (pTaskData == nullptr)
        return false;
    pTaskData->iDelayId = iDelayId;
    pTaskData->iVmId = vmId;
    if (!qo_queue_push_back(gpDelayTaskQueue, pTaskData)) {
        sh_delaytask_data_free(pTaskData);
        return false;
    }
    sh_delay_task_arm(pTaskData, iSeconds);
    return true;
}

DelayTaskData *sh_delay_task_find(uint32_t vmId, int32_t iDelayId) {
    DelayTaskKey stKey{iDelayId, vmId};
    return static_cast<DelayTaskData *>(
        qo_queue_find_ex(gpDelayTaskQueue, &stKey, sh_delay_task_find_ex_visit));
}

// The id and length of a delay request, both int32; false for any other
// shape of call. VM 0 never owns a delay.
bool sh_delay_args(uint32_t vmId, qo_object *argv, int32_t argc, int32_t *piDelayId,
                   int32_t *piSeconds) {
    if (vmId == 0 || argv == nullptr || argc != 2)
        return false;
    bool paramOk = false;
    *piDelayId = qo_object_to_int32(argv[0], &paramOk);
    if (!paramOk)
        return false;
    *piSeconds = qo_object_to_int32(argv[1], &paramOk);
    return paramOk;
}

// The id of a cancel or a remaining request, one int32; false for any other
// shape of call.
bool sh_delay_id_arg(qo_object *argv, int32_t argc, int32_t *piDelayId) {
    bool paramOk = false;
    if (argv != nullptr && argc == 1)
        *piDelayId = qo_object_to_int32(argv[0], &paramOk);
    return paramOk;
}

// ---------------------------------------------------------------- natives

// sh_delay and sh_delay_restart: a new (vmId, id) is appended; a pending one
// stays as it was, or with bRestart starts again now with the new length, in
// place, so it keeps its turn among the events of a tick. True when the
// delay is pending afterwards.
bool sh_delay_request(uint32_t vmId, qo_object *argv, int32_t argc, bool bRestart) {
    if (!sh_is_init())
        return false;
    sh_lock();
    bool bResult = false;
    int32_t iDelayId = 0;
    int32_t iSeconds = 0;
    if (sh_delay_args(vmId, argv, argc, &iDelayId, &iSeconds)) {
        DelayTaskData *pTaskData = sh_delay_task_find(vmId, iDelayId);
        if (pTaskData == nullptr) {
            bResult = sh_delay_task_add(vmId, iDelayId, iSeconds);
        } else {
            if (bRestart)
                sh_delay_task_arm(pTaskData, iSeconds);
            bResult = true;
        }
    }
    sh_unlock();
    return bResult;
}

} // namespace

// ---------------------------------------------------------------- shared with the
// plug-in's other units (sh-sys-func.h)

void *sh_calloc(size_t count, size_t size) {
    if (gSHModule.pfnMalloc == nullptr)
        return nullptr;
    if (size != 0 && count > SIZE_MAX / size)
        return nullptr;
    void *pBlock = gSHModule.pfnMalloc(count * size);
    if (pBlock != nullptr)
        std::memset(pBlock, 0, count * size);
    return pBlock;
}

void sh_free(void *pBlock) {
    if (pBlock != nullptr && gSHModule.pfnFree != nullptr)
        gSHModule.pfnFree(pBlock);
}

void sh_lock() {
    gSHModule.pfnMutexLock(gpShSysMutex);
}
void sh_unlock() {
    gSHModule.pfnMutexUnlock(gpShSysMutex);
}

bool sh_is_init() {
    return gManagerInit.load(std::memory_order_acquire);
}

int32_t sh_arg(qo_object *argv, int i) {
    return qo_object_to_int32(argv[i], nullptr);
}

// Hands a native's result to the host. A result that could not be made
// answers false: the host gets no value it could mistake for one. A null
// out slot gets nothing written.
bool sh_answer(qo_object *out, qo_object pResult) {
    const bool bMade = pResult != nullptr;
    if (out != nullptr)
        *out = pResult;
    else
        qo_object_free(&pResult);
    return bMade;
}

bool sh_condition_answer(qo_object *out, bool bStatus, bool bOutcome) {
    return sh_answer(out, qo_object_new_bool(bOutcome)) && bStatus;
}

// One load of the clock, held to the calendar's range: past 2099 home time
// reads as its last second.
uint64_t sh_home_now_ms() {
    const uint64_t ullNowMs = sh_home_timestamp_ms();
    return ullNowMs > HOME_TIME_LAST_MS ? HOME_TIME_LAST_MS : ullNowMs;
}

SysRtc sh_home_time_at(uint64_t ullTimestamp) {
    SysRtc stSysRtc;
    std::memset(&stSysRtc, 0, sizeof(stSysRtc));
    qo_get_hometime(ullTimestamp, &stSysRtc);
    return stSysRtc;
}

SysRtc sh_home_now() {
    return sh_home_time_at(sh_home_timestamp_ms());
}

uint64_t sh_home_timestamp_ms() {
    return gTimestamp.load(std::memory_order_relaxed);
}

bool sh_arg_in(qo_object *argv, int i, int32_t iLow, int32_t iHigh, int32_t *piValue) {
    bool bOk = false;
    *piValue = qo_object_to_int32(argv[i], &bOk);
    return bOk && *piValue >= iLow && *piValue <= iHigh;
}

// ==================================================================== exports

extern "C" {

void sh_callback_set_hal(ShMallocFn pfnMalloc, ShFreeFn pfnFree) {
    if (sh_is_init())
        return;
    gSHModule.pfnMalloc = pfnMalloc;
    gSHModule.pfnFree = pfnFree;
}

void sh_callback_set_logout(ShLogoutFn pfnLogout) {
    if (sh_is_init())
        return;
    gSHModule.pfnLogout = pfnLogout;
}

void sh_callback_set_mutex(ShMutexCreateFn pfnMutexCreate, ShMutexLockFn pfnMutexLock,
                           ShMutexUnlockFn pfnMutexUnlock, ShMutexDestroyFn pfnMutexDestroy) {
    if (sh_is_init())
        return;
    gSHModule.pfnMutexCreate = pfnMutexCreate;
    gSHModule.pfnMutexLock = pfnMutexLock;
    gSHModule.pfnMutexUnlock = pfnMutexUnlock;
    gSHModule.pfnMutexDestroy = pfnMutexDestroy;
}

void sh_callback_set_postevent(ShPostEventFn pfnPostEvent) {
    if (sh_is_init())
        return;
    gSHModule.pfnPostEvent = pfnPostEvent;
}

} // extern "C"

namespace {

// A failed copy leaves the name unset, so init refuses to start without it.
void sh_set_varkey(char **ppVarKey, const char *name) {
    if (sh_is_init() || gSHModule.pfnMalloc == nullptr || gSHModule.pfnFree == nullptr)
        return;
    if (*ppVarKey != nullptr)
        gSHModule.pfnFree(*ppVarKey);
    *ppVarKey = nullptr;
    *ppVarKey = sh_strdup(name);
}

bool sh_sysdep_valid() {
    const ShModule &m = gSHModule;
    return m.pfnMalloc != nullptr && m.pfnFree != nullptr && m.pfnMutexCreate != nullptr &&
           m.pfnMutexLock != nullptr && m.pfnMutexUnlock != nullptr &&
           m.pfnMutexDestroy != nullptr && m.pfnPostEvent != nullptr;
}

} // namespace

extern "C" {

void sh_set_varkey_delay(const char *name) {
    sh_set_varkey(&gpDelayIdVarKey, name);
}

void sh_set_varkey_timevalue(const char *name) {
    sh_set_varkey(&gpSecondOfDayVarKey, name);
}

bool sh_func_manager_init(void) {
    if (sh_is_init())
        return true; // already running: nothing new is created
    if (!sh_sysdep_valid()) {
        sh_log_out("sysdep invalid");
        return false;
    }
    if (gpDelayIdVarKey == nullptr || gpSecondOfDayVarKey == nullptr) {
        sh_log_out("gpDelayIdVarKey == NULL || gpSecondOfDayVarKey == NULL");
        return false;
    }
    if (!gSHModule.pfnMutexCreate(&gpShSysMutex))
        return false;
    qo_lib_init_hooks(gSHModule.pfnMalloc, gSHModule.pfnFree);
    gpDelayTaskQueue = qo_queue_new();
    if (gpDelayTaskQueue == nullptr) {
        // Without a queue no operation could work: stay uninitialised.
        gSHModule.pfnMutexDestroy(&gpShSysMutex);
        return false;
    }
    // The built-in holiday schedule; a plug-in without it would answer the
    // holiday conditions wrongly, so a failed block stops the start.
    if (!sh_holiday_init()) {
        qo_queue_free(&gpDelayTaskQueue);
        gSHModule.pfnMutexDestroy(&gpShSysMutex);
        return false;
    }
    // A new life of the delays' clock; the queue starts empty.
    gullElapsedMs = 0;
    gullLastTickMs = 0;
    gbTickedSinceInit = false;
    gullNextDueMs = UINT64_MAX;
    gManagerInit.store(true, std::memory_order_release);
    return true;
}

bool sh_func_manager_deinit(void) {
    sh_log_out("sh_func_manager_deinit");
    if (!sh_is_init())
        return true;
    sh_delaytask_queue_free(&gpDelayTaskQueue);
    gSHModule.pfnMutexDestroy(&gpShSysMutex);
    if (gpSecondOfDayVarKey != nullptr)
        gSHModule.pfnFree(gpSecondOfDayVarKey);
    gpSecondOfDayVarKey = nullptr;
    if (gpDelayIdVarKey != nullptr)
        gSHModule.pfnFree(gpDelayIdVarKey);
    gpDelayIdVarKey = nullptr;
    // The home's place and zone go with everything else the host handed over.
    sh_home_drop();
    sh_holiday_deinit();
    gSHModule = ShModule{};
    gManagerInit.store(false, std::memory_order_release);
    return true;
}

const char *qo_sh_sys_version(void) {
    return QO_SH_SYS_VERSION;
}

bool sh_time_update(uint64_t timestamp) {
    if (!sh_is_init())
        return false;
    gTimestamp.store(timestamp, std::memory_order_relaxed);
    const auto iSecondOfDay = static_cast<int32_t>(timestamp / 1000 % 86400);
    sh_lock();
    // The first tick after init tells the scripts the second whatever it is:
    // they cannot know it from an earlier life of the plug-in.
    const bool bFirstTick = !gbTickedSinceInit;
    sh_delay_clock_advance(timestamp);
    if (bFirstTick || iSecondOfDay != gSecondOfDay) {
        gSecondOfDay = iSecondOfDay;
        sh_kelvo_wrapper_sendevent(0, gpSecondOfDayVarKey, iSecondOfDay);
    }
    sh_delay_tasks_expire();
    sh_unlock();
    return true;
}

bool sh_func_manager_delay_task_delete(uint32_t vmId) {
    if (!sh_is_init())
        return false;
    sh_lock();
    qo_queue_remove_all(gpDelayTaskQueue, sh_uint_to_data(vmId), nullptr,
                        sh_delay_task_delete_remove_all_by_vm_visit, sh_delaytask_data_free);
    sh_unlock();
    return true;
}

bool sh_delay(uint32_t vmId, qo_object *argv, int32_t argc, qo_object * /*out*/) {
    return sh_delay_request(vmId, argv, argc, false);
}

bool sh_cancel_delay(uint32_t vmId, qo_object *argv, int32_t argc, qo_object * /*out*/) {
    if (!sh_is_init())
        return false;
    sh_lock();
    int32_t iDelayId = 0;
    const bool paramOk = sh_delay_id_arg(argv, argc, &iDelayId);
    if (paramOk) {
        qo_queue_remove_all(gpDelayTaskQueue, sh_int_to_data(iDelayId), sh_uint_to_data(vmId),
                            sh_cancel_delay_task_remove_all_visit, sh_delaytask_data_free);
    }
    sh_unlock();
    return paramOk;
}

bool sh_time_range(uint32_t /*vmId*/, qo_object *argv, int32_t argc, qo_object *out) {
    if (!sh_is_init())
        return false;
    if (argv == nullptr || argc != 8)
        return sh_condition_answer(out, false, false);
    // One load of the clock for the whole answer. now is the decomposed
    // moment on the scale of the bounds: inside the calendar's range that
    // is the timestamp's own second, past it the last second the calendar
    // gives.
    const uint64_t ullNowMs = sh_home_now_ms();
    const SysRtc stSysRtc = sh_home_time_at(ullNowMs);
    const auto now = static_cast<int64_t>(ullNowMs / 1000);
    const int64_t start = qo_formate_time(&stSysRtc, sh_arg(argv, 0), sh_arg(argv, 1),
                                          sh_arg(argv, 2), sh_arg(argv, 3));
    const int64_t end = qo_formate_time(&stSysRtc, sh_arg(argv, 4), sh_arg(argv, 5),
                                        sh_arg(argv, 6), sh_arg(argv, 7));
    return sh_condition_answer(out, true, start <= now && now <= end);
}

bool sh_calendar(uint32_t /*vmId*/, qo_object *argv, int32_t argc, qo_object *out) {
    if (!sh_is_init())
        return false;
    if (argv == nullptr || argc != 3)
        return sh_condition_answer(out, false, false);
    const int32_t y = sh_arg(argv, 0);
    const int32_t m = sh_arg(argv, 1);
    const int32_t d = sh_arg(argv, 2);
    const SysRtc stSysRtc = sh_home_now();
    return sh_condition_answer(
        out, true, stSysRtc.ucYear == y && stSysRtc.ucMonth == m && stSysRtc.ucDay == d);
}

bool sh_week_day(uint32_t /*vmId*/, qo_object *argv, int32_t argc, qo_object *out) {
    if (!sh_is_init())
        return false;
    if (argv == nullptr || argc != 1)
        return sh_condition_answer(out, false, false);
    const auto uMask = static_cast<uint32_t>(sh_arg(argv, 0));
    const SysRtc stSysRtc = sh_home_now();
    return sh_condition_answer(out, true, ((1U << (stSysRtc.ucWeek - 1)) & uMask) != 0);
}

bool sh_lunar_time(uint32_t /*vmId*/, qo_object *argv, int32_t argc, qo_object *out) {
    if (!sh_is_init())
        return false;
    if (argv == nullptr || argc != 2)
        return sh_condition_answer(out, false, false);
    const int32_t m = sh_arg(argv, 0);
    const int32_t d = sh_arg(argv, 1);
    const SysRtc stSysRtc = sh_home_now();
    LunarDate stLunar;
    std::memset(&stLunar, 0, sizeof(stLunar));
    const bool bConverted = qo_solar_to_lunar(static_cast<uint16_t>(stSysRtc.ucYear + 2000),
                                              stSysRtc.ucMonth, stSysRtc.ucDay, &stLunar);
    return sh_condition_answer(out, true, bConverted && stLunar.ucMonth == m && stLunar.ucDay == d);
}

bool sh_get_second_of_day(uint32_t /*vmId*/, qo_object * /*argv*/, int32_t /*argc*/,
                          qo_object *out) {
    if (!sh_is_init())
        return false;
    const uint64_t ullTimestamp = sh_home_timestamp_ms();
    return sh_answer(out, qo_object_new_int32(static_cast<int32_t>(ullTimestamp / 1000 % 86400)));
}

// ---------------------------------------------------------------- timer controls
// This plug-in's own additions to the standard natives.

bool sh_delay_restart(uint32_t vmId, qo_object *argv, int32_t argc, qo_object * /*out*/) {
    return sh_delay_request(vmId, argv, argc, true);
}

bool sh_delay_remaining(uint32_t vmId, qo_object *argv, int32_t argc, qo_object *out) {
    if (!sh_is_init())
        return false;
    int32_t iDelayId = 0;
    if (!sh_delay_id_arg(argv, argc, &iDelayId))
        return sh_condition_answer(out, false, false);
    int32_t iRemaining = -1;
    sh_lock();
    const DelayTaskData *pTaskData = sh_delay_task_find(vmId, iDelayId);
    if (pTaskData != nullptr) {
        const uint64_t ullDue = sh_delay_task_due(pTaskData);
        const uint64_t ullLeftMs = ullDue > gullElapsedMs ? ullDue - gullElapsedMs : 0;
        // At most the length, so it fits: whole seconds, rounded up.
        iRemaining = static_cast<int32_t>(ullLeftMs / 1000 + (ullLeftMs % 1000 != 0));
    }
    sh_unlock();
    // The value is made outside the lock: the host's allocator need not wait.
    return sh_answer(out, qo_object_new_int32(iRemaining));
}

} // extern "C"

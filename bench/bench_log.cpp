// SPDX-License-Identifier: MIT
// The logger, with and without a sink.
#include <benchmark/benchmark.h>

#include "ratio_main.h"
#include "sh-sys-func.h"

namespace {

const char *const FAIL_FORMAT =
    "sh_kelvo_wrapper_sendevent fail! pTaskData->iVmId:%ud, varKey:%s, error:0x%#X";

char gLast;
void sink(const char *line) {
    gLast = line[0];
}

void logLoop(benchmark::State &state, ShLogoutFn pfnSink) {
    sh_callback_set_logout(pfnSink);
    uint32_t vm = 0;
    for (auto _ : state)
        sh_log_out(FAIL_FORMAT, ++vm, "DelayId", 0x22u);
    sh_callback_set_logout(nullptr);
    benchmark::DoNotOptimize(gLast);
}

void BM_LogNoSink(benchmark::State &state) {
    logLoop(state, nullptr);
}
BENCHMARK(BM_LogNoSink);
void BM_LogWithSink(benchmark::State &state) {
    logLoop(state, sink);
}
BENCHMARK(BM_LogWithSink);

// The floor: a call that does nothing.
__attribute__((noinline)) void nothing(const char *, ...) {
    benchmark::ClobberMemory();
}
void BM_EmptyCall(benchmark::State &state) {
    uint32_t vm = 0;
    for (auto _ : state)
        nothing(FAIL_FORMAT, ++vm, "DelayId", 0x22u);
}
BENCHMARK(BM_EmptyCall);

} // namespace

KBENCH_MAIN({"BM_LogNoSink", "BM_EmptyCall"}, {"BM_LogWithSink", "BM_LogNoSink"})

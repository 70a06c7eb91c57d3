// SPDX-License-Identifier: MIT
#include "console.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <ctime>

#if defined(_WIN32)
#include <io.h>
#include <windows.h>
#else
#include <poll.h>
#include <signal.h>
#include <unistd.h>
#endif

namespace shhost {

namespace {

std::atomic<int> gStop{0}; // the signal that asked to stop, 0 for none

int64_t wallClockMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

} // namespace

bool stopRequested() {
    return gStop.load() != 0;
}

int stopSignal() {
    return gStop.load();
}

bool stdoutIsTerminal() {
#if defined(_WIN32)
    return _isatty(_fileno(stdout)) != 0;
#else
    return isatty(fileno(stdout)) != 0;
#endif
}

#if defined(_WIN32)

namespace {

BOOL WINAPI onConsoleEvent(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT)
        return FALSE;
    gStop = event == CTRL_C_EVENT ? SIGINT : SIGTERM; // as a POSIX shell would see it
    return TRUE; // handled: the main loop shuts the plug-in down
}

// Console and pipe input both block in ReadFile, so one thread reads and the
// main loop waits on what it delivers, with a time limit.
struct InputPump {
    CRITICAL_SECTION lock;
    CONDITION_VARIABLE arrived;
    std::string buffered;
    bool closed = false;
};

DWORD WINAPI pumpInput(void *arg) {
    auto *pump = static_cast<InputPump *>(arg);
    const HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    for (;;) {
        char buf[512];
        DWORD n = 0;
        const BOOL ok = ReadFile(in, buf, sizeof buf, &n, nullptr);
        EnterCriticalSection(&pump->lock);
        if (!ok || n == 0)
            pump->closed = true;
        else
            pump->buffered.append(buf, n);
        LeaveCriticalSection(&pump->lock);
        WakeAllConditionVariable(&pump->arrived);
        if (!ok || n == 0)
            return 0;
    }
}

// Started on first use and left to the end of the process: the thread may
// sit in ReadFile for as long as the program runs.
InputPump &inputPump() {
    static InputPump *pump = [] {
        auto *p = new InputPump;
        InitializeCriticalSection(&p->lock);
        InitializeConditionVariable(&p->arrived);
        const HANDLE thread = CreateThread(nullptr, 0, pumpInput, p, 0, nullptr);
        if (thread == nullptr)
            p->closed = true;
        else
            CloseHandle(thread);
        return p;
    }();
    return *pump;
}

} // namespace

int64_t localHomeMs() {
    const int64_t now = wallClockMs();
    const time_t t = static_cast<time_t>(now / 1000);
    struct tm local {};
    localtime_s(&local, &t);
    const int64_t offset = static_cast<int64_t>(_mkgmtime(&local)) - static_cast<int64_t>(t);
    return now + offset * 1000;
}

void installStopHandler() {
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

InputReader::Result InputReader::wait(int timeoutMs, std::string &out) {
    if (closed_) {
        Sleep(static_cast<DWORD>(timeoutMs));
        return Result::Timeout;
    }
    InputPump &pump = inputPump();
    EnterCriticalSection(&pump.lock);
    if (pump.buffered.empty() && !pump.closed)
        SleepConditionVariableCS(&pump.arrived, &pump.lock, static_cast<DWORD>(timeoutMs));
    Result result = Result::Timeout;
    if (!pump.buffered.empty()) {
        // A console types CR LF; the line reader wants LF alone.
        for (const char c : pump.buffered)
            if (c != '\r')
                out += c;
        pump.buffered.clear();
        result = Result::Data;
    } else if (pump.closed) {
        closed_ = true;
        result = Result::Closed;
    }
    LeaveCriticalSection(&pump.lock);
    return result;
}

#else

namespace {

void onSignal(int signal) {
    gStop = signal;
}

} // namespace

int64_t localHomeMs() {
    const int64_t now = wallClockMs();
    const time_t t = static_cast<time_t>(now / 1000);
    struct tm local {};
    localtime_r(&t, &local);
    return now + static_cast<int64_t>(local.tm_gmtoff) * 1000;
}

void installStopHandler() {
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigaction(SIGINT, &sa, nullptr); // no SA_RESTART: poll wakes up
    sigaction(SIGTERM, &sa, nullptr);
}

InputReader::Result InputReader::wait(int timeoutMs, std::string &out) {
    if (closed_) {
        poll(nullptr, 0, timeoutMs); // a signal ends the wait too
        return Result::Timeout;
    }
    pollfd in{STDIN_FILENO, POLLIN, 0};
    const int ready = poll(&in, 1, timeoutMs);
    if (ready <= 0 || !(in.revents & (POLLIN | POLLHUP)))
        return Result::Timeout;
    char buf[512];
    const ssize_t n = read(STDIN_FILENO, buf, sizeof buf);
    if (n <= 0) {
        closed_ = true;
        return Result::Closed;
    }
    out.append(buf, static_cast<size_t>(n));
    return Result::Data;
}

#endif

} // namespace shhost

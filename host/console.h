// SPDX-License-Identifier: MIT
// What --realtime needs from the platform, kept apart from the mode itself:
// the local clock, a stop request from Ctrl-C, and standard input read with
// a time limit.
#pragma once

#include <cstdint>
#include <string>

namespace shhost {

// This machine's local wall-clock time as home-time milliseconds: the
// milliseconds since 1970 of the local date and time, read as if UTC.
int64_t localHomeMs();

// After this, Ctrl-C (and SIGTERM, or closing the console on Windows) asks
// the program to stop instead of ending it.
void installStopHandler();
bool stopRequested();
// The signal that asked to stop (SIGINT for Ctrl-C), or 0.
int stopSignal();

bool stdoutIsTerminal();

class InputReader {
  public:
    enum class Result { Data, Timeout, Closed };
    // Waits up to timeoutMs for standard input and appends what arrived to
    // out. Once Closed, later calls just wait out the time. A stop request
    // may end the wait early.
    Result wait(int timeoutMs, std::string &out);

  private:
    bool closed_ = false;
};

} // namespace shhost

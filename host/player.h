// SPDX-License-Identifier: MIT
// Plays scenario commands against a loaded plug-in and prints the timeline.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "plugin.h"
#include "scenario.h"
#include "services.h"
#include "when.h"

namespace shhost {

struct PlayerOptions {
    bool verbose = false; // show second-of-day events
    bool quiet = false;   // only failed expectations and the summary
    std::string delayVar = "DelayId";
    std::string secondVar = "SecondOfDay";
};

class Player {
  public:
    Player(const PluginApi &api, PlayerOptions options, FILE *out);

    // Hands the services and names over, initialises the plug-in and hands
    // it the home's place and zone when given.
    bool begin(std::string &error, const HomeSettings &home = {});
    // Runs every command; false when an expectation failed.
    bool play(const Scenario &scenario);
    // One command; file names the source in failure messages.
    void execute(const Command &c, const std::string &file);
    // One tick at home time ms, printing the events it brings.
    void tickAt(int64_t ms);
    // Deinit and the summary; the exit status (0, or 1 for failed
    // expectations or leaked host blocks).
    int finish();

    int64_t now() const { return now_; }
    long failedChecks() const { return checksFailed_; }
    // A holiday schedule could not be loaded: the scenario stopped there
    // (exit status 2).
    bool stopped() const { return stopped_; }

  private:
    // A delay as the plug-in counts it: due when the forward movement of
    // the ticks reaches dueForward (a step back does not count).
    struct Pending {
        uint32_t vm;
        int32_t id;
        int64_t dueForward;
    };

    void line(const std::string &command, const std::string &result);
    void printEvents();
    void runCheck(const Command &c, const std::string &file);
    void show();
    void setHome(const Command &c);
    std::string sunToday() const;
    void holidays(const Command &c, const std::string &file);
    void restart(const Command &c);
    void remaining(const Command &c, const std::string &file);
    // Counts a check and prints its line, and a failure when it has an
    // expectation that was not met.
    void report(const Command &c, const std::string &file, std::string result, bool met,
                const std::string &got, const std::string &want);
    void forget(uint32_t vm, int32_t id);
    // Registers or restarts (vm, id) with a length in seconds and answers
    // when it fires if the clock runs straight from now.
    std::string expect(uint32_t vm, int32_t id, int64_t seconds, bool restart);

    const PluginApi &api_;
    PlayerOptions options_;
    FILE *out_;
    int64_t now_ = 0;
    int64_t forward_ = 0; // forward movement of the ticks since the first
    bool ticked_ = false;
    std::vector<Pending> pending_; // what the host asked for, in order
    long ticks_ = 0;
    long delayEvents_ = 0;
    long secondEvents_ = 0;
    long checks_ = 0;
    long checksFailed_ = 0;
    // What the plug-in accepted, for show.
    HomeSettings home_;
    bool stopped_ = false;
};

} // namespace shhost

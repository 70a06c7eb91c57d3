// SPDX-License-Identifier: MIT
// sh-sys-host: loads the kelvo-sh-sys plug-in as a kelvo host does and plays
// scenarios against it, in simulated or in real time.
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "console.h"
#include "default_scenario.h"
#include "player.h"
#include "plugin.h"
#include "scenario.h"

using namespace shhost;

namespace {

const char *const HELP = R"(NAME
    sh-sys-host - reference host and scenario player for the kelvo-sh-sys plug-in

SYNOPSIS
    sh-sys-host [OPTIONS] [SCENARIO | -]
    sh-sys-host [OPTIONS] --realtime [--for DURATION]

DESCRIPTION
    Loads libkelvo-sh-sys with dlopen, resolves its exported names, hands it
    a counting allocator, a log sink, a mutex and event delivery, names the
    two event variables, initialises it and plays a scenario: a list of
    commands at simulated home times. Without a SCENARIO it plays a built-in
    story; '-' reads the scenario from standard input. Every command prints
    one timeline line with the home time; every delay event prints as it
    arrives. At the end the plug-in is deinitialised and the host reports
    leaked host blocks (there must be none) and the counts of events.

OPTIONS
    --plugin PATH     the plug-in to load (default: the library built beside
                      this program, then the installed one, then the
                      loader's search path)
    --delay-var NAME  variable that delay events assign (default DelayId)
    --second-var NAME variable that second-of-day events assign
                      (default SecondOfDay)
    --verbose         also print every second-of-day event
    --realtime        tick from this machine's local clock every 100 ms;
                      read commands (check, delay, cancel, drop, show) from
                      standard input; stop at the end of --for or on Ctrl-C
    --for DURATION    how long --realtime runs (default: until Ctrl-C)
    --help            this text

SCENARIO LANGUAGE
    One command a line; '#' starts a comment; a line starting with '##' is
    narration, printed when reached. Times are home time
    YYYY-MM-DD HH:MM:SS[.mmm] (1970..2099); durations are a number and a
    unit, 500ms 10s 2m 1h 1d, or sums such as 1h30m.

    start <time>                      set the clock and tick once
    delay <vm> <id> <seconds>         sh_delay for VM vm
    cancel <vm> <id>                  sh_cancel_delay
    drop <vm>                         sh_func_manager_delay_task_delete
    advance <duration> [every <duration>]
                                      tick forward, every 1s by default
    tick <time> | +<duration> | -<duration>
                                      one tick at that moment (backwards too)
    check time_range <y m d s  y m d s> [expect true|false]
    check calendar <y> <m> <d> [expect true|false]
    check week_day <mask> [expect true|false]   (decimal or 0x hex)
    check lunar <month> <day> [expect true|false]
    check second_of_day [expect <n>]
    show                              home time, weekday, lunar date, second
                                      of day and the delays still pending

    Script encodings: years count from 2000 (24 is 2024), a second of day
    counts from midnight (8:30 is 30600), -1 as a year, month or day of
    time_range means today's, the weekday mask has bit 0 for Monday up to
    bit 6 for Sunday (0x1F weekdays, 0x60 weekend).

EXIT STATUS
    0  every expectation held and no host block leaked
    1  an expectation failed (FILE:LINE: expected ... got ...), or host
       blocks leaked
    2  bad usage, a syntax error in the scenario (FILE:LINE: message,
       nothing runs), or a plug-in that cannot be loaded or lacks a symbol

EXAMPLES
    sh-sys-host
    sh-sys-host examples/office-hours.scn
    printf 'start 2024-06-01 12:00:00\ncheck week_day 0x60 expect true\n' | sh-sys-host -
    sh-sys-host --realtime --for 10s
)";

struct Options {
    std::string plugin;
    std::string scenario; // empty: the default
    bool realtime = false;
    int64_t forMs = -1;
    PlayerOptions player;
};

int usage(const std::string &message) {
    std::fprintf(stderr, "sh-sys-host: %s\n(see sh-sys-host --help)\n", message.c_str());
    return 2;
}

// Returns -1 to go on, or an exit status.
int parseArgs(int argc, char **argv, Options &o) {
    bool haveScenario = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&](std::string &out) {
            if (i + 1 >= argc)
                return false;
            out = argv[++i];
            return true;
        };
        std::string v;
        if (a == "--help" || a == "-h") {
            std::fputs(HELP, stdout);
            return 0;
        } else if (a == "--plugin") {
            if (!value(o.plugin))
                return usage("--plugin needs a path");
        } else if (a == "--delay-var") {
            if (!value(o.player.delayVar) || o.player.delayVar.empty())
                return usage("--delay-var needs a name");
        } else if (a == "--second-var") {
            if (!value(o.player.secondVar) || o.player.secondVar.empty())
                return usage("--second-var needs a name");
        } else if (a == "--verbose" || a == "-v") {
            o.player.verbose = true;
        } else if (a == "--realtime") {
            o.realtime = true;
        } else if (a == "--for") {
            const auto d = value(v) ? parseDuration(v) : std::nullopt;
            if (!d)
                return usage("--for needs a duration such as 10s or 2m");
            o.forMs = *d;
        } else if (a.size() > 1 && a[0] == '-' && a != "-") {
            return usage("unknown option '" + a + "'");
        } else if (haveScenario) {
            return usage("one scenario at a time");
        } else {
            o.scenario = a;
            haveScenario = true;
        }
    }
    if (o.forMs >= 0 && !o.realtime)
        return usage("--for goes with --realtime");
    if (o.realtime && haveScenario)
        return usage("--realtime reads its commands from standard input, not from a scenario");
    return -1;
}

bool readScenario(const Options &o, std::string &text, std::string &name) {
    if (o.scenario.empty()) {
        text = DEFAULT_SCENARIO;
        name = "<default>";
        return true;
    }
    std::stringstream buffer;
    if (o.scenario == "-") {
        buffer << std::cin.rdbuf();
        name = "<stdin>";
    } else {
        std::ifstream in(o.scenario);
        if (!in)
            return false;
        buffer << in.rdbuf();
        name = o.scenario;
    }
    text = buffer.str();
    return true;
}

int runRealtime(Player &player, const Options &o) {
    installStopHandler();
    const auto begin = std::chrono::steady_clock::now();
    player.tickAt(localHomeMs());
    std::printf("%s  realtime: ticking every 100 ms; type commands, Ctrl-C to stop\n",
                formatHomeTime(player.now()).c_str());
    std::fflush(stdout);
    InputReader input;
    std::string pending;
    int lineNumber = 0;
    auto nextTick = begin + std::chrono::milliseconds(100);
    while (!stopRequested()) {
        const auto now = std::chrono::steady_clock::now();
        if (o.forMs >= 0 && now - begin >= std::chrono::milliseconds(o.forMs))
            break;
        if (now >= nextTick) {
            player.tickAt(localHomeMs());
            nextTick += std::chrono::milliseconds(100);
            std::fflush(stdout);
            continue;
        }
        const int wait = static_cast<int>(
            std::chrono::duration_cast<std::chrono::milliseconds>(nextTick - now).count());
        if (input.wait(wait, pending) != InputReader::Result::Data)
            continue;
        size_t nl;
        while ((nl = pending.find('\n')) != std::string::npos) {
            const std::string lineText = pending.substr(0, nl);
            pending.erase(0, nl + 1);
            Diagnostic error{0, {}};
            const auto c = parseLine(lineText, ++lineNumber, error);
            if (!c) {
                if (!error.message.empty())
                    std::printf("<stdin>:%d: %s\n", error.line, error.message.c_str());
            } else if (c->op == Op::Start || c->op == Op::Tick || c->op == Op::Advance) {
                std::printf("<stdin>:%d: the clock is this machine's in --realtime\n", c->line);
            } else {
                player.execute(*c, "<stdin>");
            }
            std::fflush(stdout);
        }
    }
    if (stopRequested())
        std::printf("%s  interrupted: shutting the plug-in down\n",
                    formatHomeTime(player.now()).c_str());
    return 0;
}

} // namespace

int main(int argc, char **argv) {
    Options o;
    if (const int status = parseArgs(argc, argv, o); status >= 0)
        return status;

    Scenario scenario;
    if (!o.realtime) {
        std::string text, name;
        if (!readScenario(o, text, name))
            return usage("cannot read scenario '" + o.scenario + "': " + std::strerror(errno));
        scenario = parseScenario(text, name);
        if (!scenario.errors.empty()) {
            for (const Diagnostic &d : scenario.errors)
                std::fprintf(stderr, "%s:%d: %s\n", scenario.name.c_str(), d.line,
                             d.message.c_str());
            return 2;
        }
    }

    Plugin plugin;
    std::string error;
    if (!plugin.load(o.plugin, error)) {
        std::fprintf(stderr, "sh-sys-host: %s\n", error.c_str());
        return 2;
    }
    std::printf("sh-sys-host: kelvo-sh-sys %s from %s\n", plugin.api().version(),
                plugin.path().c_str());
    if (!o.realtime)
        std::printf("scenario: %s\n", scenario.name.c_str());

    Player player(plugin.api(), o.player, stdout);
    if (!player.begin(error)) {
        std::fprintf(stderr, "sh-sys-host: %s\n", error.c_str());
        player.finish();
        return 2;
    }
    if (o.realtime)
        runRealtime(player, o);
    else
        player.play(scenario);
    return player.finish();
}

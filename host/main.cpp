// SPDX-License-Identifier: MIT
// sh-sys-host: loads the kelvo-sh-sys plug-in as a kelvo host does and plays
// scenarios against it, in simulated or in real time.
#include <CLI/CLI.hpp>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "calendar.h"
#include "checks.h"
#include "console.h"
#include "default_scenario.h"
#include "holidays.h"
#include "player.h"
#include "plugin.h"
#include "scenario.h"
#include "when.h"

using namespace shhost;

namespace {

const char *const HELP = R"(NAME
    sh-sys-host - reference host and scenario player for the kelvo-sh-sys plug-in

SYNOPSIS
    sh-sys-host [OPTIONS] [SCENARIO | -]
    sh-sys-host [OPTIONS] --realtime [--for DURATION]
    sh-sys-host [OPTIONS] when CHECK --from TIME --to TIME
    sh-sys-host [OPTIONS] calendar CHECK --year YEAR [--svg FILE] [--color WHEN]
    sh-sys-host --version | --help

DESCRIPTION
    Loads libkelvo-sh-sys, resolves its exported names, hands it a counting
    allocator, a log sink, a mutex and event delivery, names the two event
    variables, initialises it and plays a scenario: a list of commands at
    simulated home times. Without a SCENARIO it plays a built-in story; '-'
    reads the scenario from standard input. Every command prints one
    timeline line with the home time; every delay event prints as it
    arrives. At the end the plug-in is deinitialised and the host reports
    leaked host blocks (there must be none) and the counts of events.

    'when' lists every interval of home time from --from to --to (both
    included) in which a condition holds, exact to the second, and their
    total. 'calendar' prints a year as twelve month grids, as cal -y does,
    marking each day on which the condition holds at some moment. Both run
    the plug-in on a clock of their own, with no delays pending, and ask it
    only at the moments where the answer can change: at midnight, and for
    time_range and time_of_day also at their bounds. The sun conditions
    change with the sun: they are asked every minute and, where the answer
    changed, bisected to the second (a year takes well under a second); a
    change less than a minute after the one before can be missed.

OPTIONS
    --plugin PATH     the plug-in to load (default: the library built beside
                      this program, then the installed one, then the
                      loader's search path)
    --delay-var NAME  variable that delay events assign (default DelayId)
    --second-var NAME variable that second-of-day events assign
                      (default SecondOfDay)
    --location LAT,LON
                      the home's place for the sun conditions, degrees
                      north and east (39.9042,116.4074 is Beijing), handed
                      to sh_set_home_location after init
    --zone TZ         the home's zone for the sun conditions, a POSIX TZ
                      string such as CST-8 or CET-1CEST,M3.5.0,M10.5.0/3,
                      handed to sh_set_home_zone after init
    -v, --verbose     also print every second-of-day event
    -q, --quiet       print only failed expectations and the summary
    --realtime        tick from this machine's local clock every 100 ms;
                      read commands (check, delay, restart, remaining,
                      cancel, drop, show) from standard input; stop at the
                      end of --for or on Ctrl-C (exit status 130)
    --for DURATION    how long --realtime runs (default: until Ctrl-C)
    --holidays FILE   load a holiday schedule (the format of the plug-in's
                      holidays-cn.txt) after init, adding or replacing its
                      years; a fault is told as FILE:LINE: what (exit
                      status 2). Scenarios, when and calendar alike
    --version         the versions of this program and of the plug-in
    -h, --help        this text

    when and calendar:
    CHECK             a condition as 'check' takes it, without 'expect',
                      best quoted as one argument: 'lunar 8 15'
    --from TIME       first moment, YYYY-MM-DD[ HH:MM:SS] (a date alone is
                      its first second)
    --to TIME         last moment, included (a date alone is its last second)
    --year YEAR       the year to show, 1970..2099
    --svg FILE        also write the year as an SVG picture: title, legend,
                      weekday headings, held days filled
    --color WHEN      auto (default), always or never: held days in bold
                      reverse video; auto means when standard output is a
                      terminal and NO_COLOR is not set, else a '*' marks them

SCENARIO LANGUAGE
    One command a line; '#' starts a comment; a line starting with '##' is
    narration, printed when reached. The first command is 'start'. Times
    are home time YYYY-MM-DD HH:MM:SS[.mmm] (1970..2099); no command may
    take the clock outside those years. Durations are a number and a unit,
    500ms 10s 2m 1h 1d, or sums such as 1h30m, at most 47482d. A file is
    UTF-8; a byte-order mark at its start is skipped.

    start <time>                      set the clock and tick once
    delay <vm> <id> <seconds>         sh_delay for VM vm
    restart <vm> <id> <seconds>       sh_delay_restart: as delay, but a
                                      pending delay starts again now
    remaining <vm> <id> [expect <n>]  sh_delay_remaining: whole seconds
                                      until it fires, -1 when none pending
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
    check time_of_day <start> <end> [expect true|false]
    check lunar_day <month> <day> <leap> [expect true|false]
    check solar_term <term> [expect true|false]
    check sun_window <from> <offset> <to> <offset> [expect true|false]
    check sun_elevation <low> <high> [expect true|false]
    check workday <days ahead> [expect true|false]
    check holiday <holiday> <days ahead> [expect true|false]
    check second_of_day [expect <n>]
    location <latitude>,<longitude>   sh_set_home_location: the home's place
    zone <TZ>                         sh_set_home_zone: the home's zone
    holidays <file>                   sh_holiday_schedule_load with the
                                      file (relative to the scenario's
                                      folder); a fault stops the scenario
                                      with FILE:LINE: what (exit status 2)
    show                              home time, weekday, lunar date, second
                                      of day, working day or day off and the
                                      holiday break, today's sunrise and
                                      sunset (once a place and a zone are
                                      set) and the delays still pending

    Script encodings: years count from 2000 (24 is 2024), a second of day
    counts from midnight (8:30 is 30600), -1 as a year, month or day of
    time_range means today's, the weekday mask has bit 0 for Monday up to
    bit 6 for Sunday (0x1F weekdays, 0x60 weekend). time_of_day holds from
    start up to but not including end, over midnight when start > end
    (79200 21600 is 22:00 to 06:00; 86400 is the midnight ending the day).
    lunar_day takes -1 as the day for the last day of the month, and as
    leap 0 for the ordinary month, 1 for the leap month, -1 for either
    (12 -1 0 is New Year's Eve). solar_term takes 1 (Start of Spring) to
    24 (Major Cold), 5 being Clear and Bright, or 0 for any term.
    sun_window holds from an event of the sun plus an offset in seconds to
    the next other one plus its offset; events are 1 sunrise, 2 sunset,
    3 civil dawn, 4 civil dusk, 5 solar noon, offsets -43200..43200
    (2 1800 1 0 is half an hour after sunset until sunrise). sun_elevation
    holds while the sun's elevation lies in [low, high], in tenths of a
    degree, -900..900 (-60 900 is the sun above -6 degrees). Both need a
    place and a zone (location and zone, or --location and --zone);
    without them they answer false.
    workday and holiday ask about the home date days ahead, -7..7 (0
    today, 1 tomorrow), by the holiday schedule of mainland China (built
    in for 2004..2026): workday holds Monday to Friday unless the schedule
    gives the day off, and on the Saturdays and Sundays it makes working
    days; holiday holds in the whole break of a holiday, weekends included:
    1 New Year's Day, 2 Spring Festival, 3 Qingming, 4 Labour Day, 5 Dragon
    Boat, 6 Mid-Autumn, 7 National Day, 8 any other day off, 0 any. Their
    calendars mark the worked Saturdays and Sundays (w, 班) and the
    weekdays off (o, 休); an upper-case letter where the condition holds.
    time_of_day, lunar_day, solar_term, the sun conditions, workday,
    holiday, location, zone, holidays, restart and remaining need a plug-in
    that provides them; with an older
    one the scenario is refused.

EXIT STATUS
    0    every expectation held and no host block leaked
    1    an expectation failed (FILE:LINE: expected ... got ...), or host
         blocks leaked
    2    bad usage, a scenario that is not a readable file, a syntax error
         in the scenario (FILE:LINE: message, nothing runs; the first ten
         are shown and the rest counted), a plug-in that cannot be loaded
         or lacks a symbol the scenario needs, or a holiday schedule it
         refuses (FILE:LINE: message)
    130  --realtime ended by Ctrl-C

EXAMPLES
    sh-sys-host
    sh-sys-host examples/office-hours.scn
    printf 'start 2024-06-01 12:00:00\ncheck week_day 0x60 expect true\n' | sh-sys-host -
    sh-sys-host --realtime --for 10s
    sh-sys-host when 'lunar 8 15' --from 2024-01-01 --to 2030-12-31
    sh-sys-host calendar 'week_day 0x60' --year 2025 --svg weekends.svg
    sh-sys-host --location 39.9042,116.4074 --zone CST-8 \
        when 'sun_window 2 0 1 0' --from 2024-06-01 --to 2024-06-03
    sh-sys-host calendar 'workday 0' --year 2025
    sh-sys-host --holidays my-holidays.txt when 'holiday 2 0' --from 2027-01-01 --to 2027-12-31
)";

struct Options {
    std::string plugin;
    std::string scenario; // empty: the default
    bool realtime = false;
    std::string forText;
    int64_t forMs = -1;
    bool version = false;
    PlayerOptions player;
    // when and calendar
    std::vector<std::string> check;
    std::string from, to;
    int year = 0;
    std::string svg;
    std::string color = "auto";
    // the home's place and zone
    std::string location;
    HomeSettings home;
    std::string holidays; // a schedule file loaded after init
};

int usage(const std::string &message) {
    std::fprintf(stderr, "sh-sys-host: %s\n(see sh-sys-host --help)\n", message.c_str());
    return 2;
}

int failure(const std::string &message) {
    std::fprintf(stderr, "sh-sys-host: %s\n", message.c_str());
    return 2;
}

std::string joined(const std::vector<std::string> &words) {
    std::string text;
    for (const std::string &w : words)
        text += (text.empty() ? "" : " ") + w;
    return text;
}

bool readScenario(const Options &o, std::string &text, std::string &name, std::string &error) {
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
        const std::string shown = "'" + quoteBytes(o.scenario) + "'";
        std::error_code ec;
        const auto status = std::filesystem::status(o.scenario, ec);
        if (ec || !std::filesystem::exists(status)) {
            error = "cannot read scenario " + shown + ": no such file";
            return false;
        }
        if (std::filesystem::is_directory(status)) {
            error = "cannot read scenario " + shown + ": it is a directory";
            return false;
        }
        if (!std::filesystem::is_regular_file(status)) {
            error = "cannot read scenario " + shown + ": not a regular file";
            return false;
        }
        std::ifstream in(o.scenario, std::ios::binary);
        if (!in) {
            error = "cannot read scenario " + shown + ": " + std::strerror(errno);
            return false;
        }
        buffer << in.rdbuf();
        if (in.bad()) {
            error = "cannot read scenario " + shown + ": read error";
            return false;
        }
        name = o.scenario;
    }
    text = buffer.str();
    return true;
}

void printErrors(const Scenario &scenario) {
    constexpr size_t SHOWN = 10; // past that, a file is not a scenario at all
    const std::string name = quoteBytes(scenario.name);
    for (size_t i = 0; i < scenario.errors.size() && i < SHOWN; ++i)
        std::fprintf(stderr, "%s:%d: %s\n", name.c_str(), scenario.errors[i].line,
                     scenario.errors[i].message.c_str());
    if (scenario.errors.size() > SHOWN)
        std::fprintf(stderr, "%s: %zu more errors not shown\n", name.c_str(),
                     scenario.errors.size() - SHOWN);
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
    return stopSignal() ? 128 + stopSignal() : 0; // as a shell reports a signal
}

int runVersion(const Options &o) {
    std::printf("sh-sys-host %s\n", KELVO_HOST_VERSION);
    Plugin plugin;
    std::string error;
    if (!plugin.load(o.plugin, error))
        return failure(error);
    std::printf("plug-in kelvo-sh-sys %s from %s\n", plugin.api().version(),
                quoteBytes(plugin.path()).c_str());
    return 0;
}

// Loads the plug-in for when and calendar and starts its own clock.
struct ConditionRun {
    Plugin plugin;
    std::optional<ConditionClock> clock;
    Command check;

    // An exit status when it cannot start, or -1.
    int start(const Options &o) {
        std::string error;
        const auto c = parseCondition(joined(o.check), error);
        if (!c)
            return usage("bad CHECK: " + error);
        check = *c;
        if (!plugin.load(o.plugin, error))
            return failure(error);
        if (const std::string absent = absentNative(plugin.api(), {check}); !absent.empty())
            return failure("the plug-in does not provide " + absent);
        clock.emplace(plugin.api(), o.home);
        if (!clock->begin(error)) {
            end();
            return failure(error);
        }
        if (!o.holidays.empty() && !loadHolidayFile(plugin.api(), o.holidays, error)) {
            end();
            return failure(error);
        }
        return -1;
    }

    // The status after a run that went well; host blocks left make it 1.
    int end() {
        const long leaked = clock->finish();
        if (leaked == 0)
            return 0;
        std::fprintf(stderr, "sh-sys-host: %ld host blocks leaked\n", leaked);
        return 1;
    }
};

int runWhen(const Options &o) {
    const auto from = parseWhenTime(o.from, false);
    const auto to = parseWhenTime(o.to, true);
    if (!from)
        return usage("bad --from '" + quoteBytes(o.from) + "' (YYYY-MM-DD[ HH:MM:SS], 1970..2099)");
    if (!to)
        return usage("bad --to '" + quoteBytes(o.to) + "' (YYYY-MM-DD[ HH:MM:SS], 1970..2099)");
    if (*to < *from)
        return usage("--to lies before --from");
    ConditionRun run;
    if (const int status = run.start(o); status >= 0)
        return status;
    std::vector<Interval> intervals;
    std::string error;
    const bool ok = whenHolds(*run.clock, run.check, *from, *to, intervals, error);
    const int status = run.end();
    if (!ok)
        return failure(error);
    std::fputs(whenReport(run.check, *from, *to, intervals).c_str(), stdout);
    return status;
}

int runCalendar(const Options &o) {
    bool highlight = false;
    if (o.color == "always")
        highlight = true;
    else if (o.color == "auto")
        highlight = stdoutIsTerminal() && std::getenv("NO_COLOR") == nullptr;
    ConditionRun run;
    if (const int status = run.start(o); status >= 0)
        return status;
    std::vector<bool> held;
    std::vector<char> adjusted; // only for the holiday schedule's conditions
    std::string error;
    const bool schedule =
        run.check.check == CheckKind::Workday || run.check.check == CheckKind::Holiday;
    const bool ok = heldDays(*run.clock, run.check, o.year, held, error) &&
                    (!schedule || adjustedDays(*run.clock, o.year, adjusted, error));
    const int status = run.end();
    if (!ok)
        return failure(error);
    if (!o.svg.empty()) {
        std::ofstream svg(o.svg, std::ios::binary);
        svg << calendarSvg(run.check, o.year, held, adjusted);
        svg.close();
        if (!svg)
            return failure("cannot write '" + quoteBytes(o.svg) + "'");
    }
    std::fputs(calendarText(run.check, o.year, held, highlight, adjusted).c_str(), stdout);
    return status;
}

int runScenario(const Options &o) {
    Scenario scenario;
    if (!o.realtime) {
        std::string text, name, error;
        if (!readScenario(o, text, name, error))
            return usage(error);
        scenario = parseScenario(text, name);
        if (!scenario.errors.empty()) {
            printErrors(scenario);
            return 2;
        }
    }

    Plugin plugin;
    std::string error;
    if (!plugin.load(o.plugin, error))
        return failure(error);
    if (const std::string absent = absentNative(plugin.api(), scenario.commands); !absent.empty())
        return failure("the plug-in does not provide " + absent + ", which '" +
                       quoteBytes(scenario.name) + "' uses");
    if (!o.player.quiet) {
        std::printf("sh-sys-host: kelvo-sh-sys %s from %s\n", plugin.api().version(),
                    quoteBytes(plugin.path()).c_str());
        if (!o.realtime)
            std::printf("scenario: %s\n", quoteBytes(scenario.name).c_str());
    }

    Player player(plugin.api(), o.player, stdout);
    if (!player.begin(error, o.home)) {
        std::fprintf(stderr, "sh-sys-host: %s\n", error.c_str());
        player.finish();
        return 2;
    }
    if (!o.holidays.empty() && !loadHolidayFile(plugin.api(), o.holidays, error)) {
        std::fprintf(stderr, "sh-sys-host: %s\n", error.c_str());
        player.finish();
        return 2;
    }
    const int interrupted = o.realtime ? runRealtime(player, o) : (player.play(scenario), 0);
    const int status = player.finish();
    if (!o.realtime && player.stopped())
        return 2; // a schedule the plug-in refused stopped the scenario
    return interrupted != 0 ? interrupted : status;
}

} // namespace

int main(int argc, char **argv) {
    Options o;
    CLI::App app{"reference host and scenario player for the kelvo-sh-sys plug-in", "sh-sys-host"};
    app.set_help_flag("-h,--help", "this text");
    // Options are --long or -s everywhere; on Windows too a scenario path may
    // start with a slash.
    app.allow_windows_style_options(false);
    app.add_option("--plugin", o.plugin, "the plug-in to load");
    app.add_option("--delay-var", o.player.delayVar, "variable that delay events assign");
    app.add_option("--second-var", o.player.secondVar, "variable that second-of-day events assign");
    app.add_flag("-v,--verbose", o.player.verbose, "also print every second-of-day event");
    app.add_flag("-q,--quiet", o.player.quiet, "only failed expectations and the summary");
    app.add_flag("--realtime", o.realtime, "tick from this machine's clock");
    app.add_option("--for", o.forText, "how long --realtime runs");
    app.add_flag("--version", o.version, "the versions of this program and of the plug-in");
    app.add_option("--location", o.location, "the home's place, LAT,LON in degrees");
    std::string zone;
    CLI::Option *zoneOption = app.add_option("--zone", zone, "the home's zone, a POSIX TZ string");
    app.add_option("--holidays", o.holidays, "a holiday schedule file to load after init");
    app.add_option("scenario", o.scenario, "the scenario file, or - for standard input");

    CLI::App *when = app.add_subcommand("when", "the intervals in which a condition holds");
    when->fallthrough();
    when->add_option("check", o.check, "the condition")->required();
    when->add_option("--from", o.from, "first moment")->required();
    when->add_option("--to", o.to, "last moment, included")->required();

    CLI::App *calendar = app.add_subcommand("calendar", "a year of a condition, as cal -y");
    calendar->fallthrough();
    calendar->add_option("check", o.check, "the condition")->required();
    calendar->add_option("--year", o.year, "the year")->required()->check(CLI::Range(1970, 2099));
    calendar->add_option("--svg", o.svg, "also write an SVG picture");
    calendar->add_option("--color", o.color, "auto, always or never")
        ->check(CLI::IsMember({"auto", "always", "never"}));
    app.require_subcommand(0, 1);

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp &) {
        std::fputs(HELP, stdout);
        return 0;
    } catch (const CLI::ParseError &e) {
        return usage(quoteBytes(e.what()));
    }

    if (!o.location.empty()) {
        const auto place = parseLocation(o.location);
        if (!place)
            return usage("bad --location '" + quoteBytes(o.location) +
                         "' (degrees north,east such as 39.9042,116.4074)");
        o.home.location = place;
    }
    if (zoneOption->count() > 0)
        o.home.zone = zone;
    if (o.player.delayVar.empty() || o.player.secondVar.empty())
        return usage("--delay-var and --second-var need a name");
    if (o.version)
        return runVersion(o);
    if (!o.forText.empty()) {
        bool tooLarge = false;
        const auto d = parseDuration(o.forText, &tooLarge);
        if (!d)
            return usage(tooLarge ? "--for is too large (at most " +
                                        formatDuration(MAX_DURATION_MS) + ")"
                                  : "--for needs a duration such as 10s or 2m");
        o.forMs = *d;
    }
    if ((*when || *calendar) && (!o.scenario.empty() || o.realtime))
        return usage("when and calendar take neither a scenario nor --realtime");
    if (*when)
        return runWhen(o);
    if (*calendar)
        return runCalendar(o);
    if (o.forMs >= 0 && !o.realtime)
        return usage("--for goes with --realtime");
    if (o.realtime && !o.scenario.empty())
        return usage("--realtime reads its commands from standard input, not from a scenario");
    if (o.player.quiet && o.player.verbose)
        return usage("--quiet and --verbose exclude each other");
    return runScenario(o);
}

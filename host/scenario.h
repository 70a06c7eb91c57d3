// SPDX-License-Identifier: MIT
// The scenario language of sh-sys-host: one command a line, '#' comments.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace shhost {

enum class Op {
    Start,
    Delay,
    Restart,
    Remaining,
    Cancel,
    Drop,
    Advance,
    Tick,
    Check,
    Show,
    Say,
    Location, // the home's place
    Zone,     // the home's zone
    Holidays
};
enum class CheckKind {
    TimeRange,
    Calendar,
    WeekDay,
    Lunar,
    SecondOfDay,
    TimeOfDay,
    LunarDay,
    SolarTerm,
    SunWindow,
    SunElevation,
    Workday,
    Holiday
};

struct Command {
    Op op = Op::Show;
    int line = 0;
    std::string text; // the source line without its comment, trimmed
    // Start and absolute Tick: home time in ms. Relative Tick: signed offset.
    int64_t time = 0;
    bool relative = false;
    int64_t duration = 0; // Advance
    int64_t every = 1000; // Advance step
    CheckKind check = CheckKind::Calendar;
    std::vector<int64_t> ints;     // vm, id, seconds / check arguments
    std::optional<int64_t> expect; // bool as 0/1, a second of day, or seconds remaining
    double latitude = 0;           // Location
    double longitude = 0;
    std::string zone; // Zone: a POSIX TZ string
    std::string path;              // Holidays: the schedule file, as written
};

struct Diagnostic {
    int line;
    std::string message;
};

struct Scenario {
    std::string name; // file name, "<stdin>" or "<default>"
    std::vector<Command> commands;
    std::vector<Diagnostic> errors; // syntax errors; nothing runs when any
};

// The home calendar: 1970-01-01 00:00:00.000 up to 2099-12-31 23:59:59.999.
inline constexpr int64_t HOME_END_MS = 4'102'444'800'000; // 2100-01-01, excluded
// No duration is longer than the whole home calendar: 47482 days.
inline constexpr int64_t MAX_DURATION_MS = HOME_END_MS;

Scenario parseScenario(std::string_view text, std::string name);
// One line, for the interactive mode; errors land in the diagnostic.
std::optional<Command> parseLine(std::string_view line, int number, Diagnostic &error);
// A condition as `check` takes it, without "check" and without "expect":
// "lunar 8 15". second_of_day is a number, not a condition, and is refused.
std::optional<Command> parseCondition(std::string_view text, std::string &error);

// "LAT,LON" in degrees, as --location and the location command take it:
// finite numbers, the plug-in judges their range.
std::optional<std::pair<double, double>> parseLocation(std::string_view text);

// "YYYY-MM-DD HH:MM:SS[.mmm]" of home time <-> milliseconds since 1970.
std::optional<int64_t> parseHomeTime(std::string_view date, std::string_view time);
std::string formatHomeTime(int64_t ms);
// "500ms", "10s", "2m", "1h", "1d" and sums such as "1h30m", at most
// MAX_DURATION_MS; tooLarge tells a well-formed duration over it.
std::optional<int64_t> parseDuration(std::string_view text, bool *tooLarge = nullptr);
std::string formatDuration(int64_t ms);
// Text fit for a terminal: printable UTF-8 stays, every other byte (control
// characters, NUL, bytes of invalid UTF-8) becomes \xNN.
std::string quoteBytes(std::string_view text);
// The offset of the first byte that is not part of valid UTF-8, if any.
std::optional<size_t> invalidUtf8At(std::string_view text);

} // namespace shhost

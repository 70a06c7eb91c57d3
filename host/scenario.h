// SPDX-License-Identifier: MIT
// The scenario language of sh-sys-host: one command a line, '#' comments.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace shhost {

enum class Op { Start, Delay, Cancel, Drop, Advance, Tick, Check, Show, Say };
enum class CheckKind { TimeRange, Calendar, WeekDay, Lunar, SecondOfDay };

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
    std::optional<int64_t> expect; // bool as 0/1, or a second of day
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

Scenario parseScenario(std::string_view text, std::string name);
// One line, for the interactive mode; errors land in the diagnostic.
std::optional<Command> parseLine(std::string_view line, int number, Diagnostic &error);

// "YYYY-MM-DD HH:MM:SS[.mmm]" of home time <-> milliseconds since 1970.
std::optional<int64_t> parseHomeTime(std::string_view date, std::string_view time);
std::string formatHomeTime(int64_t ms);
// "500ms", "10s", "2m", "1h", "1d" and sums such as "1h30m".
std::optional<int64_t> parseDuration(std::string_view text);
std::string formatDuration(int64_t ms);

} // namespace shhost

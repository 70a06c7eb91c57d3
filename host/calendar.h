// SPDX-License-Identifier: MIT
// `sh-sys-host calendar`: a year as twelve month grids, each day marked on
// which a condition holds at some moment; as text and as an SVG picture.
#pragma once

#include <string>
#include <vector>

#include "scenario.h"
#include "when.h"

namespace shhost {

// One entry a day of the year, 1 January first: true where the condition
// holds at some moment of that day.
bool heldDays(ConditionClock &clock, const Command &check, int year, std::vector<bool> &held,
              std::string &error);

// The days the holiday schedule moves, one entry a day of the year: 'w' a
// Saturday or Sunday worked (班), 'o' a weekday off (休), 0 an ordinary day.
// Asked of sh_workday; for the calendars of workday and holiday.
bool adjustedDays(ConditionClock &clock, int year, std::vector<char> &adjusted, std::string &error);

// As `cal -y` lays a year out, Sunday first. With highlight, held days are
// shown in reverse video for a terminal; without, a '*' follows them. Days
// in adjusted (when given) carry their letter instead, upper-case where
// the condition holds, and a legend line tells them.
std::string calendarText(const Command &check, int year, const std::vector<bool> &held,
                         bool highlight, const std::vector<char> &adjusted = {});

// The same year as a picture for a document: title, legend, weekday
// headings, held days filled. Each day is one <rect> with id "dYYYY-MM-DD".
// Adjusted days get a coloured frame and 班 or 休 in their corner, each
// with a legend entry.
std::string calendarSvg(const Command &check, int year, const std::vector<bool> &held,
                        const std::vector<char> &adjusted = {});

} // namespace shhost

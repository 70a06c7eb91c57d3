// SPDX-License-Identifier: MIT
// The story sh-sys-host plays when given no scenario.
#pragma once

namespace shhost {

inline constexpr const char *DEFAULT_SCENARIO =
    R"(## Friday 2024-02-09, a minute before midnight: the last day of lunar year 2023.
start 2024-02-09 23:59:00
show
check calendar 24 2 9 expect true
check week_day 0x10 expect true                          # Friday
check lunar 12 30 expect true                            # last day of the twelfth month
check time_range -1 -1 -1 64800 -1 -1 -1 86399 expect true   # this evening, 18:00 to 23:59:59
check second_of_day expect 86340

## Two scripts ask for delays; VM 1 thinks better of one.
delay 1 7 30
delay 1 8 90
delay 2 9 45
delay 2 10 120
delay 1 7 5                                              # already pending: nothing changes
cancel 1 8

## The clock runs on to midnight.
advance 1m every 10s

## Saturday 2024-02-10: the lunar new year.
show
check calendar 24 2 10 expect true
check week_day 0x60 expect true                          # the weekend
check lunar 1 1 expect true
check time_range -1 -1 -1 64800 -1 -1 -1 86399 expect false
check time_range 24 2 9 79200 24 2 10 21600 expect true  # the night across midnight, with dates
check second_of_day expect 0

## VM 2 ends before its last delay fires; its delay goes with it.
drop 2
advance 2m every 30s

## The host corrects its clock five minutes back: nothing fires early.
delay 1 11 60
tick -5m
check calendar 24 2 9 expect true
check lunar 12 30 expect true
advance 1m every 30s                                     # the minute counts on from the corrected clock

## Sunday 2024-10-27: summer time ends and home time runs 02:59:59 -> 02:00:00.
tick 2024-10-27 02:59:00
delay 1 12 120                                           # two minutes
advance 59s every 1s
tick 2024-10-27 02:00:00                                 # the hour again: nothing fires
check second_of_day expect 7200
advance 2m every 1s                                      # 59 s before the change, 61 s after it
show
)";

} // namespace shhost

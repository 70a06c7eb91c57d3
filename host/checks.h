// SPDX-License-Identifier: MIT
// What the host knows about each condition: the native that answers it, how
// to say it in words, and at which seconds of a day its answer can change.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "plugin.h"
#include "scenario.h"

namespace shhost {

struct CheckNative {
    CheckKind kind;
    const char *name; // the exported name
    Native PluginApi::*native;
};
const CheckNative &checkNative(CheckKind kind);

// The exported name of the first native the commands need and the plug-in
// does not provide, or empty when it provides them all.
std::string absentNative(const PluginApi &api, const std::vector<Command> &commands);

// Calls a native with the arguments as int32 values.
bool callNative(Native native, uint32_t vm, const std::vector<int64_t> &args, qo_object *out);

// The condition in words, for titles: "lunar day 8/15", "Saturday or Sunday".
std::string describeCondition(const Command &check);

// The seconds of a day, 0 first and in increasing order, at which the answer
// of the condition can change; it holds its value from each one to the next.
// Not for the sun conditions, whose answers change at any second.
std::vector<int32_t> changePoints(const Command &check);
// sun_window and sun_elevation: they change with the sun, not the clock.
bool isSunCheck(const Command &check);

// HH:MM, or HH:MM:SS when the seconds are not 0.
std::string clockWords(int64_t secondOfDay);

} // namespace shhost

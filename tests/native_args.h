// SPDX-License-Identifier: MIT
// How a condition native takes its arguments: the answer of a refusal, and
// the refusals every native with integer arguments owes its scripts.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "test_host.h"

namespace testhost {

// Refused: status 0, and false stored for the script all the same.
inline ::testing::AssertionResult refused(const Answer &a) {
    if (a.status)
        return ::testing::AssertionFailure() << "status 1";
    if (!a.hasValue || a.boolValue)
        return ::testing::AssertionFailure() << "no false stored";
    return ::testing::AssertionSuccess();
}

// A native and a valid list of its integer arguments; with range, the
// values each position takes, both ends included.
struct NativeShape {
    Native native;
    std::vector<int32_t> valid;
    std::vector<std::pair<int32_t, int32_t>> range = {};
};

// For VM 1, refused: no arguments, one too few and one too many, no
// argument array, and each position in turn holding a bool, a string or
// nothing, or, with a range, a value just below it or just above it. Both
// ends of each range are taken.
inline void expectWrongArgumentsRefused(const NativeShape &s) {
    ASSERT_TRUE(s.range.empty() || s.range.size() == s.valid.size()) << "a range per position";
    for (size_t argc : {size_t(0), s.valid.size() - 1, s.valid.size() + 1}) {
        Args args;
        for (size_t i = 0; i < argc; ++i)
            args.addInt(i < s.valid.size() ? s.valid[i] : 0);
        EXPECT_TRUE(refused(call(s.native, 1, args))) << argc;
    }
    qo_object out = nullptr;
    EXPECT_FALSE(s.native(1, nullptr, int32_t(s.valid.size()), &out));
    EXPECT_FALSE(qo_object_to_bool(out, nullptr));
    qo_object_free(&out);
    const int kinds = s.range.empty() ? 3 : 5;
    for (size_t bad = 0; bad < s.valid.size(); ++bad) {
        for (int kind = 0; kind < kinds; ++kind) {
            Args args;
            for (size_t i = 0; i < s.valid.size(); ++i) {
                if (i != bad)
                    args.addInt(s.valid[i]);
                else if (kind == 0)
                    args.addBool(true);
                else if (kind == 1)
                    args.addString("1");
                else if (kind == 2)
                    args.addNull();
                else if (kind == 3)
                    args.addInt(s.range[bad].first - 1);
                else
                    args.addInt(s.range[bad].second + 1);
            }
            EXPECT_TRUE(refused(call(s.native, 1, args))) << bad << "/" << kind;
        }
        if (s.range.empty())
            continue;
        for (int32_t edge : {s.range[bad].first, s.range[bad].second}) {
            Args args;
            for (size_t i = 0; i < s.valid.size(); ++i)
                args.addInt(i == bad ? edge : s.valid[i]);
            EXPECT_TRUE(call(s.native, 1, args).status) << bad << "=" << edge;
        }
    }
}

} // namespace testhost

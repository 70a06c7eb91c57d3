// SPDX-License-Identifier: MIT
// A host built without 64-bit time and offsets sees the same public headers
// as the libraries, which are built with them.
#include <cstddef>
#include <ctime>
#include <string>

#include <gtest/gtest.h>

extern "C" {
struct kelvo_layout_entry {
    const char *name;
    size_t size;
    size_t align;
};
const kelvo_layout_entry *kelvo_layout_wide(size_t *count);
const kelvo_layout_entry *kelvo_layout_narrow(size_t *count);
}

namespace {

TEST(PublicHeaders, SameLayoutWithAndWithout64BitTime) {
    size_t wideCount = 0, narrowCount = 0;
    const kelvo_layout_entry *wide = kelvo_layout_wide(&wideCount);
    const kelvo_layout_entry *narrow = kelvo_layout_narrow(&narrowCount);
    ASSERT_EQ(wideCount, narrowCount);
    ASSERT_GT(wideCount, 20u);
    for (size_t i = 0; i < wideCount; ++i) {
        EXPECT_EQ(std::string(wide[i].name), narrow[i].name);
        EXPECT_EQ(wide[i].size, narrow[i].size) << wide[i].name;
        EXPECT_EQ(wide[i].align, narrow[i].align) << wide[i].name;
    }
    // The libraries and tests are built with a 64-bit time_t everywhere.
    EXPECT_EQ(sizeof(std::time_t), 8u);
}

} // namespace

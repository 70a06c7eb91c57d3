// SPDX-License-Identifier: MIT
// The two-copy record that natives read without a lock: readers on other
// threads see one whole record, old or new, however often it is replaced.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

#include "sh-sys-publish.h"

namespace {

// Every field is derived from the first: a torn read breaks the relation.
struct Record {
    uint64_t generation;
    uint64_t fields[15];
};

bool whole(const Record &r) {
    for (unsigned i = 0; i < 15; ++i)
        if (r.fields[i] != r.generation * (i + 3) + i)
            return false;
    return true;
}

void fill(Record &r, uint64_t generation) {
    r.generation = generation;
    for (unsigned i = 0; i < 15; ++i)
        r.fields[i] = generation * (i + 3) + i;
}

TEST(Published, ReadersSeeWholeRecordsWhileWritersReplaceThem) {
    ShPublished<Record> published;
    published.write([](Record &spare, const Record &) {
        fill(spare, 0);
        return true;
    });
    std::atomic<bool> stop{false};
    std::atomic<uint64_t> torn{0};
    std::atomic<uint64_t> reads{0};
    std::vector<std::thread> readers;
    for (int t = 0; t < 3; ++t)
        readers.emplace_back([&] {
            uint64_t last = 0;
            while (!stop.load()) {
                const Record r = published.read([](const Record &c) { return c; });
                torn += !whole(r);
                // One writer's publications are seen in order.
                torn += r.generation < last;
                last = r.generation;
                ++reads;
            }
        });
    // Two writers: one waits its turn, the other gives up while the first
    // writes; neither may publish a half-filled copy.
    std::atomic<uint64_t> skipped{0};
    std::thread other([&] {
        for (int i = 0; i < 2000; ++i)
            skipped += !published.try_write([](Record &spare, const Record &current) {
                spare = current; // a republication of what is there
                return true;
            });
    });
    for (uint64_t g = 1; g <= 20000; ++g)
        published.write([g](Record &spare, const Record &) {
            fill(spare, g);
            return true;
        });
    other.join();
    while (reads.load() < 1000)
        std::this_thread::yield();
    stop = true;
    for (auto &r : readers)
        r.join();
    EXPECT_EQ(torn.load(), 0U);
    EXPECT_EQ(published.read([](const Record &c) { return c.generation; }), 20000U);
}

TEST(Published, AWriterThatDeclinesPublishesNothing) {
    ShPublished<Record> published;
    published.write([](Record &spare, const Record &) {
        fill(spare, 7);
        return true;
    });
    EXPECT_FALSE(published.write([](Record &spare, const Record &) {
        fill(spare, 8);
        return false;
    }));
    EXPECT_EQ(published.read([](const Record &c) { return c.generation; }), 7U);
    // The declined copy is the spare: the next writer fills it afresh.
    EXPECT_TRUE(published.write([](Record &spare, const Record &current) {
        spare = current;
        spare.generation = 9;
        return true;
    }));
    EXPECT_EQ(published.read([](const Record &c) { return c.fields[0]; }), 7U * 3);
}

} // namespace

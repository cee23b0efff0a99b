#include "app/core/FrameReceiver.h"
#include "app/core/LineStore.h"

#include <gtest/gtest.h>

#include <array>
#include <random>
#include <string>
#include <vector>

using namespace glowkite;

namespace {

// Every line comes back exactly as it was stored, whatever part of it looks
// like hexadecimal bytes, also across the store's internal chunks.
TEST(LineStoreTest, LinesComeBackExactly)
{
    std::mt19937 rng(7);
    std::vector<std::string> lines;
    for (int i = 0; i < 10000; ++i) {
        std::array<std::uint8_t, FrameSize> frame{};
        for (auto &b : frame)
            b = static_cast<std::uint8_t>(rng());
        const std::string label = "09.12.2026 03:" + std::to_string(10 + i / 1000) + ":" + std::to_string(10 + i % 50);
        lines.push_back(RxLine(label, frame));
        if (i % 997 == 0) {
            lines.push_back("");
            lines.push_back("09.12.2026 03:30:58  01   Alarm ");
            lines.push_back("ab cd ");        // lower case: kept as text
            lines.push_back("AB CD");         // no blank after the last byte
            lines.push_back("0A 0B 0C ");     // nothing but bytes
            lines.push_back("St\xF6rung 00 "); // an 8-bit text before bytes
            lines.push_back("  A1  ");
        }
    }
    TLineStore store;
    for (const std::string &line : lines)
        store.Append(line);
    ASSERT_EQ(store.Count(), lines.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        ASSERT_EQ(store.Line(i), lines[i]) << i;
        ASSERT_EQ(store.Length(i), lines[i].size()) << i;
    }

    TLineStore moved = std::move(store);
    EXPECT_EQ(moved.Line(lines.size() - 1), lines.back());
    moved.Clear();
    EXPECT_TRUE(moved.Empty());
    moved.Append("again");
    EXPECT_EQ(moved.Line(0), "again");
}

TEST(LineStoreTest, TextRunsFindTheFirstOfEqualTexts)
{
    TTextRuns runs;
    for (const char *t : {"a", "a", "b", "b", "a", ""})
        runs.Append(t);
    EXPECT_EQ(runs.Count(), 6u);
    EXPECT_EQ(runs.Text(1), "a");
    EXPECT_EQ(runs.Text(3), "b");
    EXPECT_EQ(runs.Text(4), "a");
    EXPECT_EQ(runs.Text(5), "");
    EXPECT_EQ(runs.Find("b"), 2);
    EXPECT_EQ(runs.Find("a"), 0);
    EXPECT_EQ(runs.Find(""), 5);
    EXPECT_EQ(runs.Find("c"), -1);
}

} // namespace

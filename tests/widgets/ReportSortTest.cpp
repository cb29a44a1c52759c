// Cell-text ordering and the row quicksort of the report list.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "widgets/ReportSort.h"

namespace {

using vantor::widgets::CompareCellTexts;
using vantor::widgets::QuickSortRows;

std::vector<std::string> Sorted(std::vector<std::string> texts, bool ascending) {
    std::vector<int> rows(texts.size());
    for (size_t i = 0; i < rows.size(); ++i) rows[i] = static_cast<int>(i);
    QuickSortRows(
        rows,
        [&](int a, int b) {
            return CompareCellTexts(texts[static_cast<size_t>(a)], texts[static_cast<size_t>(b)]);
        },
        ascending);
    std::vector<std::string> out;
    for (int r : rows) out.push_back(texts[static_cast<size_t>(r)]);
    return out;
}

TEST(ReportSort, EachRuleOrdersItsKindOfText) {
    // Hexadecimal first (9, A, 10 both ways): tst_reportctrl's header clicks.
    // Decimals with a percent sign.
    EXPECT_EQ(Sorted({"12.5%", "3%"}, true), (std::vector<std::string>{"3%", "12.5%"}));
    EXPECT_LT(CompareCellTexts("2.5", "10.25"), 0);
    EXPECT_GT(CompareCellTexts("-1.5", "-2"), 0);
    // A sign is no hexadecimal digit: "-5" is a decimal number, below 3.
    EXPECT_LT(CompareCellTexts("-5", "3"), 0);
    // Times and dates chronologically, though "9..." > "1..." as text.
    EXPECT_LT(CompareCellTexts("9:05:00", "10:00:00"), 0);
    EXPECT_LT(CompareCellTexts("2024-01-09 08:00:00", "2024-01-10 07:00:00"), 0);
    // Two "%" or trailing text are no numbers: compared as text.
    EXPECT_GT(CompareCellTexts("5%%", "10%%"), 0);
    EXPECT_GT(CompareCellTexts("5x", "10x"), 0);
    // An empty cell never counts as a number.
    EXPECT_LT(CompareCellTexts("", "5"), 0);
    EXPECT_GT(CompareCellTexts("5", ""), 0);
    EXPECT_EQ(CompareCellTexts("", ""), 0);
    // Chinese text compares byte-wise and consistently.
    EXPECT_EQ(CompareCellTexts("服务中", "服务中"), 0);
    EXPECT_EQ(CompareCellTexts("主机", "设备"), -CompareCellTexts("设备", "主机"));
}

TEST(ReportSort, QuickSortOrdersBothWaysAndKeepsEveryRow) {
    std::mt19937 random(7);
    for (int round = 0; round < 200; ++round) {
        const size_t n = random() % 40;
        std::vector<std::string> numbers;
        for (size_t i = 0; i < n; ++i) numbers.push_back(std::to_string(random() % 50));
        for (bool ascending : {true, false}) {
            std::vector<std::string> got = Sorted(numbers, ascending);
            std::vector<std::string> want = numbers;
            std::sort(want.begin(), want.end(), [&](const std::string& a, const std::string& b) {
                return ascending ? CompareCellTexts(a, b) < 0 : CompareCellTexts(a, b) > 0;
            });
            ASSERT_EQ(got, want);
        }
        // Mixed kinds order inconsistently (hex, number and text rules
        // disagree); the sort must still only permute the rows.
        std::vector<std::string> mixed;
        const char* pool[] = {"", "A", "1.5%", "10", "zz", "9:00", "ff", "3%", "1e3", "x"};
        for (size_t i = 0; i < n; ++i) mixed.push_back(pool[random() % 10]);
        std::vector<std::string> got = Sorted(mixed, round % 2 == 0);
        std::sort(got.begin(), got.end());
        std::sort(mixed.begin(), mixed.end());
        ASSERT_EQ(got, mixed);
    }
}

}  // namespace

// SPDX-License-Identifier: MIT
// The solar-term table against the instants its generator computed and
// against the dates of an independent lunar calendar library.
#include <chrono>
#include <cstdio>
#include <string>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "qosolar-term.h"
#include "civil_oracle.h"

namespace {

using namespace std::chrono;

using civil::show;

// One term of a data file: "YYYY-MM-DD HH:MM:SS N", the instant in UTC+8.
struct TermLine {
    year_month_day date;
    int secondOfDay;
    int term;
};

std::vector<TermLine> readTerms(const std::string &name) {
    std::ifstream in(std::string(KELVO_TEST_DATA_DIR) + "/" + name);
    EXPECT_TRUE(in) << name;
    std::vector<TermLine> lines;
    std::string text;
    while (std::getline(in, text)) {
        int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, n = 0;
        char sep[5];
        std::istringstream fields(text);
        fields >> y >> sep[0] >> mo >> sep[1] >> d >> h >> sep[2] >> mi >> sep[3] >> s >> n;
        EXPECT_TRUE(fields && !fields.fail()) << name << ": " << text;
        lines.push_back(
            {year{y} / month{unsigned(mo)} / day{unsigned(d)}, h * 3600 + mi * 60 + s, n});
    }
    return lines;
}

int termOn(const year_month_day &d) {
    return qo_solar_term_of_day(int(d.year()), int(unsigned(d.month())), int(unsigned(d.day())));
}

constexpr int TERMS_IN_RANGE = SOLAR_TERMS * SOLAR_TERM_YEARS; // 3120
constexpr int NEAR_MIDNIGHT_S = 5 * 60;

TEST(SolarTermTable, HoldsExactlyTheGeneratorsDays) {
    const std::vector<TermLine> computed = readTerms("solar-terms-computed.txt");
    ASSERT_EQ(computed.size(), size_t(TERMS_IN_RANGE));
    std::map<sys_days, int> expected;
    for (const TermLine &t : computed)
        expected[sys_days{t.date}] = t.term;
    ASSERT_EQ(expected.size(), computed.size()) << "two terms on one day";
    int dayCount = 0;
    for (sys_days d{1970y / January / 1}; d <= sys_days{2099y / December / 31}; d += days{1}) {
        const auto it = expected.find(d);
        ASSERT_EQ(termOn(year_month_day{d}), it == expected.end() ? 0 : it->second)
            << show(year_month_day{d});
        ++dayCount;
    }
    EXPECT_EQ(dayCount, 47482);
}

// Terms follow one another round the year, 14 to 16 days apart, each in the
// half of its month that the table's layout assumes.
TEST(SolarTermTable, TermsComeInOrderAFortnightApart) {
    int previousTerm = 22; // the Winter Solstice of 1969
    sys_days previous{1969y / December / 22};
    for (sys_days d{1970y / January / 1}; d <= sys_days{2099y / December / 31}; d += days{1}) {
        const int term = termOn(year_month_day{d});
        if (term == 0)
            continue;
        EXPECT_EQ(term, previousTerm % 24 + 1) << show(year_month_day{d});
        const auto gap = (d - previous).count();
        EXPECT_GE(gap, 14) << show(year_month_day{d});
        EXPECT_LE(gap, 16) << show(year_month_day{d});
        const unsigned dom = unsigned(year_month_day{d}.day());
        EXPECT_TRUE(term % 2 == 1 ? dom >= 3 && dom <= 9 : dom >= 18 && dom <= 24)
            << show(year_month_day{d}) << " term " << term;
        previousTerm = term;
        previous = d;
    }
}

TEST(SolarTermTable, OutsideTheRangeNoTerm) {
    EXPECT_EQ(qo_solar_term_of_day(1969, 12, 22), 0);
    EXPECT_EQ(qo_solar_term_of_day(2100, 1, 5), 0);
    EXPECT_EQ(qo_solar_term_of_day(2024, 0, 4), 0);
    EXPECT_EQ(qo_solar_term_of_day(2024, 13, 4), 0);
    EXPECT_EQ(qo_solar_term_of_day(1970, 1, 6), 23);   // Minor Cold, the first of the range
    EXPECT_EQ(qo_solar_term_of_day(2099, 12, 21), 22); // Winter Solstice, the last
}

// Days that a low-accuracy solar longitude puts on the day before or after,
// each instant 5 to 9 minutes after midnight UTC+8.
TEST(SolarTermTable, DaysThatNeedTheFullAccuracyLongitude) {
    EXPECT_EQ(qo_solar_term_of_day(2045, 7, 7), 11);  // Minor Heat
    EXPECT_EQ(qo_solar_term_of_day(2047, 3, 6), 3);   // Awakening of Insects
    EXPECT_EQ(qo_solar_term_of_day(2082, 1, 20), 24); // Major Cold
    EXPECT_EQ(qo_solar_term_of_day(2097, 5, 5), 7);   // Start of Summer
    EXPECT_EQ(qo_solar_term_of_day(2045, 7, 6), 0);
    EXPECT_EQ(qo_solar_term_of_day(2097, 5, 4), 0);
}

// Every term of 1970..2099 falls on the independent library's day, except
// possibly those whose instant lies within five minutes of midnight UTC+8,
// where seconds of Delta T decide the day.
TEST(SolarTermTable, AgreesWithAnIndependentLibrary) {
    const std::vector<TermLine> oracle = readTerms("solar-terms-lunar-javascript.txt");
    const std::vector<TermLine> computed = readTerms("solar-terms-computed.txt");
    ASSERT_EQ(oracle.size(), size_t(TERMS_IN_RANGE));
    ASSERT_EQ(computed.size(), size_t(TERMS_IN_RANGE));
    std::map<std::pair<int, int>, TermLine> ours; // (year, term)
    for (const TermLine &t : computed)
        ours[{int(t.date.year()), t.term}] = t;

    int agree = 0, nearMidnight = 0, nearAndDiffer = 0;
    for (const TermLine &t : oracle) {
        const auto it = ours.find({int(t.date.year()), t.term});
        ASSERT_NE(it, ours.end()) << show(t.date) << " term " << t.term;
        const TermLine &mine = it->second;
        const bool near = std::min(mine.secondOfDay, 86400 - mine.secondOfDay) <= NEAR_MIDNIGHT_S;
        nearMidnight += near;
        if (mine.date == t.date) {
            ++agree;
            EXPECT_EQ(termOn(t.date), t.term) << show(t.date);
        } else {
            ++nearAndDiffer;
            EXPECT_TRUE(near) << "term " << t.term << ": library " << show(t.date) << ", table "
                              << show(mine.date);
        }
        // The two computations agree on the instant, not only on the day.
        const auto lag = (sys_days{mine.date} - sys_days{t.date}).count() * 86400 +
                         mine.secondOfDay - t.secondOfDay;
        EXPECT_LE(std::abs(lag), 60) << show(t.date) << " term " << t.term;
    }
    std::ostringstream summary;
    summary << agree << " of " << TERMS_IN_RANGE << " terms on the library's day; " << nearMidnight
            << " within 5 minutes of midnight, " << nearAndDiffer << " of them on another day";
    RecordProperty("agreement", summary.str());
    std::cout << summary.str() << '\n';
    EXPECT_EQ(agree + nearAndDiffer, TERMS_IN_RANGE);
}

} // namespace

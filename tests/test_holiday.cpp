// SPDX-License-Identifier: MIT
// The holiday schedule: sh_workday and sh_holiday on every day of the
// notices' years, the built-in schedule against the file it is made from,
// sh_holiday_schedule_load and sh_holiday_schedule_covers.
#include <array>
#include <atomic>
#include <chrono>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "civil_oracle.h"
#include "test_host.h"

using namespace testhost;
using namespace std::chrono;

namespace {

const std::string kFile = KELVO_SOURCE_DIR "/data/holidays-cn.txt";
const char *const kNames[] = {"new-year",    "spring-festival", "qingming",     "labour-day",
                              "dragon-boat", "mid-autumn",      "national-day", "other"};

std::string readFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The schedule file read by the test's own means: chrono dates, sets of
// days, runs found by walking the calendar.
class Oracle {
  public:
    explicit Oracle(const std::string &text) {
        std::istringstream lines(text);
        std::string line;
        int section = 0;
        while (std::getline(lines, line)) {
            line = line.substr(0, line.find('#'));
            std::istringstream words(line);
            std::string head;
            if (!(words >> head))
                continue;
            if (head == "year") {
                words >> section;
                years.insert(section);
                continue;
            }
            std::vector<int> holidays;
            for (size_t start = 0; start <= head.size();) {
                const size_t plus = std::min(head.find('+', start), head.size());
                const std::string name = head.substr(start, plus - start);
                for (int h = 0; h < 8; ++h)
                    if (name == kNames[h])
                        holidays.push_back(h + 1);
                start = plus + 1;
            }
            std::string word, mode;
            while (words >> word) {
                if (word == "off" || word == "work") {
                    mode = word;
                    continue;
                }
                const size_t dots = word.find("..");
                const sys_days first = date(word.substr(0, dots), section);
                const sys_days last =
                    dots == std::string::npos ? first : date(word.substr(dots + 2), section);
                for (sys_days d = first; d <= last; d += days{1}) {
                    if (mode == "work") {
                        work.insert(d);
                    } else {
                        off.insert(d);
                        for (int h : holidays)
                            given[d].insert(h);
                    }
                }
            }
        }
    }

    static sys_days date(const std::string &s, int section) {
        const bool full = s.size() == 10;
        const int y = full ? std::stoi(s.substr(0, 4)) : section;
        const std::string md = full ? s.substr(5) : s;
        return year{y} / month{unsigned(std::stoi(md.substr(0, 2)))} /
               day{unsigned(std::stoi(md.substr(3, 2)))};
    }

    static bool weekend(sys_days d) {
        const weekday w{d};
        return w == Saturday || w == Sunday;
    }

    bool dayOff(sys_days d) const { return off.count(d) || (weekend(d) && !work.count(d)); }

    bool workday(sys_days d) const { return work.count(d) || (!weekend(d) && !off.count(d)); }

    // The holidays whose break holds d: every holiday given off on a day of
    // the run of days off around d.
    std::set<int> breakOf(sys_days d) const {
        std::set<int> holidays;
        if (!dayOff(d))
            return holidays;
        sys_days a = d, b = d;
        while (dayOff(a - days{1}))
            a -= days{1};
        while (dayOff(b + days{1}))
            b += days{1};
        for (sys_days x = a; x <= b; x += days{1})
            if (auto it = given.find(x); it != given.end())
                holidays.insert(it->second.begin(), it->second.end());
        return holidays;
    }

    std::set<int> years;
    std::set<sys_days> off, work;
    std::map<sys_days, std::set<int>> given;
};

uint64_t noonOf(sys_days d) {
    return static_cast<uint64_t>(duration_cast<milliseconds>(d.time_since_epoch()).count()) +
           12 * 3600 * 1000;
}

bool boolOf(Native native, std::initializer_list<int32_t> values) {
    const Answer a = call(native, 1, values);
    EXPECT_TRUE(a.status && a.hasValue);
    return a.boolValue;
}

// Both natives on one day: the working day, then holidays 0..8.
using DayAnswers = std::array<bool, 10>;
DayAnswers answersOn(sys_days d, int32_t ahead = 0) {
    sh_time_update(noonOf(d - days{ahead}));
    DayAnswers a{};
    a[0] = boolOf(sh_workday, {ahead});
    for (int32_t h = 0; h <= 8; ++h)
        a[1 + h] = boolOf(sh_holiday, {h, ahead});
    return a;
}

bool load(const std::string &text) {
    return sh_holiday_schedule_load(text.data(), text.size());
}

const sys_days kFirst = year{2004} / January / 1;
const sys_days kLast = year{2026} / December / 31;

class Holiday : public PluginTest {};

// Every day of 2004..2026, asked from that day and from up to seven days
// before or after it, against the test's own reading of the file.
TEST_F(Holiday, EveryDayOfTheNoticesAgreesWithTheFile) {
    const Oracle oracle(readFile(kFile));
    ASSERT_EQ(oracle.years.size(), 23u);
    long count = 0, workdays = 0, breakDays = 0;
    for (sys_days d = kFirst; d <= kLast; d += days{1}, ++count) {
        const int32_t ahead = static_cast<int32_t>(count % 15) - 7;
        const DayAnswers a = answersOn(d, ahead);
        const std::set<int> held = oracle.breakOf(d);
        EXPECT_EQ(a[0], oracle.workday(d)) << civil::show(d);
        EXPECT_EQ(a[1], !held.empty()) << civil::show(d);
        for (int h = 1; h <= 8; ++h)
            EXPECT_EQ(a[1 + h], held.count(h) == 1) << civil::show(d) << " holiday " << h;
        workdays += a[0];
        breakDays += a[1];
        if (HasFailure())
            break;
    }
    std::printf("[figures] %ld days of 2004..2026 agree with the file: %ld working days, %ld in "
                "a holiday break\n",
                count, workdays, breakDays);
    EXPECT_TRUE(host.logs().empty()) << "every year asked about is covered";
}

// The days that the rules above make easy to get wrong, checked by hand
// against the notices.
TEST_F(Holiday, DecemberArrangedByTheNextYearsNotice) {
    // 2008: new-year off 2007-12-30..2008-01-01 work 2007-12-29
    EXPECT_TRUE(answersOn(year{2007} / December / 29)[0]) << "a Saturday worked";
    for (sys_days d :
         {year{2007} / December / 30, year{2007} / December / 31, year{2008} / January / 1}) {
        const DayAnswers a = answersOn(sys_days{d});
        EXPECT_FALSE(a[0]);
        EXPECT_TRUE(a[1 + 1]) << civil::show(d);
    }
    EXPECT_TRUE(answersOn(year{2008} / January / 2)[0]);
    // 2023 Mid-Autumn with National Day: both holidays hold on the whole break.
    const DayAnswers a = answersOn(year{2023} / October / 2);
    EXPECT_TRUE(a[1 + 6] && a[1 + 7] && !a[1 + 2]);
    // 2015-09-03, a day off of its own ("other"), with the weekend after it.
    EXPECT_TRUE(answersOn(year{2015} / September / 5)[1 + 8]);
    EXPECT_TRUE(answersOn(year{2015} / September / 6)[0]) << "worked Sunday";
}

// The built-in schedule is the file: the same answers on every day, loaded
// through the public loader or not.
TEST_F(Holiday, BuiltInScheduleIsTheRepositoryFile) {
    std::vector<DayAnswers> builtIn;
    const sys_days first = year{2003} / December / 1, last = year{2027} / January / 31;
    for (sys_days d = first; d <= last; d += days{1})
        builtIn.push_back(answersOn(d));
    std::vector<bool> coveredBefore;
    for (int y = 1960; y <= 2110; ++y)
        coveredBefore.push_back(sh_holiday_schedule_covers(y));
    ASSERT_TRUE(load(readFile(kFile)));
    size_t i = 0;
    for (sys_days d = first; d <= last; d += days{1}, ++i)
        ASSERT_EQ(answersOn(d), builtIn[i]) << civil::show(d);
    for (int y = 1960; y <= 2110; ++y) {
        EXPECT_EQ(sh_holiday_schedule_covers(y), coveredBefore[size_t(y - 1960)]) << y;
        EXPECT_EQ(sh_holiday_schedule_covers(y), y >= 2004 && y <= 2026) << y;
    }
}

TEST_F(Holiday, ALoadedYearReplacesTheBuiltInOne) {
    ASSERT_TRUE(load("year 2024\nother off 03-04\n"));
    EXPECT_TRUE(answersOn(year{2024} / February / 12)[0]) << "the Spring Festival is gone";
    EXPECT_FALSE(answersOn(year{2024} / February / 4)[0]) << "its worked Sunday too";
    const DayAnswers a = answersOn(year{2024} / March / 4);
    EXPECT_FALSE(a[0]);
    EXPECT_TRUE(a[1 + 8] && a[1] && !a[1 + 2]);
    EXPECT_TRUE(answersOn(year{2024} / March / 2)[1 + 8]) << "the weekend before joins the break";
    EXPECT_FALSE(answersOn(year{2023} / January / 23)[0]) << "other years stay";
    EXPECT_TRUE(sh_holiday_schedule_covers(2024));
    // A new year beside them.
    ASSERT_TRUE(load("year 2040\n# nothing off\n"));
    EXPECT_TRUE(sh_holiday_schedule_covers(2040));
    EXPECT_TRUE(sh_holiday_schedule_covers(2024));
    EXPECT_TRUE(host.logs().empty());
}

// A year without a schedule answers by the plain week, and says so once a
// year per init.
TEST_F(Holiday, UncoveredYearsAnswerThePlainWeekAndLogOncePerYear) {
    auto countLines = [&](const std::string &year) {
        long n = 0;
        for (const std::string &line : host.logs())
            n += line.find("none for " + year) != std::string::npos;
        return n;
    };
    // 2030-01-01, a Tuesday: New Year's Day, but no notice for 2030.
    DayAnswers a = answersOn(year{2030} / January / 1);
    EXPECT_TRUE(a[0]);
    for (int h = 0; h <= 8; ++h)
        EXPECT_FALSE(a[1 + h]);
    EXPECT_FALSE(answersOn(year{2030} / January / 5)[0]) << "a Saturday";
    EXPECT_EQ(countLines("2030"), 1);
    answersOn(year{2031} / March / 3);
    EXPECT_EQ(countLines("2031"), 1);
    EXPECT_EQ(host.logs().size(), 2u);
    for (const std::string &line : host.logs())
        EXPECT_LE(line.size(), 126u);
    // The first day of 2004 looking back into 2003.
    sh_time_update(noonOf(year{2004} / January / 1));
    boolOf(sh_workday, {-1});
    EXPECT_EQ(countLines("2003"), 1);
    // After a new init the first question logs again.
    sh_func_manager_deinit();
    host.bind();
    ASSERT_TRUE(sh_func_manager_init());
    answersOn(year{2030} / January / 1);
    EXPECT_EQ(countLines("2030"), 2);
    // Past 2099 home time stays on its last day: 2100 is asked by "tomorrow".
    sh_time_update(noonOf(year{2150} / January / 1));
    EXPECT_TRUE(boolOf(sh_workday, {0})) << "2099-12-31 is a Thursday";
    EXPECT_TRUE(boolOf(sh_workday, {1}));
    EXPECT_EQ(countLines("2100"), 1);
}

TEST_F(Holiday, ArgumentsOutOfRangeAnswerStatusZeroAndFalse) {
    sh_time_update(noonOf(year{2024} / October / 1));
    const std::vector<std::pair<Native, std::vector<int32_t>>> bad = {
        {sh_workday, {8}},    {sh_workday, {-8}},     {sh_workday, {}},     {sh_workday, {0, 0}},
        {sh_holiday, {9, 0}}, {sh_holiday, {-1, 0}},  {sh_holiday, {1, 8}}, {sh_holiday, {1, -8}},
        {sh_holiday, {1}},    {sh_holiday, {1, 0, 0}}};
    for (const auto &[native, values] : bad) {
        Args args;
        for (int32_t v : values)
            args.addInt(v);
        const Answer a = call(native, 1, args);
        EXPECT_FALSE(a.status);
        EXPECT_TRUE(a.hasValue && !a.boolValue);
    }
    Args text;
    text.addString("0");
    EXPECT_FALSE(call(sh_workday, 1, text).status);
    Args flag;
    flag.addBool(true);
    flag.addInt(0);
    EXPECT_FALSE(call(sh_holiday, 1, flag).status);
    qo_object out = nullptr;
    EXPECT_FALSE(sh_workday(1, nullptr, 1, &out));
    qo_object_free(&out);
    // The edges themselves are valid.
    EXPECT_TRUE(call(sh_workday, 1, {7}).status);
    EXPECT_TRUE(call(sh_holiday, 1, {8, -7}).status);
    EXPECT_TRUE(boolOf(sh_holiday, {7, 0}));
    EXPECT_TRUE(host.logs().empty());
}

// What a bad text leaves: answers on 2024 and on a loaded 2030, and which
// years are covered.
std::vector<bool> fingerprint() {
    std::vector<bool> f;
    for (sys_days d = year{2024} / January / 1; d <= year{2024} / December / 31; d += days{1}) {
        const DayAnswers a = answersOn(d);
        f.insert(f.end(), a.begin(), a.end());
    }
    for (sys_days d = year{2030} / September / 25; d <= year{2030} / October / 12; d += days{1}) {
        const DayAnswers a = answersOn(d);
        f.insert(f.end(), a.begin(), a.end());
    }
    for (int y = 1965; y <= 2105; ++y)
        f.push_back(sh_holiday_schedule_covers(y));
    return f;
}

TEST_F(Holiday, EveryKindOfBadScheduleIsRefusedWholeWithOneLine) {
    ASSERT_TRUE(load("year 2030\nnational-day off 10-01..10-07 work 09-29 10-12\n"));
    const std::vector<bool> before = fingerprint();
    struct Case {
        std::string text;
        std::string line; // what the log line must hold
    };
    const std::string good = "year 2024\nnew-year off 01-01\n";
    const std::vector<Case> cases = {
        {good + "yaer 2025\n", "line 3: unknown holiday 'yaer'"},
        {good + "new-year of 01-01\n", "line 3: expected 'off' or 'work'"},
        {good + "new-year\n", "line 3: no 'off' or 'work'"},
        {good + "labour-day off\n", "line 3: 'off' with no day"},
        {good + "labour-day off 05-01 work\n", "line 3: 'work' with no day"},
        {good + "labour-day work 04-28 off 05-01\n", "line 3: out of place"},
        {good + "labour-day off 05-01 off 05-02\n", "line 3: out of place"},
        {good + "mid-autumn+mid-autumn off 09-15\n", "line 3: unknown holiday"},
        {good + "labour-day off 02-30\n", "line 3: no such date: '02-30'"},
        {good + "labour-day off 13-01\n", "line 3: no such date"},
        {good + "labour-day off 5-1\n", "line 3: not a day"},
        {good + "labour-day off 0666666666666666666666-01\n", "line 3: not a day"},
        {good + "labour-day off 05-01..\n", "line 3: not a day"},
        {good + "labour-day off 05-05..05-01\n", "line 3: range ends before it starts"},
        {good + "labour-day off 2025-05-01\n", "line 3: date outside the year's section"},
        {good + "labour-day off 2023-11-30\n", "line 3: date outside the year's section"},
        {good + "labour-day off 05-01 work 04-29\n", "line 3: worked day not a Saturday or Sunday"},
        {good + "labour-day off 05-01 work 04-27..04-28\n", "line 3: a worked day is one day"},
        {good + "labour-day off 05-01..05-05 work 04-28\nother off 05-03\n",
         "line 4: 2024-05-03 given twice (also line 3)"},
        {good + "other work 2023-12-30\nyear 2023\nother off 12-30\n",
         "line 5: 2023-12-30 given twice (also line 3)"},
        {good + "year 2024\n", "line 3: year given twice: '2024'"},
        {"year 1969\n", "line 1: year out of range 1970..2099: '1969'"},
        {"year 2100\n", "line 1: year out of range"},
        {"year 24\n", "line 1: not a year"},
        {"year 2024 2025\n", "line 1: unexpected word '2025'"},
        {"new-year off 01-01\nyear 2024\n", "line 1: no 'year' before"},
        {"# only a comment\n\n", "no year in the text"},
        {good + "labour-day off 05-01\xe4\xba\x94\n", "line 3: not a day"},
        {std::string("year 2024\nother off 05\0-01\n", 27), "line 2: not a day"},
    };
    for (const Case &c : cases) {
        const size_t logsBefore = host.logs().size();
        EXPECT_FALSE(load(c.text)) << c.text;
        const std::vector<std::string> logs = host.logs();
        ASSERT_EQ(logs.size(), logsBefore + 1) << c.text;
        EXPECT_NE(logs.back().find(c.line), std::string::npos) << logs.back();
        EXPECT_LE(logs.back().size(), 126u);
    }
    // Too long, with every line valid.
    std::string big = "year 2024\n";
    while (big.size() <= 65536)
        big += "# padding to make the text longer than the limit allows\n";
    EXPECT_FALSE(load(big));
    EXPECT_NE(host.logs().back().find("more than the limit of 65536"), std::string::npos);
    EXPECT_FALSE(sh_holiday_schedule_load(nullptr, 10));
    EXPECT_EQ(fingerprint(), before) << "a refused text changes nothing";
    // A text need not end with a NUL, nor with a newline.
    const std::string framed = "year 2031\nother off 01-06XXXX";
    EXPECT_TRUE(sh_holiday_schedule_load(framed.data(), framed.size() - 4));
    EXPECT_TRUE(sh_holiday_schedule_covers(2031));
}

TEST_F(Holiday, FailedAllocationRefusesTheLoadAndChangesNothing) {
    const std::vector<bool> before = fingerprint();
    const size_t logsBefore = host.logs().size();
    host.failAllocation(1);
    EXPECT_FALSE(load("year 2024\nother off 03-04\n"));
    ASSERT_EQ(host.logs().size(), logsBefore + 1);
    EXPECT_NE(host.logs().back().find("no memory"), std::string::npos);
    EXPECT_EQ(fingerprint(), before);
}

TEST(HolidayLifetime, BeforeInitAndAfterDeinitBothFunctionsAnswerFalse) {
    Host &host = Host::get();
    sh_func_manager_deinit();
    host.reset();
    EXPECT_FALSE(sh_holiday_schedule_covers(2024));
    EXPECT_FALSE(load("year 2030\n"));
    host.bind();
    ASSERT_TRUE(sh_func_manager_init());
    EXPECT_TRUE(sh_holiday_schedule_covers(2024)) << "built in from init";
    ASSERT_TRUE(load("year 2030\n"));
    EXPECT_TRUE(sh_holiday_schedule_covers(2030));
    sh_func_manager_deinit();
    EXPECT_FALSE(sh_holiday_schedule_covers(2024));
    EXPECT_EQ(host.liveBlocks(), 0u) << "both copies released";
    host.bind();
    ASSERT_TRUE(sh_func_manager_init());
    EXPECT_FALSE(sh_holiday_schedule_covers(2030)) << "loaded years are dropped at deinit";
    sh_func_manager_deinit();
    // The built-in schedule's block is the last allocation of init.
    host.reset();
    host.bind();
    const long beforeInit = host.allocations();
    ASSERT_TRUE(sh_func_manager_init());
    const long ofInit = host.allocations() - beforeInit;
    sh_func_manager_deinit();
    host.reset();
    host.bind();
    host.failAllocation(ofInit);
    EXPECT_FALSE(sh_func_manager_init());
    EXPECT_NE(host.logs().back().find("no memory"), std::string::npos);
    EXPECT_EQ(host.mutexesAlive(), 0);
    sh_set_varkey_delay(nullptr);
    sh_set_varkey_timevalue(nullptr);
    EXPECT_EQ(host.liveBlocks(), 0u) << "the queue released, no block kept";
    host.reset();
}

// Loads replace 2030 again and again while other threads ask: every answer
// is one that both versions give, never one of a half-replaced or released
// block. Run under ThreadSanitizer in CI.
TEST_F(Holiday, LoadsWhileNativesReadNeverTear) {
    const std::string a = "year 2030\nother off 06-03\n";
    const std::string b = "year 2030\nnew-year off 06-03\n";
    ASSERT_TRUE(load(a));
    sh_time_update(noonOf(year{2030} / June / 3));
    std::atomic<bool> stop{false};
    std::atomic<long> wrong{0}, reads{0};
    std::vector<std::thread> readers;
    for (int t = 0; t < 2; ++t)
        readers.emplace_back([&] {
            while (!stop.load()) {
                qo_object out = nullptr;
                Args any{0, 0}, ahead{0};
                sh_holiday(1, any.argv(), 2, &out);
                wrong += !qo_object_to_bool(out, nullptr);
                qo_object_free(&out);
                sh_workday(1, ahead.argv(), 1, &out);
                wrong += qo_object_to_bool(out, nullptr);
                qo_object_free(&out);
                wrong += !sh_holiday_schedule_covers(2030) || !sh_holiday_schedule_covers(2024);
                ++reads;
            }
        });
    long loads = 0;
    for (int i = 0; i < 400; ++i)
        loads += load(i % 2 ? a : b);
    stop = true;
    for (std::thread &t : readers)
        t.join();
    EXPECT_EQ(loads, 400);
    EXPECT_EQ(wrong.load(), 0);
    std::printf("[figures] %ld loads while %ld reads ran\n", loads, reads.load());
}

// The npm holiday libraries, dumped by scripts/dump-holidays-*.js into
// tests/data/holidays-<library>.txt (a day the dump leaves out follows the
// plain week): on every day of each library's years the natives must agree
// with the library, except on exactly the days of
// tests/data/holidays-disagreements.txt, where they must answer what the
// notice says. Those days, with the notice's words that decide them:
//
// clang-format off
// 2005-12-31 chinese-days: off; the notice: work.
//     一、元旦：1月1日—3日放假，共3天。其中1月1日为法定假日，将12月31日（星期六）、1月1日（星期日）两个公休日调至1月2日（星期一）、3日（星期二），12月31日（星期六）上班。 (国办发明电〔2005〕35号)
// 2011-01-29 chinese-workday: work; the notice: off.
//     二、春节：2月2日（农历除夕）至8日放假调休，共7天。1月30日（星期日）、2月12日（星期六）上班。 (国办发明电〔2010〕40号)
// 2011-02-12 chinese-workday: off; the notice: work.
//     二、春节：2月2日（农历除夕）至8日放假调休，共7天。1月30日（星期日）、2月12日（星期六）上班。 (国办发明电〔2010〕40号)
// 2011-04-02 chinese-workday: off; the notice: work.
//     三、清明节：4月3日至5日放假调休，共3天。4月2日（星期六）上班。 (国办发明电〔2010〕40号)
// 2011-12-31 chinese-workday: off; the notice: work.
//     一、元旦：2012年1月1日至3日放假调休，共3天。2011年12月31日（星期六）上班。 (国办发明电〔2011〕45号)
// 2012-01-29 chinese-workday: off; the notice: work.
//     二、春节：1月22日至28日放假调休，共7天。1月21日（星期六）、1月29日（星期日）上班。 (国办发明电〔2011〕45号)
// 2012-03-31 chinese-workday: off; the notice: work.
//     三、清明节：4月2日至4日放假调休，共3天。3月31日（星期六）、4月1日（星期日）上班。 (国办发明电〔2011〕45号)
// 2012-04-01 chinese-workday: off; the notice: work.
//     三、清明节：4月2日至4日放假调休，共3天。3月31日（星期六）、4月1日（星期日）上班。 (国办发明电〔2011〕45号)
// 2012-04-28 chinese-workday: off; the notice: work.
//     四、劳动节：4月29日至5月1日放假调休，共3天。4月28日（星期六）上班。 (国办发明电〔2011〕45号)
// 2013-04-07 chinese-workday: off; the notice: work.
//     三、清明节：4月4日至6日放假调休，共3天。4月7日（星期日）上班。 (国办发明电〔2012〕33号)
// 2013-04-27 chinese-workday: off; the notice: work.
//     四、劳动节：4月29日至5月1日放假调休，共3天。4月27日（星期六）、4月28日（星期日）上班。 (国办发明电〔2012〕33号)
// 2013-04-28 chinese-workday: off; the notice: work.
//     四、劳动节：4月29日至5月1日放假调休，共3天。4月27日（星期六）、4月28日（星期日）上班。 (国办发明电〔2012〕33号)
// 2013-06-08 chinese-workday: off; the notice: work.
//     五、端午节：6月10日至12日放假调休，共3天。6月8日（星期六）、6月9日（星期日）上班。 (国办发明电〔2012〕33号)
// 2013-06-09 chinese-workday: off; the notice: work.
//     五、端午节：6月10日至12日放假调休，共3天。6月8日（星期六）、6月9日（星期日）上班。 (国办发明电〔2012〕33号)
// 2013-10-12 chinese-workday: off; the notice: work.
//     七、国庆节：10月1日至7日放假调休，共7天。9月29日（星期日）、10月12日（星期六）上班。 (国办发明电〔2012〕33号)
// 2014-10-11 chinese-workday: off; the notice: work.
//     七、国庆节：10月1日至7日放假调休，共7天。9月28日（星期日）、10月11日（星期六）上班。 (国办发明电〔2013〕28号)
// 2013-12-29 chinese-workday: work; the notice: off.
//     一、元旦：1月1日放假1天。 (国办发明电〔2013〕28号)
// 2012-09-30 chinese-workday: work; the notice: off.
//     六、中秋节、国庆节：9月30日至10月7日放假调休，共8天。9月29日（星期六）上班。 (国办发明电〔2011〕45号)
// 2012-10-08 chinese-workday: off; the notice: work.
//     六、中秋节、国庆节：9月30日至10月7日放假调休，共8天。9月29日（星期六）上班。 (国办发明电〔2011〕45号)
// 2014-06-03 chinese-workday: off; the notice: work.
//     五、端午节：6月2日放假，与周末连休。 (国办发明电〔2013〕28号)
// 2014-06-04 chinese-workday: off; the notice: work.
//     五、端午节：6月2日放假，与周末连休。 (国办发明电〔2013〕28号)
// 2014-09-09 chinese-workday: off; the notice: work.
//     六、中秋节：9月8日放假，与周末连休。 (国办发明电〔2013〕28号)
// 2014-09-10 chinese-workday: off; the notice: work.
//     六、中秋节：9月8日放假，与周末连休。 (国办发明电〔2013〕28号)
// 2023-01-03 chinese-workday: off; the notice: work.
//     一、元旦：2022年12月31日至2023年1月2日放假调休，共3天。 (国办发明电〔2022〕16号)
// 2018-01-01 chinese-workday: work; the notice: off.
//     一、元旦：1月1日放假，与周末连休。 (国办发明电〔2017〕12号)
// 2015-09-03 chinese-workday: work; the notice: off.
//     9月3日至5日调休放假，共3天。其中9月3日（星期四）放假，9月4日（星期五）调休，9月6日（星期日）上班。 (国发明电〔2015〕1号)
// 2015-09-04 chinese-workday: work; the notice: off.
//     9月3日至5日调休放假，共3天。其中9月3日（星期四）放假，9月4日（星期五）调休，9月6日（星期日）上班。 (国发明电〔2015〕1号)
// 2020-01-31 chinese-workday: work; the notice: off.
//     一、延长2020年春节假期至2月2日（农历正月初九，星期日），2月3日（星期一）起正常上班。 (国办发明电〔2020〕1号)
// 2020-02-01 chinese-workday: work; the notice: off.
//     一、延长2020年春节假期至2月2日（农历正月初九，星期日），2月3日（星期一）起正常上班。 (国办发明电〔2020〕1号)
// 2013-09-22 chinese-workday names mid-autumn+national-day, the notice mid-autumn (a worked day: the natives
//     name no holiday on one). 六、中秋节：9月19日至21日放假调休，共3天。9月22日（星期日）上班。 (国办发明电〔2012〕33号)
// 2013-09-29 chinese-workday names mid-autumn+national-day, the notice national-day (a worked day: the natives
//     name no holiday on one). 七、国庆节：10月1日至7日放假调休，共7天。9月29日（星期日）、10月12日（星期六）上班。 (国办发明电〔2012〕33号)
// clang-format on
//
// The holiday a library names is compared on the days both call off: each
// holiday it names must hold (sh_holiday) on that day. Worked days are left
// out: the natives tie no holiday to a worked day.
struct Library {
    const char *name;
    int first;
    int last;
};
const Library kLibraries[] = {
    {"chinese-days", 2004, 2026}, {"chinese-workday", 2011, 2026}, {"cn-workday", 2022, 2026}};

int holidayOfChinese(std::string name) {
    if (name.rfind("补", 0) == 0)
        name = name.substr(std::string("补").size());
    const std::vector<std::pair<std::string, int>> names = {
        {"元旦", 1},
        {"春节", 2},
        {"清明", 3},
        {"清明节", 3},
        {"劳动节", 4},
        {"端午", 5},
        {"端午节", 5},
        {"中秋", 6},
        {"中秋节", 6},
        {"国庆节", 7},
        {"中秋国庆", 67},
        {"抗战胜利", 8},
        {"中国人民抗日战争暨世界反法西斯战争胜利70周年纪念日", 8}};
    for (const auto &[chinese, h] : names)
        if (chinese == name)
            return h;
    return name == "-" ? 0 : -1;
}

TEST_F(Holiday, EveryDayAgreesWithTheNpmLibrariesButTheExplainedDays) {
    std::map<sys_days, DayAnswers> ours;
    for (sys_days d = kFirst; d <= kLast; d += days{1})
        ours[d] = answersOn(d);
    // (day, library) -> whether the notice makes it a working day.
    std::map<std::pair<sys_days, std::string>, bool> explained;
    {
        std::istringstream lines(readFile(KELVO_TEST_DATA_DIR "/holidays-disagreements.txt"));
        std::string line;
        while (std::getline(lines, line)) {
            std::istringstream words(line);
            std::string date, library, verb, theirs, notice, says, noticeSays;
            if (line.empty() || line[0] == '#' || !(words >> date >> library >> verb))
                continue;
            if (verb != "says")
                continue; // a holiday name on a worked day
            words >> theirs >> notice >> says >> noticeSays;
            explained[{Oracle::date(date, 0), library}] = noticeSays.rfind("work", 0) == 0;
        }
    }
    ASSERT_GE(explained.size(), 29u);
    for (const Library &lib : kLibraries) {
        std::map<sys_days, std::pair<bool, int>> dump; // work?, holiday
        std::istringstream lines(
            readFile(std::string(KELVO_TEST_DATA_DIR "/holidays-") + lib.name + ".txt"));
        std::string date, kind, name;
        while (lines >> date >> kind >> name) {
            const int h = holidayOfChinese(name);
            ASSERT_GE(h, 0) << name;
            dump[Oracle::date(date, 0)] = {kind == "work", h};
        }
        ASSERT_GT(dump.size(), 100u) << lib.name;
        long compared = 0, agree = 0, named = 0, namedAgree = 0, explainedHere = 0;
        for (sys_days d = year{lib.first} / January / 1; d <= year{lib.last} / December / 31;
             d += days{1}) {
            const auto it = dump.find(d);
            const bool theirs = it != dump.end() ? it->second.first : !Oracle::weekend(d);
            const DayAnswers &a = ours.at(d);
            ++compared;
            const auto why = explained.find({d, lib.name});
            if (why != explained.end()) {
                ++explainedHere;
                EXPECT_NE(a[0], theirs) << civil::show(d) << " " << lib.name << " agrees now";
                EXPECT_EQ(a[0], why->second) << civil::show(d) << " against the notice";
                continue;
            }
            EXPECT_EQ(a[0], theirs) << civil::show(d) << " " << lib.name;
            agree += a[0] == theirs;
            if (it == dump.end() || it->second.first || it->second.second == 0 || a[0])
                continue;
            ++named;
            const int h = it->second.second;
            const bool held = h == 67 ? a[1 + 6] && a[1 + 7] : a[1 + h];
            EXPECT_TRUE(held) << civil::show(d) << " " << lib.name << " names holiday " << h;
            namedAgree += held;
        }
        std::printf("[figures] %s %d..%d: %ld days, %ld agree on working day or not, %ld differ "
                    "where the notice decides; %ld days off it names a holiday on, %ld agree\n",
                    lib.name, lib.first, lib.last, compared, agree, explainedHere, named,
                    namedAgree);
    }
}

} // namespace

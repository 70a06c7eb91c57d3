// SPDX-License-Identifier: MIT
// sh-sys-host: its scenario parser, and the program run as a user runs it.
#if defined(_WIN32)
#include <process.h>
#else
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "checks.h"
#include "plugin.h"
#include "scenario.h"

namespace {

using namespace shhost;

// ---------------------------------------------------------------- parser

TEST(ScenarioParser, ReadsEveryCommand) {
    const Scenario sc = parseScenario(R"(## narration
start 2024-02-09 23:59:50      # set the clock
delay 1 7 -10
cancel 4294967295 -2147483648
drop 2
advance 1h30m every 500ms
advance 2d
tick 2024-02-10 00:00:00.250
tick +10s
tick -1m
check time_range -1 -1 -1 28800 -1 -1 -1 64800 expect false
check calendar 24 2 9
check week_day 0x7F expect true
check week_day 96
check lunar 1 1 expect true
check second_of_day expect 86399
show

   # only a comment
)",
                                      "t.scn");
    ASSERT_TRUE(sc.errors.empty()) << sc.errors[0].line << ": " << sc.errors[0].message;
    ASSERT_EQ(sc.commands.size(), 17u);
    const auto &c = sc.commands;
    EXPECT_EQ(c[0].op, Op::Say);
    EXPECT_EQ(c[0].text, "narration");
    EXPECT_EQ(c[1].op, Op::Start);
    EXPECT_EQ(c[1].time, 1707523190000);
    EXPECT_EQ(c[1].text, "start 2024-02-09 23:59:50");
    EXPECT_EQ(c[2].ints, (std::vector<int64_t>{1, 7, -10}));
    EXPECT_EQ(c[3].ints, (std::vector<int64_t>{4294967295, -2147483648LL}));
    EXPECT_EQ(c[5].duration, 5'400'000);
    EXPECT_EQ(c[5].every, 500);
    EXPECT_EQ(c[6].every, 1000) << "every 1s by default";
    EXPECT_EQ(c[7].time, 1707523200250);
    EXPECT_FALSE(c[7].relative);
    EXPECT_TRUE(c[8].relative);
    EXPECT_EQ(c[8].time, 10'000);
    EXPECT_EQ(c[9].time, -60'000);
    EXPECT_EQ(c[10].check, CheckKind::TimeRange);
    EXPECT_EQ(c[10].ints.size(), 8u);
    EXPECT_EQ(c[10].expect, 0);
    EXPECT_FALSE(c[11].expect.has_value());
    EXPECT_EQ(c[12].ints, std::vector<int64_t>{0x7F});
    EXPECT_EQ(c[13].ints, std::vector<int64_t>{96});
    EXPECT_EQ(c[15].expect, 86399);
    EXPECT_EQ(c[15].line, 16);
    EXPECT_EQ(c[16].op, Op::Show);
}

TEST(ScenarioParser, EveryErrorNamesItsLine) {
    const std::pair<const char *, const char *> bad[] = {
        {"launch 1", "unknown command 'launch'"},
        {"start 2024-02-30 00:00:00", "bad home time"},
        {"start 2100-01-01 00:00:00", "bad home time"},
        {"start 2024-02-09", "expected a home time"},
        {"start 2024-02-09 24:00:00", "bad home time"},
        {"start 2024-02-09 10:00:00.5", "bad home time"},
        {"delay 1 7", "missing seconds"},
        {"delay -1 7 10", "bad vm"},
        {"delay 1 7 10 11", "unexpected '11'"},
        {"delay 1 2147483648 1", "bad delay id"},
        {"cancel 1 x", "bad delay id"},
        {"drop", "missing vm"},
        {"advance 10", "bad duration"},
        {"advance 10s every 0ms", "longer than 0ms"},
        {"advance 10s each 1s", "unexpected 'each'"},
        {"advance 365d every 1ms", "at most 10000000"},
        {"advance 1000d", "at most 10000000"},
        {"tick +5x", "bad duration"},
        {"check", "check what?"},
        {"check moon 1 1", "unknown check 'moon'"},
        {"check calendar 24 2", "missing day"},
        {"check lunar 1 1 expect maybe", "expect true or false"},
        {"check week_day 0x1F expect", "expect what?"},
        {"check second_of_day expect 86400", "bad expected second of day"},
        {"check calendar 24 2 9 true", "expect ...?"},
        {"show now", "unexpected 'now'"},
    };
    for (const auto &[line, message] : bad) {
        const Scenario sc = parseScenario(
            std::string("start 2024-02-09 12:00:00\n\n") + line + "\nshow\n", "bad.scn");
        ASSERT_EQ(sc.errors.size(), 1u) << line;
        EXPECT_EQ(sc.errors[0].line, 3) << line;
        EXPECT_NE(sc.errors[0].message.find(message), std::string::npos)
            << line << " gave: " << sc.errors[0].message;
    }
}

TEST(ScenarioParser, TimesAndDurationsRoundTrip) {
    for (int64_t ms : {int64_t{0}, int64_t{951782400123}, int64_t{4102444799999}}) {
        const std::string text = formatHomeTime(ms);
        EXPECT_EQ(parseHomeTime(text.substr(0, 10), text.substr(11)), ms) << text;
    }
    for (const char *d : {"500ms", "10s", "2m", "1h", "1d", "1h30m", "90m"})
        EXPECT_TRUE(parseDuration(d).has_value()) << d;
    EXPECT_EQ(formatDuration(5'400'000), "90m");
    EXPECT_EQ(formatDuration(-1500), "-1500ms");
    for (const char *d :
         {"", "s", "10", "10y", "-5s", "99999999999999s", "333333333333d", "999999999999d1d"})
        EXPECT_FALSE(parseDuration(d).has_value()) << d;
}

TEST(ScenarioParser, NewCommandsAndConditions) {
    const Scenario sc = parseScenario("start 2025-01-28 12:00:00\n"
                                      "restart 1 7 300\n"
                                      "remaining 1 7\n"
                                      "remaining 1 8 expect -1\n"
                                      "check time_of_day 79200 21600 expect false\n"
                                      "check lunar_day 12 -1 0 expect true\n"
                                      "check solar_term 5\n",
                                      "new.scn");
    ASSERT_TRUE(sc.errors.empty()) << sc.errors[0].message;
    const auto &c = sc.commands;
    ASSERT_EQ(c.size(), 7u);
    EXPECT_EQ(c[1].op, Op::Restart);
    EXPECT_EQ(c[1].ints, (std::vector<int64_t>{1, 7, 300}));
    EXPECT_EQ(c[2].op, Op::Remaining);
    EXPECT_FALSE(c[2].expect.has_value());
    EXPECT_EQ(c[3].expect, -1);
    EXPECT_EQ(c[4].check, CheckKind::TimeOfDay);
    EXPECT_EQ(c[4].ints, (std::vector<int64_t>{79200, 21600}));
    EXPECT_EQ(c[5].check, CheckKind::LunarDay);
    EXPECT_EQ(c[5].ints, (std::vector<int64_t>{12, -1, 0}));
    EXPECT_EQ(c[6].check, CheckKind::SolarTerm);
}

TEST(ScenarioParser, HolidayCommandsAndConditions) {
    const Scenario sc = parseScenario("start 2025-01-28 12:00:00\n"
                                      "holidays my schedule.txt\n"
                                      "holidays cn.txt\n"
                                      "check workday 1 expect true\n"
                                      "check holiday 2 -1\n"
                                      "holidays\n"
                                      "check holiday 2\n",
                                      "holidays.scn");
    ASSERT_EQ(sc.errors.size(), 3u);
    EXPECT_EQ(sc.errors[0].line, 2);
    EXPECT_NE(sc.errors[0].message.find("unexpected"), std::string::npos);
    EXPECT_NE(sc.errors[1].message.find("missing schedule file"), std::string::npos);
    EXPECT_NE(sc.errors[2].message.find("missing days ahead"), std::string::npos);
    const Scenario ok = parseScenario("start 2025-01-28 12:00:00\nholidays cn.txt\n"
                                      "check workday 1 expect true\ncheck holiday 2 -1\n",
                                      "ok.scn");
    ASSERT_TRUE(ok.errors.empty());
    EXPECT_EQ(ok.commands[1].op, Op::Holidays);
    EXPECT_EQ(ok.commands[1].path, "cn.txt");
    EXPECT_EQ(ok.commands[2].check, CheckKind::Workday);
    EXPECT_EQ(ok.commands[2].expect, 1);
    EXPECT_EQ(ok.commands[3].check, CheckKind::Holiday);
    EXPECT_EQ(ok.commands[3].ints, (std::vector<int64_t>{2, -1}));
    EXPECT_EQ(describeCondition(ok.commands[3]), "the Spring Festival break yesterday");
}

TEST(ScenarioParser, EveryMissingArgumentIsNamed) {
    const std::pair<const char *, const char *> cases[] = {
        {"delay", "missing vm (delay <vm> <delay id> <seconds>)"},
        {"delay 1", "missing delay id"},
        {"delay 1 7", "missing seconds"},
        {"restart 1 7", "missing seconds (restart <vm> <delay id> <seconds>)"},
        {"remaining 1", "missing delay id (remaining <vm> <delay id>)"},
        {"cancel 1", "missing delay id (cancel <vm> <delay id>)"},
        {"drop", "missing vm (drop <vm>)"},
        {"advance", "missing duration"},
        {"advance 1s every", "missing duration"},
        {"tick", "expected a home time"},
        {"start", "expected a home time"},
        {"check lunar 1", "missing day (check lunar <month> <day>)"},
        {"check calendar 24", "missing month"},
        {"check week_day", "missing mask"},
        {"check time_range -1 -1 -1 0", "missing end year"},
        {"check time_range -1 -1 -1 0 -1 -1 -1", "missing end second"},
        {"check time_of_day 0", "missing end second (check time_of_day <start second> <end "
                                "second>)"},
        {"check lunar_day 12 -1", "missing leap"},
        {"check solar_term", "missing term"},
        {"remaining 1 7 expect", "expect what?"},
        {"check lunar x 1", "bad month 'x'"},
    };
    for (const auto &[line, message] : cases) {
        const Scenario sc =
            parseScenario(std::string("start 2024-02-09 12:00:00\n") + line + "\n", "m.scn");
        ASSERT_EQ(sc.errors.size(), 1u) << line;
        EXPECT_EQ(sc.errors[0].line, 2);
        EXPECT_NE(sc.errors[0].message.find(message), std::string::npos)
            << line << " gave: " << sc.errors[0].message;
    }
}

// No byte of a message may move a terminal's cursor or change its colours.
bool printable(const std::string &message) {
    return std::none_of(message.begin(), message.end(),
                        [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; });
}

TEST(ScenarioParser, BytesThatAreNotTextAreQuoted) {
    const std::string NUL("start\0x", 7);
    const std::pair<std::string, const char *> cases[] = {
        {"launch\x1b[2J", "unknown command 'launch\\x1B[2J'"},
        {NUL, "unknown command 'start\\x00x'"}, // a NUL cuts nothing short
        {"show \x7f", "unexpected '\\x7F'"},
        {"show \xc2\x85", "unexpected '\\xC2\\x85'"},               // a C1 control
        {"check lunar \xe4\xb8\xad 1", "bad month '\xe4\xb8\xad'"}, // printable UTF-8 stays
        {"show \xff", "invalid UTF-8: byte \\xFF at column 6"},
        {"check week_day 0x60 # \xc0\xaf", "invalid UTF-8: byte \\xC0 at column 23"}, // overlong
        {"show \xed\xa0\x80", "invalid UTF-8"},                                       // surrogate
        {"## \xe2\x82", "invalid UTF-8"},                           // narration, cut short
        {"\xEF\xBB\xBFshow", "unknown command '\xEF\xBB\xBFshow'"}, // only the first line's BOM
    };
    for (const auto &[line, message] : cases) {
        const Scenario sc = parseScenario("start 2024-02-09 12:00:00\n" + line + "\n", "q.scn");
        ASSERT_EQ(sc.errors.size(), 1u) << quoteBytes(line);
        EXPECT_NE(sc.errors[0].message.find(message), std::string::npos)
            << quoteBytes(line) << " gave: " << quoteBytes(sc.errors[0].message);
        EXPECT_TRUE(printable(sc.errors[0].message)) << quoteBytes(sc.errors[0].message);
    }
    const Scenario narration = parseScenario("## a \x1b[31mred\x1b[0m word\nstart 2024-02-09 "
                                             "12:00:00\n## caf\xc3\xa9\n",
                                             "n.scn");
    ASSERT_TRUE(narration.errors.empty());
    EXPECT_EQ(narration.commands[0].text, "a \\x1B[31mred\\x1B[0m word");
    EXPECT_EQ(narration.commands[2].text, "caf\xc3\xa9");
}

TEST(ScenarioParser, ByteOrderMarkAtTheStartIsSkipped) {
    const Scenario sc = parseScenario("\xEF\xBB\xBFstart 2024-02-09 12:00:00\nshow\n", "bom.scn");
    EXPECT_TRUE(sc.errors.empty()) << sc.errors[0].message;
    EXPECT_EQ(sc.commands.size(), 2u);
}

TEST(ScenarioParser, TheClockIsSetFirstAndStaysInTheHomeCalendar) {
    const Scenario early = parseScenario("## narration may come first\n# and comments\n"
                                         "check week_day 0x7F\nstart 2024-02-09 12:00:00\n",
                                         "e.scn");
    ASSERT_EQ(early.errors.size(), 1u);
    EXPECT_EQ(early.errors[0].line, 3);
    EXPECT_NE(early.errors[0].message.find("set the clock first"), std::string::npos);

    const std::pair<const char *, const char *> cases[] = {
        {"start 2099-12-31 23:59:59\ntick +1s", "would take the clock to 2100-01-01 00:00:00"},
        {"start 2024-01-01 00:00:00\ntick +36500d", "2123-12-08"},
        {"start 2099-12-31 12:00:00\nadvance 1d every 1h", "outside the home calendar"},
        {"start 1970-01-01 00:00:00\ntick -1ms", "1969-12-31 23:59:59.999"},
        {"start 2024-01-01 00:00:00\ntick +99999999d", "is too large (at most 47482d"},
        {"start 2024-01-01 00:00:00\nadvance 47483d", "is too large"},
        {"start 2100-01-01 00:00:00", "1970..2099"},
    };
    for (const auto &[text, message] : cases) {
        const Scenario sc = parseScenario(text, "c.scn");
        ASSERT_EQ(sc.errors.size(), 1u) << text;
        EXPECT_NE(sc.errors[0].message.find(message), std::string::npos)
            << text << " gave: " << sc.errors[0].message;
        EXPECT_NE(sc.errors[0].message.find("1970..2099"), std::string::npos)
            << "says where the calendar ends: " << sc.errors[0].message;
    }
    // Up to the very last millisecond, and back to the first, is fine.
    EXPECT_TRUE(parseScenario("start 2099-12-31 23:59:59\ntick +999ms\ntick 1970-01-01 "
                              "00:00:00\ntick +0s\n",
                              "ok.scn")
                    .errors.empty());
}

TEST(ScenarioParser, DurationsUpToTheWholeCalendar) {
    bool tooLarge = true;
    EXPECT_EQ(parseDuration("47482d", &tooLarge), MAX_DURATION_MS);
    EXPECT_FALSE(tooLarge);
    for (const char *d : {"47482d1ms", "47483d", "99999999d", "99999999999999s"}) {
        EXPECT_FALSE(parseDuration(d, &tooLarge).has_value()) << d;
        EXPECT_TRUE(tooLarge) << d;
    }
    EXPECT_FALSE(parseDuration("99999999dx", &tooLarge).has_value());
    EXPECT_FALSE(tooLarge) << "malformed is not too large";
}

TEST(ScenarioParser, ConditionsForWhenAndCalendar) {
    std::string error;
    const auto c = parseCondition(" lunar 8 15 ", error);
    ASSERT_TRUE(c.has_value()) << error;
    EXPECT_EQ(c->check, CheckKind::Lunar);
    EXPECT_EQ(c->ints, (std::vector<int64_t>{8, 15}));
    EXPECT_FALSE(parseCondition("lunar 8 15 expect true", error).has_value());
    EXPECT_NE(error.find("unexpected 'expect'"), std::string::npos) << error;
    EXPECT_FALSE(parseCondition("second_of_day", error).has_value());
    EXPECT_NE(error.find("not a condition"), std::string::npos) << error;
    EXPECT_FALSE(parseCondition("lunar 8", error).has_value());
    EXPECT_NE(error.find("missing day"), std::string::npos) << error;
    EXPECT_FALSE(parseCondition("", error).has_value());
    EXPECT_FALSE(parseCondition("moon 1", error).has_value());
}

// ---------------------------------------------------------------- program

struct HostRun {
    int status;
    std::string out;
    std::string err;
};

std::string slurp(const std::filesystem::path &p) {
    std::ifstream in(p);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// ---- running programs: the same commands through sh and through cmd.exe

int processId() {
#if defined(_WIN32)
    return _getpid();
#else
    return ::getpid();
#endif
}

// A fresh name in the temporary directory. Process ids alone are not
// enough: wine numbers its processes afresh whenever its server restarts,
// so two test processes can see the same id.
std::filesystem::path scratch(const std::string &stem) {
    static std::atomic<unsigned> made{0};
    static const unsigned salt = std::random_device{}();
    char tail[48];
    std::snprintf(tail, sizeof tail, "-%d-%08x-%u", processId(), salt, made++);
    return std::filesystem::temp_directory_path() / (stem + tail);
}

// A path quoted for the command interpreter (double quotes suit both).
std::string inQuotes(const std::filesystem::path &p) {
    // Appended: GCC 12 at -O2 warns falsely (-Wrestrict) on "\"" + string.
    std::string quoted(1, '"');
    quoted += p.string();
    quoted += '"';
    return quoted;
}

// A target program as the command interpreter starts it: through the
// emulator when the tests themselves run under one (qemu-user).
std::string program(const char *path) {
    const std::string emulator = KELVO_TEST_EMULATOR;
    return (emulator.empty() ? "" : emulator + " ") + inQuotes(path);
}

// std::system's exit status of the command, or -1 when it did not exit.
int runCommand(const std::string &cmd) {
#if defined(_WIN32)
    // cmd.exe /c drops the first and last quote of a line that starts with one.
    return std::system(("\"" + cmd + "\"").c_str());
#else
    const int raw = std::system(cmd.c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
#endif
}

#if defined(_WIN32)
constexpr const char *NOWHERE = "NUL";
#else
constexpr const char *NOWHERE = "/dev/null";
#endif

// The arguments are written as a POSIX shell quotes them; cmd.exe and the
// Windows C runtime group words with double quotes instead.
std::string forShell(std::string args) {
#if defined(_WIN32)
    std::replace(args.begin(), args.end(), '\'', '"');
#endif
    return args;
}

HostRun runHost(const std::string &args, const std::string &input = "") {
    const auto dir = scratch("sh-sys-host-test");
    std::filesystem::create_directories(dir);
    std::ofstream(dir / "in") << input;
    const std::string cmd = program(SH_SYS_HOST_PATH) + " " + forShell(args) + " < " +
                            inQuotes(dir / "in") + " > " + inQuotes(dir / "out") + " 2> " +
                            inQuotes(dir / "err");
    HostRun r{runCommand(cmd), slurp(dir / "out"), slurp(dir / "err")};
    std::error_code ignored; // a file still held open on Windows is not the host's fault
    std::filesystem::remove_all(dir, ignored);
    return r;
}

// The peak of host bytes counts pointers and so differs between 32- and
// 64-bit targets; the rest of the memory line (blocks, leaks, allocations)
// does not. The peak must still be there and positive.
std::string withPeakBytesMasked(const std::string &out) {
    static const std::regex peak("(peak [0-9]+ blocks, )([0-9]+)( bytes)");
    std::smatch m;
    EXPECT_TRUE(std::regex_search(out, m, peak)) << out;
    if (!m.empty()) {
        EXPECT_GT(std::stol(m[2].str()), 0);
    }
    return std::regex_replace(out, peak, "$1N$3");
}

// The first line names where the plug-in was found; everything after it is
// the same on every machine.
std::string withoutPluginLine(const std::string &out) {
    return out.substr(out.find('\n') + 1);
}

TEST(ShSysHost, DefaultStoryMatchesItsTimeline) {
    const HostRun r = runHost("");
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    const std::string first = "sh-sys-host: kelvo-sh-sys 4.01.00.03 from ";
    ASSERT_EQ(r.out.rfind(first, 0), 0u) << r.out;
    const std::string where = r.out.substr(first.size(), r.out.find('\n') - first.size());
    EXPECT_TRUE(std::filesystem::path(where).is_absolute()) << where;
    EXPECT_EQ(withPeakBytesMasked(withoutPluginLine(r.out)),
              withPeakBytesMasked(
                  slurp(std::string(KELVO_SOURCE_DIR) + "/tests/golden/default-story.txt")));
    EXPECT_TRUE(r.err.empty()) << r.err;
}

TEST(ShSysHost, ExamplesPass) {
    for (const char *name :
         {"office-hours.scn", "lunar-festival.scn", "long-delay.scn", "sun-porch-light.scn"}) {
        const HostRun r = runHost(inQuotes(std::string(KELVO_SOURCE_DIR) + "/examples/" + name));
        EXPECT_EQ(r.status, 0) << name << "\n" << r.out << r.err;
        EXPECT_NE(r.out.find("0 blocks leaked"), std::string::npos) << name;
        EXPECT_EQ(r.out.find("FAILED"), std::string::npos) << name;
    }
}

TEST(ShSysHost, ScenarioFromStandardInputAndAFailedExpectation) {
    const HostRun r = runHost("-", "start 2024-02-09 12:00:00\n"
                                   "check week_day 0x10 expect true\n"
                                   "check week_day 0x10 expect false\n"
                                   "check second_of_day expect 7\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("<stdin>:3: expected false got true"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("<stdin>:4: expected 7 got 43200"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("3 checks (2 failed)"), std::string::npos) << r.out;
}

TEST(ShSysHost, DelaysAndVerboseSecondEvents) {
    const HostRun r = runHost("--verbose --delay-var Wake --second-var Sec -",
                              "start 2024-02-09 12:00:00\ndelay 3 9 2\nadvance 3s\n");
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("2024-02-09 12:00:02.000    event  vm 3  Wake = 9"), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("second of day  Sec = 43203"), std::string::npos) << r.out;
}

TEST(ShSysHost, SyntaxErrorsStopBeforeAnythingRuns) {
    const HostRun r = runHost("-", "start 2024-02-09 12:00:00\ndelay 1\nfly\n");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "<stdin>:2: missing delay id (delay <vm> <delay id> <seconds>)\n"
                     "<stdin>:3: unknown command 'fly'\n");
    EXPECT_TRUE(r.out.empty()) << "the plug-in was not even loaded: " << r.out;
}

TEST(ShSysHost, MissingOrWrongPlugin) {
    const HostRun missing = runHost("--plugin /nonexistent/libkelvo-sh-sys.so");
    EXPECT_EQ(missing.status, 2);
    EXPECT_NE(
        missing.err.find("sh-sys-host: cannot load plug-in '/nonexistent/libkelvo-sh-sys.so'"),
        std::string::npos)
        << missing.err;
    EXPECT_EQ(std::count(missing.err.begin(), missing.err.end(), '\n'), 1);

    const HostRun wrong = runHost("--plugin " + inQuotes(KELVO_QOLIB_PATH));
    EXPECT_EQ(wrong.status, 2);
    EXPECT_NE(wrong.err.find("lacks the symbol 'sh_callback_set_hal'"), std::string::npos)
        << wrong.err;
}

TEST(ShSysHost, UsageErrors) {
    EXPECT_EQ(runHost("--bogus").status, 2);
    EXPECT_EQ(runHost("--for 2s").status, 2);
    EXPECT_EQ(runHost("a.scn b.scn").status, 2);
    EXPECT_EQ(runHost("/nonexistent.scn").status, 2);
    const HostRun help = runHost("--help");
    EXPECT_EQ(help.status, 0);
    for (const char *word :
         {"SYNOPSIS", "--realtime", "check time_range", "EXIT STATUS", "advance"})
        EXPECT_NE(help.out.find(word), std::string::npos) << word;
}

TEST(ShSysHost, PlaceAndZoneFromTheCommandLine) {
    const std::string home = "--location 39.9042,116.4074 --zone CST-8 ";
    const HostRun r = runHost(home + "when 'sun_window 2 0 1 0' --from 2024-06-01 --to 2024-06-01");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("when sunset\u2013sunrise, from 2024-06-01 00:00:00"), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("2024-06-01 19:3"), std::string::npos) << "sunset about 19:37\n" << r.out;
    // The same home for a scenario; a bad place or zone stops before it runs.
    const HostRun play = runHost(home + "-", "start 2024-06-01 12:00:00\n"
                                             "check sun_elevation 700 750 expect true\n");
    EXPECT_EQ(play.status, 0) << play.out << play.err;
    for (const char *bad : {"--location 91,0 --zone CST-8", "--location 39.9,116.4 --zone CST",
                            "--location north --zone CST-8"}) {
        const HostRun refused = runHost(std::string(bad) + " when 'sun_window 2 0 1 0' "
                                                           "--from 2024-06-01 --to 2024-06-01");
        EXPECT_EQ(refused.status, 2) << bad << "\n" << refused.out;
        EXPECT_FALSE(refused.err.empty()) << bad;
    }
}

TEST(ShSysHost, RealtimeRunsForItsDurationAndAnswersChecks) {
    const HostRun r = runHost("--realtime --for 2s",
                              "check week_day 0x7F expect true\ncheck lunar 0 0 expect false\n"
                              "tick +1s\n");
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("sh_week_day -> 1, true   ok"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("the clock is this machine's"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("0 blocks leaked"), std::string::npos) << r.out;
    // ten ticks a second, for two seconds
    const auto ticks = std::stol(r.out.substr(r.out.find("summary: ") + 9));
    EXPECT_GE(ticks, 15);
    EXPECT_LE(ticks, 25);
}

#if !defined(_WIN32)
// A signal from another process needs POSIX; on Windows the same shutdown
// path runs from the console control handler.
TEST(ShSysHost, RealtimeShutsDownCleanlyOnSigint) {
    const auto out = scratch("sigint");
    const std::string cmd = "sh -c 'sleep 3 | " + program(SH_SYS_HOST_PATH) + " --realtime > " +
                            inQuotes(out) + " 2>&1 & pid=$!; sleep 1; kill -INT $pid; wait $pid'";
    const int status = runCommand(cmd);
    const std::string text = slurp(out);
    std::filesystem::remove(out);
    EXPECT_EQ(status, 130) << "as shells report an interrupt\n" << text;
    EXPECT_NE(text.find("interrupted: shutting the plug-in down"), std::string::npos) << text;
    EXPECT_NE(text.find("plug-in log: sh_func_manager_deinit"), std::string::npos) << text;
    EXPECT_NE(text.find("0 blocks leaked"), std::string::npos) << text;
}
#endif

TEST(ShSysHost, OnlyARegularFileIsAScenario) {
    // A directory of its own: a path with no trailing separator, which
    // Windows' argument rules would read as an escaped quote.
    const auto directory = scratch("sh-sys-host-dir");
    std::filesystem::create_directories(directory);
    std::vector<std::pair<std::string, std::string>> cases = {
        {directory.string(),
         "cannot read scenario '" + directory.string() + "': it is a directory"},
        {"/nonexistent.scn", "cannot read scenario '/nonexistent.scn': no such file"},
    };
#if !defined(_WIN32)
    cases.emplace_back("/dev/null", "cannot read scenario '/dev/null': not a regular file");
#endif
    for (const auto &[path, message] : cases) {
        const HostRun r = runHost(inQuotes(path));
        EXPECT_EQ(r.status, 2) << path;
        EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
        EXPECT_TRUE(r.out.empty()) << r.out;
    }
    std::filesystem::remove(directory);
}

TEST(ShSysHost, BinaryInputShowsTenQuotedErrorsAndCountsTheRest) {
    std::string garbage;
    for (int i = 0; i < 30; ++i)
        garbage += "\x1b]0;title\x07\x01\x02 \x1b[2J\n";
    const HostRun r = runHost("-", garbage);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 11) << r.err;
    EXPECT_NE(r.err.find("<stdin>:1: unknown command '\\x1B]0;title\\x07\\x01\\x02'"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("<stdin>: 20 more errors not shown\n"), std::string::npos) << r.err;
    std::string withoutNewlines = r.err;
    std::erase(withoutNewlines, '\n');
    EXPECT_TRUE(printable(withoutNewlines)) << "no raw control bytes reach the terminal";
}

TEST(ShSysHost, VersionNamesHostAndPlugin) {
    const HostRun r = runHost("--version");
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string first = "sh-sys-host 4.1.0.3\nplug-in kelvo-sh-sys 4.01.00.03 from ";
    ASSERT_EQ(r.out.rfind(first, 0), 0u) << r.out;
    const std::string where =
        r.out.substr(first.size(), r.out.find('\n', first.size()) - first.size());
    EXPECT_TRUE(std::filesystem::path(where).is_absolute()) << where;
    const HostRun missing = runHost("--version --plugin /nonexistent.so");
    EXPECT_EQ(missing.status, 2);
    EXPECT_NE(missing.err.find("cannot load plug-in"), std::string::npos) << missing.err;
}

TEST(ShSysHost, QuietShowsOnlyFailuresAndTheSummary) {
    const HostRun r = runHost("--quiet -", "## narration\nstart 2024-02-09 12:00:00\n"
                                           "delay 1 1 1\nadvance 2s\nshow\n"
                                           "check week_day 0x10 expect true\n"
                                           "check week_day 0x10 expect false\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(
        r.out.rfind("<stdin>:7: expected false got true\n\nsummary: 3 ticks, 1 delay event", 0), 0u)
        << r.out;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 4) << r.out;
    EXPECT_EQ(runHost("--quiet --verbose -", "start 2024-02-09 12:00:00\n").status, 2);
}

TEST(ShSysHost, ADelayDueOnAnotherDayShowsItsDate) {
    const HostRun r = runHost("-", "start 2024-02-09 12:00:00\ndelay 1 1 172800\ndelay 1 2 60\n");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("sh_delay -> true, fires at 2024-02-11 12:00:00\n"), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("sh_delay -> true, fires at 12:01:00\n"), std::string::npos) << r.out;
}

// The host's own view of pending delays follows the plug-in's clock: a step
// back neither brings a delay nearer nor pushes it away.
TEST(ShSysHost, ShowCountsOnlyTheForwardMovementOfTheClock) {
    const HostRun r = runHost("-", "start 2024-11-10 21:00:00\ndelay 1 4 7200\ndelay 1 5 -3\n"
                                   "tick +30m\ntick -1h\nshow\n");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("sh_delay -> true, fires at the next tick\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("event  vm 1  DelayId = 5"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("pending: vm 1 id 4 (fires at 2024-11-10 22:30:00.000)"),
              std::string::npos)
        << r.out;
}

TEST(ShSysHost, NoErrorPathExitsZero) {
    const char *const bad[] = {
        "--bogus",
        "--plugin",
        "when",
        "when 'lunar 8 15'",
        "when 'lunar 8 15' --from 2024-01-01",
        "when 'lunar 8' --from 2024-01-01 --to 2024-12-31",
        "when 'second_of_day' --from 2024-01-01 --to 2024-12-31",
        "when 'lunar 8 15' --from 2024-13-01 --to 2024-12-31",
        "when 'lunar 8 15' --from 2025-01-01 --to 2024-12-31",
        "when 'lunar 8 15' --from 2024-01-01 --to 2100-01-01",
        "when 'lunar 8 15' --from 2024-01-01 --to 2024-12-31 --plugin /nonexistent.so",
        "calendar 'lunar 8 15'",
        "calendar 'lunar 8 15' --year 2100",
        "calendar 'lunar 8 15' --year 2025 --color sometimes",
        "calendar 'lunar 8 15' --year 2025 --svg /nonexistent/dir/x.svg",
        "--delay-var '' -",
        "--for 99999999d --realtime",
        "--realtime when 'lunar 8 15' --from 2024-01-01 --to 2024-12-31",
        "x.scn calendar 'lunar 8 15' --year 2025",
    };
    for (const char *args : bad) {
        const HostRun r = runHost(args, "start 2024-02-09 12:00:00\n");
        EXPECT_EQ(r.status, 2) << args << "\n" << r.out << r.err;
        EXPECT_FALSE(r.err.empty()) << args;
        EXPECT_EQ(r.out.find("blocks leaked"), std::string::npos) << args << "\n" << r.out;
    }
}

std::string goldenOf(const char *name) {
    return slurp(std::string(KELVO_SOURCE_DIR) + "/tests/golden/" + name);
}

TEST(ShSysHost, WhenMidAutumn2024To2030) {
    const HostRun r = runHost("when 'lunar 8 15' --from 2024-01-01 --to 2030-12-31");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, goldenOf("when-mid-autumn.txt"));
    EXPECT_TRUE(r.err.empty()) << r.err;
    // The condition may come as separate words too.
    EXPECT_EQ(runHost("when lunar 8 15 --from 2024-01-01 --to 2030-12-31").out, r.out);
}

TEST(ShSysHost, WhenANightOverMidnightIsTwoConditions) {
    const HostRun late = runHost("when 'time_range -1 -1 -1 79200 -1 -1 -1 86399' --from "
                                 "2025-10-06 --to 2025-10-08");
    const HostRun early = runHost("when 'time_range -1 -1 -1 0 -1 -1 -1 21599' --from "
                                  "'2025-10-06 00:00:00' --to '2025-10-08 23:59:59'");
    EXPECT_EQ(late.status, 0) << late.err;
    EXPECT_EQ(early.status, 0) << early.err;
    EXPECT_EQ(late.out + early.out, goldenOf("when-night.txt"));
}

TEST(ShSysHost, CalendarWeekendsOf2025) {
    const HostRun r = runHost("calendar 'week_day 0x60' --year 2025");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, goldenOf("calendar-weekends-2025.txt"));
    EXPECT_EQ(r.out.find('\x1b'), std::string::npos) << "not a terminal: a plain marker";
    // On a terminal, held days are in bold reverse video and unmarked.
    const HostRun colour = runHost("calendar 'week_day 0x60' --year 2025 --color always");
    EXPECT_EQ(colour.status, 0);
    EXPECT_NE(colour.out.find("  3 \x1b[1;7m 4\x1b[0m "), std::string::npos) << colour.out;
    EXPECT_EQ(colour.out.find(" 4*"), std::string::npos);
    EXPECT_EQ(runHost("calendar 'week_day 0x60' --year 2025 --color never").out, r.out);
}

TEST(ShSysHost, CalendarOnATerminalHighlightsUnlessNoColor) {
#if defined(_WIN32)
    GTEST_SKIP() << "a pseudo-terminal needs POSIX";
#endif
    if (std::system("command -v script > /dev/null 2>&1") != 0)
        GTEST_SKIP() << "script (util-linux) is not installed to give a terminal";
    // script runs the host on a pseudo-terminal and copies what it shows.
    const std::string command = "script -qc \"" + program(SH_SYS_HOST_PATH) +
                                " calendar 'week_day 0x60' --year 2025\" /dev/null";
    const auto run = [&](const std::string &environment) {
        const auto out = scratch("sh-sys-host-tty");
        const int status =
            runCommand(environment + " " + command + " < /dev/null > " + inQuotes(out) + " 2>&1");
        const std::string text = slurp(out);
        std::filesystem::remove(out);
        EXPECT_EQ(status, 0) << text;
        return text;
    };
    const std::string coloured = run("env -u NO_COLOR");
    EXPECT_NE(coloured.find("\x1b[1;7m 4\x1b[0m"), std::string::npos) << coloured;
    const std::string plain = run("env NO_COLOR=1");
    EXPECT_EQ(plain.find('\x1b'), std::string::npos) << plain;
    EXPECT_NE(plain.find(" 4*"), std::string::npos) << plain;
}

TEST(ShSysHost, CalendarWritesAnSvg) {
    const auto svg = scratch("sh-sys-host-cal").replace_extension(".svg");
    const HostRun r = runHost("calendar 'lunar 8 15' --year 2025 --svg '" + svg.string() + "'");
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string text = slurp(svg);
    std::filesystem::remove(svg);
    EXPECT_NE(text.find("<title>lunar day 8/15, 2025</title>"), std::string::npos);
    EXPECT_NE(text.find("<rect id=\"d2025-10-06\""), std::string::npos);
    EXPECT_NE(text.find("<rect id=\"d2025-10-06\" x=\"53\" y=\"763\" width=\"26\" "
                        "height=\"20\" fill=\"#1f5fa8\""),
              std::string::npos)
        << "Mid-Autumn 2025 is filled";
    EXPECT_NE(text.find("<rect id=\"d2025-10-07\""), std::string::npos);
    EXPECT_EQ(text.find("fill=\"#1f5fa8\"", text.find("d2025-10-07")), std::string::npos)
        << "and no day after it";
    EXPECT_NE(r.out.find("(1 day)"), std::string::npos) << r.out;
}

// The natives added after the first release: a plug-in may lack them.
std::vector<std::string> absentNatives() {
    Plugin plugin;
    std::string error;
    if (!plugin.load(KELVO_PLUGIN_PATH, error))
        return {error};
    const PluginApi &a = plugin.api();
    std::vector<std::string> absent;
    const std::pair<Native, const char *> natives[] = {
        {a.timeOfDay, "sh_time_of_day"},          {a.lunarDay, "sh_lunar_day"},
        {a.solarTerm, "sh_solar_term"},           {a.delayRestart, "sh_delay_restart"},
        {a.delayRemaining, "sh_delay_remaining"}, {a.sunWindow, "sh_sun_window"},
        {a.sunElevation, "sh_sun_elevation"},
    };
    for (const auto &[native, name] : natives)
        if (native == nullptr)
            absent.push_back(name);
    if (a.setHomeLocation == nullptr)
        absent.push_back("sh_set_home_location");
    if (a.setHomeZone == nullptr)
        absent.push_back("sh_set_home_zone");
    return absent;
}

TEST(ShSysHost, HomeRulesExampleOrAClearRefusal) {
    const HostRun r = runHost(inQuotes(std::string(KELVO_SOURCE_DIR) + "/examples/home-rules.scn"));
    const std::vector<std::string> absent = absentNatives();
    if (!absent.empty()) {
        // The first native the scenario uses that the plug-in lacks.
        EXPECT_EQ(r.status, 2);
        EXPECT_NE(r.err.find("the plug-in does not provide "), std::string::npos) << r.err;
        EXPECT_TRUE(r.out.empty()) << "nothing ran: " << r.out;
        GTEST_SKIP() << "the plug-in does not provide " << absent[0];
    }
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.out.find("FAILED"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("0 blocks leaked"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("event  vm 1  DelayId = 7"), std::string::npos) << r.out;
}

TEST(ShSysHost, WhenNewYearsEveAndClearAndBright2024To2030) {
    const std::vector<std::string> absent = absentNatives();
    const std::pair<const char *, const char *> cases[] = {
        {"lunar_day 12 -1 0", "when-new-years-eve.txt"},
        {"solar_term 5", "when-clear-and-bright.txt"},
    };
    int ran = 0;
    for (const auto &[check, golden] : cases) {
        const std::string native =
            std::string("sh_") + std::string(check).substr(0, std::string(check).find(' '));
        if (std::find(absent.begin(), absent.end(), native) != absent.end())
            continue;
        const HostRun r =
            runHost(std::string("when '") + check + "' --from 2024-01-01 --to 2030-12-31");
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, goldenOf(golden)) << check;
        ++ran;
    }
    if (ran == 0)
        GTEST_SKIP() << "the plug-in does not provide sh_lunar_day or sh_solar_term";
}

TEST(ShSysHost, EachNewNativeIsRefusedByNameWhenAbsent) {
    const std::pair<const char *, const char *> uses[] = {
        {"check time_of_day 0 60", "sh_time_of_day"},
        {"check lunar_day 8 15 0", "sh_lunar_day"},
        {"check solar_term 5", "sh_solar_term"},
        {"restart 1 1 10", "sh_delay_restart"},
        {"remaining 1 1", "sh_delay_remaining"},
        {"check sun_window 2 0 1 0", "sh_sun_window"},
        {"check sun_elevation -60 900", "sh_sun_elevation"},
        {"location 39.9,116.4", "sh_set_home_location"},
        {"zone CST-8", "sh_set_home_zone"},
    };
    const std::vector<std::string> absent = absentNatives();
    for (const auto &[line, native] : uses) {
        const HostRun r = runHost("-", std::string("start 2025-04-04 12:00:00\n") + line + "\n");
        const bool lacks = std::find(absent.begin(), absent.end(), native) != absent.end();
        if (lacks) {
            EXPECT_EQ(r.status, 2) << line;
            EXPECT_NE(r.err.find(std::string("the plug-in does not provide ") + native),
                      std::string::npos)
                << r.err;
            const HostRun when =
                runHost(std::string("when '") + (line + 6) + "' --from 2025-01-01 --to 2025-01-02");
            if (std::string(line).rfind("check", 0) == 0) {
                EXPECT_EQ(when.status, 2);
                EXPECT_NE(when.err.find(std::string("the plug-in does not provide ") + native),
                          std::string::npos)
                    << when.err;
            }
        } else {
            EXPECT_EQ(r.status, 0) << line << "\n" << r.out << r.err;
            EXPECT_NE(r.out.find(std::string(native) + " -> "), std::string::npos) << r.out;
        }
    }
    if (!absent.empty()) {
        // Typed in --realtime, the command is refused and the host goes on.
        const HostRun live = runHost("--realtime --for 1s", "check solar_term 5\nshow\n");
        EXPECT_EQ(live.status, 0) << live.out << live.err;
        if (std::find(absent.begin(), absent.end(), "sh_solar_term") != absent.end()) {
            EXPECT_NE(live.out.find("<stdin>:1: the plug-in does not provide sh_solar_term"),
                      std::string::npos)
                << live.out;
        }
        EXPECT_NE(live.out.find("0 blocks leaked"), std::string::npos) << live.out;
        GTEST_SKIP() << "the plug-in does not provide " << absent[0]
                     << ": only the refusals were checked";
    }
}

TEST(MinimalHost, DrivesOneDelayEndToEnd) {
    EXPECT_EQ(runCommand(program(MINIMAL_HOST_PATH) + " > " + NOWHERE), 0);
}

} // namespace

// ---- the holiday schedule

// The days 2025's notice moves, from the npm library chinese-days (which
// agrees with the notice on every day of 2025): worked Saturdays and
// Sundays, and weekdays off.
std::pair<std::set<std::string>, std::set<std::string>> movedDaysOf2025() {
    std::set<std::string> worked, off;
    std::istringstream dump(
        slurp(std::string(KELVO_SOURCE_DIR) + "/tests/data/holidays-chinese-days.txt"));
    std::string date, kind, name;
    while (dump >> date >> kind >> name) {
        if (date.rfind("2025-", 0) != 0)
            continue;
        using namespace std::chrono;
        const year_month_day ymd{year{2025}, month{unsigned(std::stoi(date.substr(5, 2)))},
                                 day{unsigned(std::stoi(date.substr(8, 2)))}};
        const weekday w{sys_days{ymd}};
        const bool weekend = w == Saturday || w == Sunday;
        if (kind == "work")
            worked.insert(date);
        else if (!weekend)
            off.insert(date);
    }
    return {worked, off};
}

TEST(ShSysHost, ChinaWorkdaysExample) {
    const HostRun r =
        runHost(inQuotes(std::string(KELVO_SOURCE_DIR) + "/examples/china-workdays.scn"));
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.out.find("FAILED"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("18 checks (0 failed)"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("day off, in the holiday break of Spring Festival"), std::string::npos)
        << "show tells the break";
}

TEST(ShSysHost, CalendarOfWorkingDaysMarksTheMovedDays) {
    const auto [worked, off] = movedDaysOf2025();
    ASSERT_EQ(worked.size(), 5u);
    ASSERT_EQ(off.size(), 18u);
    const auto svg = scratch("sh-sys-host-workdays").replace_extension(".svg");
    const HostRun r =
        runHost("calendar 'workday 0' --year 2025 --color never --svg '" + svg.string() + "'");
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string text = slurp(svg);
    std::filesystem::remove(svg);
    // Every framed day of the picture, by its id.
    std::set<std::string> framedWorked, framedOff;
    static const std::regex frame("<rect id=\"([wo])(2025-[0-9]{2}-[0-9]{2})\"");
    for (auto it = std::sregex_iterator(text.begin(), text.end(), frame);
         it != std::sregex_iterator(); ++it)
        ((*it)[1] == "w" ? framedWorked : framedOff).insert((*it)[2]);
    EXPECT_EQ(framedWorked, worked);
    EXPECT_EQ(framedOff, off);
    EXPECT_NE(text.find("a Saturday or Sunday worked"), std::string::npos) << "legend";
    // The text: a worked Sunday holds (W), a weekday off does not (o).
    EXPECT_NE(r.out.find("26W27*28o29o30o31o"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("(\u73ed, 5 days)"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("(\u4f11, 18 days)"), std::string::npos) << r.out;
    // 2025 has 261 weekdays; less those off, plus the worked weekend days.
    EXPECT_NE(r.out.find("(248 days)"), std::string::npos) << r.out;
}

TEST(ShSysHost, HolidayScheduleFilesAndTheirFaults) {
    const auto dir = scratch("sh-sys-host-holidays");
    std::filesystem::create_directories(dir);
    std::ofstream(dir / "good.txt") << "# a schedule of our own\nyear 2030\n"
                                       "spring-festival off 02-02..02-08 work 02-10\n";
    std::ofstream(dir / "bad.txt") << "year 2030\n\nlabour-day off 05-01 work 04-29\n";
    std::ofstream(dir / "uses.scn")
        << "start 2030-02-04 12:00:00\nholidays good.txt\n"
           "check holiday 2 0 expect true\ncheck workday 6 expect true\n";
    std::ofstream(dir / "fails.scn") << "start 2030-02-04 12:00:00\n\nholidays bad.txt\n"
                                        "check workday 0 expect true\n";
    const HostRun uses = runHost(inQuotes(dir / "uses.scn"));
    EXPECT_EQ(uses.status, 0) << uses.out << uses.err;
    EXPECT_NE(uses.out.find("sh_holiday_schedule_load -> true"), std::string::npos) << uses.out;
    // A refused schedule stops the scenario: its line, then the file's.
    const HostRun fails = runHost(inQuotes(dir / "fails.scn"));
    EXPECT_EQ(fails.status, 2);
    EXPECT_NE(fails.err.find("fails.scn:3: "), std::string::npos) << fails.err;
    EXPECT_NE(fails.err.find("bad.txt:3: worked day not a Saturday or Sunday: '04-29'"),
              std::string::npos)
        << fails.err;
    EXPECT_EQ(fails.out.find("check workday"), std::string::npos) << "nothing after it ran";
    // --holidays before when, and its faults.
    const HostRun when = runHost("--holidays " + inQuotes(dir / "good.txt") +
                                 " when 'holiday 2 0' --from 2030-01-01 --to 2030-12-31");
    EXPECT_EQ(when.status, 0) << when.err;
    EXPECT_NE(when.out.find("2030-02-02 00:00:00 .. 2030-02-09 23:59:59"), std::string::npos)
        << when.out;
    const HostRun bad =
        runHost("--holidays " + inQuotes(dir / "bad.txt") + " calendar 'workday 0' --year 2030");
    EXPECT_EQ(bad.status, 2);
    EXPECT_NE(bad.err.find("bad.txt:3: worked day"), std::string::npos) << bad.err;
    const HostRun missing = runHost("--holidays " + inQuotes(dir / "none.txt"));
    EXPECT_EQ(missing.status, 2);
    EXPECT_NE(missing.err.find("cannot read holiday schedule"), std::string::npos) << missing.err;
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
}

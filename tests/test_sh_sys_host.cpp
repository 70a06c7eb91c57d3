// SPDX-License-Identifier: MIT
// sh-sys-host: its scenario parser, and the program run as a user runs it.
#if defined(_WIN32)
#include <process.h>
#else
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

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
        {"check calendar 24 2", "missing argument"},
        {"check lunar 1 1 expect maybe", "expect true or false"},
        {"check week_day 0x1F expect", "expect what?"},
        {"check second_of_day expect 86400", "bad expected second of day"},
        {"check calendar 24 2 9 true", "expect ...?"},
        {"show now", "unexpected 'now'"},
    };
    for (const auto &[line, message] : bad) {
        const Scenario sc = parseScenario(std::string("show\n\n") + line + "\nshow\n", "bad.scn");
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

// A path quoted for the command interpreter (double quotes suit both).
std::string inQuotes(const std::filesystem::path &p) {
    return "\"" + p.string() + "\"";
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

HostRun runHost(const std::string &args, const std::string &input = "") {
    const auto dir = std::filesystem::temp_directory_path() /
                     ("sh-sys-host-test-" + std::to_string(processId()));
    std::filesystem::create_directories(dir);
    std::ofstream(dir / "in") << input;
    const std::string cmd = program(SH_SYS_HOST_PATH) + " " + args + " < " + inQuotes(dir / "in") +
                            " > " + inQuotes(dir / "out") + " 2> " + inQuotes(dir / "err");
    HostRun r{runCommand(cmd), slurp(dir / "out"), slurp(dir / "err")};
    std::filesystem::remove_all(dir);
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
    for (const char *name : {"office-hours.scn", "lunar-festival.scn", "long-delay.scn"}) {
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
    EXPECT_EQ(r.err, "<stdin>:2: missing delay id\n<stdin>:3: unknown command 'fly'\n");
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
    const auto out =
        std::filesystem::temp_directory_path() / ("sigint-" + std::to_string(processId()));
    const std::string cmd = "sh -c 'sleep 3 | " + program(SH_SYS_HOST_PATH) + " --realtime > " +
                            inQuotes(out) + " 2>&1 & pid=$!; sleep 1; kill -INT $pid; wait $pid'";
    const int status = runCommand(cmd);
    const std::string text = slurp(out);
    std::filesystem::remove(out);
    EXPECT_EQ(status, 0) << text;
    EXPECT_NE(text.find("interrupted: shutting the plug-in down"), std::string::npos) << text;
    EXPECT_NE(text.find("plug-in log: sh_func_manager_deinit"), std::string::npos) << text;
    EXPECT_NE(text.find("0 blocks leaked"), std::string::npos) << text;
}

#endif

TEST(MinimalHost, DrivesOneDelayEndToEnd) {
#if defined(_WIN32)
    const char *nowhere = "NUL";
#else
    const char *nowhere = "/dev/null";
#endif
    EXPECT_EQ(runCommand(program(MINIMAL_HOST_PATH) + " > " + nowhere), 0);
}

} // namespace

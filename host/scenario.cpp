// SPDX-License-Identifier: MIT
#include "scenario.h"

#include <charconv>
#include <chrono>
#include <cstdio>
#include <limits>

namespace shhost {

namespace {

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

std::vector<std::string_view> words(std::string_view s) {
    std::vector<std::string_view> out;
    while (true) {
        s = trim(s);
        if (s.empty())
            return out;
        const size_t end = s.find_first_of(" \t");
        out.push_back(s.substr(0, end));
        if (end == std::string_view::npos)
            return out;
        s.remove_prefix(end);
    }
}

// A whole decimal number, or hexadecimal with 0x when allowed.
std::optional<int64_t> parseInt(std::string_view s, bool allowHex = false) {
    bool negative = false;
    if (!s.empty() && (s.front() == '-' || s.front() == '+')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    int base = 10;
    if (allowHex && s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        base = 16;
        s.remove_prefix(2);
    }
    uint64_t value = 0;
    const auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), value, base);
    if (s.empty() || ec != std::errc() || ptr != s.data() + s.size())
        return std::nullopt;
    if (value > uint64_t{1} << 62)
        return std::nullopt;
    return negative ? -static_cast<int64_t>(value) : static_cast<int64_t>(value);
}

struct LineParser {
    std::vector<std::string_view> w;
    Diagnostic &error;
    int line;

    bool fail(std::string message) {
        error = Diagnostic{line, std::move(message)};
        return false;
    }

    bool intIn(size_t i, int64_t lo, int64_t hi, const char *what, int64_t &out, bool hex = false) {
        if (i >= w.size())
            return fail(std::string("missing ") + what);
        const auto v = parseInt(w[i], hex);
        if (!v || *v < lo || *v > hi)
            return fail(std::string("bad ") + what + " '" + std::string(w[i]) + "' (" +
                        std::to_string(lo) + ".." + std::to_string(hi) + ")");
        out = *v;
        return true;
    }

    bool noMore(size_t i) {
        if (i < w.size())
            return fail("unexpected '" + std::string(w[i]) + "'");
        return true;
    }

    bool homeTime(size_t i, int64_t &out) {
        if (i + 1 >= w.size())
            return fail("expected a home time YYYY-MM-DD HH:MM:SS[.mmm]");
        const auto t = parseHomeTime(w[i], w[i + 1]);
        if (!t)
            return fail("bad home time '" + std::string(w[i]) + " " + std::string(w[i + 1]) +
                        "' (YYYY-MM-DD HH:MM:SS[.mmm], 1970..2099)");
        out = *t;
        return true;
    }

    bool duration(size_t i, int64_t &out) {
        if (i >= w.size())
            return fail("missing duration");
        const auto d = parseDuration(w[i]);
        if (!d)
            return fail("bad duration '" + std::string(w[i]) +
                        "' (such as 500ms, 10s, 2m, 1h, 1d)");
        out = *d;
        return true;
    }

    // [expect true|false] or [expect <n>] at w[i]
    bool expectation(size_t i, Command &c, bool numeric) {
        if (i == w.size())
            return true;
        if (w[i] != "expect")
            return fail("unexpected '" + std::string(w[i]) + "' (expect ...?)");
        if (i + 1 >= w.size())
            return fail("expect what?");
        if (numeric) {
            int64_t n = 0;
            if (!intIn(i + 1, 0, 86399, "expected second of day", n))
                return false;
            c.expect = n;
        } else if (w[i + 1] == "true" || w[i + 1] == "false") {
            c.expect = w[i + 1] == "true" ? 1 : 0;
        } else {
            return fail("expect true or false, not '" + std::string(w[i + 1]) + "'");
        }
        return noMore(i + 2);
    }

    bool check(Command &c) {
        if (w.size() < 2)
            return fail("check what? (time_range, calendar, week_day, lunar, second_of_day)");
        const std::string_view kind = w[1];
        size_t count = 0;
        bool hex = false;
        if (kind == "time_range") {
            c.check = CheckKind::TimeRange;
            count = 8;
        } else if (kind == "calendar") {
            c.check = CheckKind::Calendar;
            count = 3;
        } else if (kind == "week_day") {
            c.check = CheckKind::WeekDay;
            count = 1;
            hex = true;
        } else if (kind == "lunar") {
            c.check = CheckKind::Lunar;
            count = 2;
        } else if (kind == "second_of_day") {
            c.check = CheckKind::SecondOfDay;
            return expectation(2, c, true);
        } else {
            return fail("unknown check '" + std::string(kind) + "'");
        }
        for (size_t k = 0; k < count; ++k) {
            int64_t v = 0;
            const int64_t hi = hex ? 0xFFFFFFFFLL : std::numeric_limits<int32_t>::max();
            if (!intIn(2 + k, std::numeric_limits<int32_t>::min(), hi, "argument", v, hex))
                return false;
            c.ints.push_back(v);
        }
        return expectation(2 + count, c, false);
    }

    bool parse(Command &c) {
        const std::string_view verb = w[0];
        constexpr int64_t VM_MAX = std::numeric_limits<uint32_t>::max();
        constexpr int64_t I32_MIN = std::numeric_limits<int32_t>::min();
        constexpr int64_t I32_MAX = std::numeric_limits<int32_t>::max();
        int64_t a = 0, b = 0, s = 0;
        if (verb == "start") {
            c.op = Op::Start;
            return homeTime(1, c.time) && noMore(3);
        }
        if (verb == "delay") {
            c.op = Op::Delay;
            if (!intIn(1, 0, VM_MAX, "vm", a) || !intIn(2, I32_MIN, I32_MAX, "delay id", b) ||
                !intIn(3, I32_MIN, I32_MAX, "seconds", s))
                return false;
            c.ints = {a, b, s};
            return noMore(4);
        }
        if (verb == "cancel") {
            c.op = Op::Cancel;
            if (!intIn(1, 0, VM_MAX, "vm", a) || !intIn(2, I32_MIN, I32_MAX, "delay id", b))
                return false;
            c.ints = {a, b};
            return noMore(3);
        }
        if (verb == "drop") {
            c.op = Op::Drop;
            if (!intIn(1, 0, VM_MAX, "vm", a))
                return false;
            c.ints = {a};
            return noMore(2);
        }
        if (verb == "advance") {
            c.op = Op::Advance;
            if (!duration(1, c.duration))
                return false;
            if (w.size() > 2) {
                if (w[2] != "every")
                    return fail("unexpected '" + std::string(w[2]) + "' (every <duration>?)");
                if (!duration(3, c.every) || !noMore(4))
                    return false;
                if (c.every == 0)
                    return fail("'every' needs a step longer than 0ms");
            }
            constexpr int64_t MAX_TICKS = 10'000'000;
            if (c.duration / c.every > MAX_TICKS)
                return fail("advance would tick " + std::to_string(c.duration / c.every) +
                            " times (at most 10000000: take a longer step)");
            return true;
        }
        if (verb == "tick") {
            c.op = Op::Tick;
            if (w.size() >= 2 && (w[1].front() == '+' || w[1].front() == '-')) {
                c.relative = true;
                const auto d = parseDuration(w[1].substr(1));
                if (!d)
                    return fail("bad duration '" + std::string(w[1]) + "' (such as +1s or -2m)");
                c.time = w[1].front() == '-' ? -*d : *d;
                return noMore(2);
            }
            return homeTime(1, c.time) && noMore(3);
        }
        if (verb == "check") {
            c.op = Op::Check;
            return check(c);
        }
        if (verb == "show") {
            c.op = Op::Show;
            return noMore(1);
        }
        return fail("unknown command '" + std::string(verb) + "'");
    }
};

} // namespace

std::optional<int64_t> parseDuration(std::string_view text) {
    if (text.empty())
        return std::nullopt;
    int64_t total = 0;
    while (!text.empty()) {
        size_t digits = 0;
        while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9')
            ++digits;
        if (digits == 0 || digits > 12)
            return std::nullopt;
        int64_t n = 0;
        std::from_chars(text.data(), text.data() + digits, n);
        text.remove_prefix(digits);
        int64_t unit = 0;
        if (text.substr(0, 2) == "ms") {
            unit = 1;
            text.remove_prefix(2);
        } else if (!text.empty()) {
            switch (text.front()) {
            case 's':
                unit = 1000;
                break;
            case 'm':
                unit = 60'000;
                break;
            case 'h':
                unit = 3'600'000;
                break;
            case 'd':
                unit = 86'400'000;
                break;
            default:
                return std::nullopt;
            }
            text.remove_prefix(1);
        } else {
            return std::nullopt; // a unit is required
        }
        constexpr int64_t LIMIT = int64_t{1} << 50; // some 35 000 years of milliseconds
        if (n > (LIMIT - total) / unit)
            return std::nullopt;
        total += n * unit;
    }
    return total;
}

std::string formatDuration(int64_t ms) {
    const char *sign = ms < 0 ? "-" : "";
    const uint64_t v = ms < 0 ? static_cast<uint64_t>(-ms) : static_cast<uint64_t>(ms);
    char buf[48];
    if (v % 86'400'000 == 0 && v != 0)
        std::snprintf(buf, sizeof buf, "%s%llud", sign,
                      static_cast<unsigned long long>(v / 86'400'000));
    else if (v % 3'600'000 == 0 && v != 0)
        std::snprintf(buf, sizeof buf, "%s%lluh", sign,
                      static_cast<unsigned long long>(v / 3'600'000));
    else if (v % 60'000 == 0 && v != 0)
        std::snprintf(buf, sizeof buf, "%s%llum", sign,
                      static_cast<unsigned long long>(v / 60'000));
    else if (v % 1000 == 0)
        std::snprintf(buf, sizeof buf, "%s%llus", sign, static_cast<unsigned long long>(v / 1000));
    else
        std::snprintf(buf, sizeof buf, "%s%llums", sign, static_cast<unsigned long long>(v));
    return buf;
}

namespace {

// The number in text[pos, pos + n), digits only.
std::optional<unsigned> digitsAt(std::string_view text, size_t pos, size_t n) {
    if (pos + n > text.size())
        return std::nullopt;
    unsigned v = 0;
    for (size_t i = pos; i < pos + n; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return std::nullopt;
        v = v * 10 + static_cast<unsigned>(text[i] - '0');
    }
    return v;
}

} // namespace

std::optional<int64_t> parseHomeTime(std::string_view date, std::string_view time) {
    if (date.size() != 10 || date[4] != '-' || date[7] != '-')
        return std::nullopt;
    if (!(time.size() == 8 || (time.size() == 12 && time[8] == '.')) || time[2] != ':' ||
        time[5] != ':')
        return std::nullopt;
    const auto y = digitsAt(date, 0, 4), mo = digitsAt(date, 5, 2), d = digitsAt(date, 8, 2);
    const auto h = digitsAt(time, 0, 2), mi = digitsAt(time, 3, 2), s = digitsAt(time, 6, 2);
    const auto ms = time.size() == 12 ? digitsAt(time, 9, 3) : std::optional<unsigned>(0);
    if (!y || !mo || !d || !h || !mi || !s || !ms)
        return std::nullopt;
    using namespace std::chrono;
    const year_month_day ymd{year{static_cast<int>(*y)}, month{*mo}, day{*d}};
    if (!ymd.ok() || *y < 1970 || *y > 2099 || *h > 23 || *mi > 59 || *s > 59)
        return std::nullopt;
    const auto since = sys_days{ymd}.time_since_epoch();
    return duration_cast<milliseconds>(since).count() + ((*h * 60LL + *mi) * 60 + *s) * 1000 + *ms;
}

std::string formatHomeTime(int64_t ms) {
    using namespace std::chrono;
    const int64_t dayMs = 86'400'000;
    int64_t days = ms / dayMs, rest = ms % dayMs;
    if (rest < 0) {
        rest += dayMs;
        --days;
    }
    const year_month_day ymd{sys_days{std::chrono::days{days}}};
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04d-%02u-%02u %02lld:%02lld:%02lld.%03lld", int(ymd.year()),
                  unsigned(ymd.month()), unsigned(ymd.day()),
                  static_cast<long long>(rest / 3'600'000),
                  static_cast<long long>(rest / 60'000 % 60),
                  static_cast<long long>(rest / 1000 % 60), static_cast<long long>(rest % 1000));
    return buf;
}

std::optional<Command> parseLine(std::string_view line, int number, Diagnostic &error) {
    const size_t hash = line.find('#');
    const std::string_view body = trim(line.substr(0, hash));
    if (body.empty())
        return std::nullopt;
    Command c;
    c.line = number;
    c.text = std::string(body);
    LineParser p{words(body), error, number};
    if (!p.parse(c))
        return std::nullopt;
    return c;
}

Scenario parseScenario(std::string_view text, std::string name) {
    Scenario sc;
    sc.name = std::move(name);
    int number = 0;
    while (!text.empty()) {
        ++number;
        const size_t nl = text.find('\n');
        const std::string_view line = text.substr(0, nl);
        text = nl == std::string_view::npos ? std::string_view{} : text.substr(nl + 1);
        // "## text" narrates: it is shown in the timeline as it is reached.
        const std::string_view t = trim(line);
        if (t.substr(0, 2) == "##") {
            Command say;
            say.op = Op::Say;
            say.line = number;
            say.text = std::string(trim(t.substr(2)));
            sc.commands.push_back(std::move(say));
            continue;
        }
        Diagnostic error{0, {}};
        if (auto c = parseLine(line, number, error))
            sc.commands.push_back(std::move(*c));
        else if (!error.message.empty())
            sc.errors.push_back(std::move(error));
    }
    return sc;
}

} // namespace shhost

// SPDX-License-Identifier: MIT
#include "scenario.h"

#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <limits>

namespace shhost {

namespace {

constexpr int64_t I32_MIN = std::numeric_limits<int32_t>::min();
constexpr int64_t I32_MAX = std::numeric_limits<int32_t>::max();
constexpr int64_t VM_MAX = std::numeric_limits<uint32_t>::max();

// The conditions `check` knows, with the names of their arguments in order.
// The arguments go to the native as they are written: the plug-in decides
// what a value out of range means.
struct CheckSyntax {
    const char *word;
    CheckKind kind;
    std::vector<const char *> args;
    bool hex; // the weekday mask reads best in hexadecimal
};
const CheckSyntax CHECK_SYNTAX[] = {
    {"time_range",
     CheckKind::TimeRange,
     {"start year", "start month", "start day", "start second", "end year", "end month", "end day",
      "end second"},
     false},
    {"calendar", CheckKind::Calendar, {"year", "month", "day"}, false},
    {"week_day", CheckKind::WeekDay, {"mask"}, true},
    {"lunar", CheckKind::Lunar, {"month", "day"}, false},
    {"second_of_day", CheckKind::SecondOfDay, {}, false},
    {"time_of_day", CheckKind::TimeOfDay, {"start second", "end second"}, false},
    {"lunar_day", CheckKind::LunarDay, {"month", "day", "leap"}, false},
    {"solar_term", CheckKind::SolarTerm, {"term"}, false},
    {"sun_window",
     CheckKind::SunWindow,
     {"from event", "from offset", "to event", "to offset"},
     false},
    {"sun_elevation", CheckKind::SunElevation, {"low tenths", "high tenths"}, false},
    {"workday", CheckKind::Workday, {"days ahead"}, false},
    {"holiday", CheckKind::Holiday, {"holiday", "days ahead"}, false},
};

std::string usageOf(const CheckSyntax &s) {
    std::string u = std::string("check ") + s.word;
    for (const char *a : s.args)
        u += std::string(" <") + a + ">";
    return u;
}

std::string checkWords() {
    std::string all;
    for (const CheckSyntax &s : CHECK_SYNTAX)
        all += std::string(all.empty() ? "" : ", ") + s.word;
    return all;
}

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

std::string q(std::string_view word) {
    // Appended, not "'" + ...: GCC 12 at -O2 warns falsely (-Wrestrict) on
    // inserting at the front of a temporary.
    std::string quoted(1, '\'');
    quoted += quoteBytes(word);
    quoted += '\'';
    return quoted;
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

    // usage is appended to a "missing" message, so that it names the place.
    bool intIn(size_t i, int64_t lo, int64_t hi, const char *what, int64_t &out, bool hex = false,
               const std::string &usage = {}) {
        if (i >= w.size())
            return fail(std::string("missing ") + what + (usage.empty() ? "" : " (" + usage + ")"));
        const auto v = parseInt(w[i], hex);
        if (!v || *v < lo || *v > hi)
            return fail(std::string("bad ") + what + " " + q(w[i]) + " (" + std::to_string(lo) +
                        ".." + std::to_string(hi) + ")");
        out = *v;
        return true;
    }

    bool noMore(size_t i) {
        if (i < w.size())
            return fail("unexpected " + q(w[i]));
        return true;
    }

    bool homeTime(size_t i, int64_t &out) {
        if (i + 1 >= w.size())
            return fail("expected a home time YYYY-MM-DD HH:MM:SS[.mmm]");
        const auto t = parseHomeTime(w[i], w[i + 1]);
        if (!t)
            return fail("bad home time " + q(std::string(w[i]) + " " + std::string(w[i + 1])) +
                        " (YYYY-MM-DD HH:MM:SS[.mmm], 1970..2099)");
        out = *t;
        return true;
    }

    bool durationText(std::string_view text, std::string_view shown, int64_t &out,
                      const char *examples) {
        bool tooLarge = false;
        const auto d = parseDuration(text, &tooLarge);
        if (tooLarge)
            return fail("duration " + q(shown) + " is too large (at most " +
                        formatDuration(MAX_DURATION_MS) + ", the whole home calendar 1970..2099)");
        if (!d)
            return fail("bad duration " + q(shown) + " (such as " + examples + ")");
        out = *d;
        return true;
    }

    bool duration(size_t i, int64_t &out) {
        if (i >= w.size())
            return fail("missing duration");
        return durationText(w[i], w[i], out, "500ms, 10s, 2m, 1h, 1d");
    }

    // [expect true|false] or [expect <n>] at w[i]
    bool expectation(size_t i, Command &c, bool numeric, int64_t lo = 0, int64_t hi = 0,
                     const char *what = "") {
        if (i == w.size())
            return true;
        if (w[i] != "expect")
            return fail("unexpected " + q(w[i]) + " (expect ...?)");
        if (i + 1 >= w.size())
            return fail("expect what?");
        if (numeric) {
            int64_t n = 0;
            if (!intIn(i + 1, lo, hi, what, n))
                return false;
            c.expect = n;
        } else if (w[i + 1] == "true" || w[i + 1] == "false") {
            c.expect = w[i + 1] == "true" ? 1 : 0;
        } else {
            return fail("expect true or false, not " + q(w[i + 1]));
        }
        return noMore(i + 2);
    }

    // The condition at w[first]; its arguments follow it.
    bool condition(Command &c, size_t first, size_t &next) {
        if (w.size() <= first)
            return fail("check what? (" + checkWords() + ")");
        const CheckSyntax *syntax = nullptr;
        for (const CheckSyntax &s : CHECK_SYNTAX)
            if (w[first] == s.word)
                syntax = &s;
        if (syntax == nullptr)
            return fail("unknown check " + q(w[first]) + " (" + checkWords() + ")");
        c.check = syntax->kind;
        const int64_t hi = syntax->hex ? 0xFFFFFFFFLL : I32_MAX;
        for (size_t k = 0; k < syntax->args.size(); ++k) {
            int64_t v = 0;
            if (!intIn(first + 1 + k, I32_MIN, hi, syntax->args[k], v, syntax->hex,
                       usageOf(*syntax)))
                return false;
            c.ints.push_back(v);
        }
        next = first + 1 + syntax->args.size();
        return true;
    }

    bool check(Command &c) {
        size_t next = 0;
        if (!condition(c, 1, next))
            return false;
        if (c.check == CheckKind::SecondOfDay)
            return expectation(next, c, true, 0, 86399, "expected second of day");
        return expectation(next, c, false);
    }

    bool vmAndId(Command &c, const char *usage) {
        int64_t a = 0, b = 0;
        if (!intIn(1, 0, VM_MAX, "vm", a, false, usage) ||
            !intIn(2, I32_MIN, I32_MAX, "delay id", b, false, usage))
            return false;
        c.ints = {a, b};
        return true;
    }

    bool parse(Command &c) {
        const std::string_view verb = w[0];
        int64_t s = 0;
        if (verb == "start") {
            c.op = Op::Start;
            return homeTime(1, c.time) && noMore(3);
        }
        if (verb == "delay" || verb == "restart") {
            c.op = verb == "delay" ? Op::Delay : Op::Restart;
            const std::string usage = std::string(verb) + " <vm> <delay id> <seconds>";
            if (!vmAndId(c, usage.c_str()) ||
                !intIn(3, I32_MIN, I32_MAX, "seconds", s, false, usage))
                return false;
            c.ints.push_back(s);
            return noMore(4);
        }
        if (verb == "remaining") {
            c.op = Op::Remaining;
            return vmAndId(c, "remaining <vm> <delay id>") &&
                   expectation(3, c, true, -1, I32_MAX, "expected seconds");
        }
        if (verb == "cancel") {
            c.op = Op::Cancel;
            return vmAndId(c, "cancel <vm> <delay id>") && noMore(3);
        }
        if (verb == "drop") {
            c.op = Op::Drop;
            int64_t a = 0;
            if (!intIn(1, 0, VM_MAX, "vm", a, false, "drop <vm>"))
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
                    return fail("unexpected " + q(w[2]) + " (every <duration>?)");
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
                if (!durationText(w[1].substr(1), w[1], c.time, "+1s or -2m"))
                    return false;
                if (w[1].front() == '-')
                    c.time = -c.time;
                return noMore(2);
            }
            return homeTime(1, c.time) && noMore(3);
        }
        if (verb == "check") {
            c.op = Op::Check;
            return check(c);
        }
        if (verb == "holidays") {
            c.op = Op::Holidays;
            if (w.size() < 2)
                return fail("missing schedule file (holidays <file>)");
            c.path = std::string(w[1]);
            return noMore(2);
        }
        if (verb == "show") {
            c.op = Op::Show;
            return noMore(1);
        }
        if (verb == "location") {
            c.op = Op::Location;
            if (w.size() < 2)
                return fail("missing place (location <latitude>,<longitude>)");
            const auto place = parseLocation(w[1]);
            if (!place)
                return fail("bad place " + q(w[1]) + " (degrees north,east such as 39.9,116.4)");
            c.latitude = place->first;
            c.longitude = place->second;
            return noMore(2);
        }
        if (verb == "zone") {
            c.op = Op::Zone;
            if (w.size() < 2)
                return fail("missing zone (zone <POSIX TZ> such as CST-8)");
            c.zone = std::string(w[1]);
            return noMore(2);
        }
        return fail("unknown command " + q(verb));
    }
};

// Where each command leaves the clock, known before anything runs: a
// scenario that would leave the home calendar is refused as a whole.
struct ClockTrack {
    bool started = false;
    int64_t now = 0;

    std::optional<std::string> follow(const Command &c) {
        if (c.op == Op::Say)
            return std::nullopt;
        if (!started && c.op != Op::Start)
            return "set the clock first: the first command must be 'start YYYY-MM-DD HH:MM:SS'";
        int64_t target = now;
        if (c.op == Op::Start || (c.op == Op::Tick && !c.relative))
            target = c.time;
        else if (c.op == Op::Tick)
            target = now + c.time;
        else if (c.op == Op::Advance)
            target = now + c.duration;
        if (target < 0 || target >= HOME_END_MS)
            return "'" + c.text + "' would take the clock to " + formatHomeTime(target) +
                   ", outside the home calendar (1970..2099)";
        started = true;
        now = target;
        return std::nullopt;
    }
};

} // namespace

std::optional<int64_t> parseDuration(std::string_view text, bool *tooLarge) {
    if (tooLarge != nullptr)
        *tooLarge = false;
    if (text.empty())
        return std::nullopt;
    int64_t total = 0;
    bool over = false; // well-formed so far, but longer than the limit
    while (!text.empty()) {
        size_t digits = 0;
        while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9')
            ++digits;
        if (digits == 0 || digits > 18)
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
        if (over || n > (MAX_DURATION_MS - total) / unit)
            over = true;
        else
            total += n * unit;
    }
    if (over) {
        if (tooLarge != nullptr)
            *tooLarge = true;
        return std::nullopt;
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

// The length of the valid UTF-8 sequence at text[i] and its code point, or
// 0 when the bytes there are not one (overlong forms and surrogates included).
size_t utf8Sequence(std::string_view text, size_t i, uint32_t &cp) {
    const auto b = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = b(i);
    size_t n = 0;
    uint32_t min = 0;
    if (lead < 0x80) {
        cp = lead;
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        n = 2, cp = lead & 0x1Fu, min = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        n = 3, cp = lead & 0x0Fu, min = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        n = 4, cp = lead & 0x07u, min = 0x10000;
    } else {
        return 0;
    }
    if (i + n > text.size())
        return 0;
    for (size_t k = 1; k < n; ++k) {
        if ((b(i + k) & 0xC0) != 0x80)
            return 0;
        cp = cp << 6 | (b(i + k) & 0x3Fu);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return n;
}

} // namespace

std::optional<size_t> invalidUtf8At(std::string_view text) {
    for (size_t i = 0; i < text.size();) {
        uint32_t cp = 0;
        const size_t n = utf8Sequence(text, i, cp);
        if (n == 0)
            return i;
        i += n;
    }
    return std::nullopt;
}

std::string quoteBytes(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size();) {
        uint32_t cp = 0;
        const size_t n = utf8Sequence(text, i, cp);
        const bool printable = n > 0 && cp >= 0x20 && cp != 0x7F && !(cp >= 0x80 && cp < 0xA0);
        if (printable) {
            out.append(text.substr(i, n));
            i += n;
            continue;
        }
        char hex[5];
        std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned char>(text[i]));
        out += hex;
        ++i;
    }
    return out;
}

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
    if (const auto at = invalidUtf8At(line)) {
        error = Diagnostic{number, "invalid UTF-8: byte " + quoteBytes(line.substr(*at, 1)) +
                                       " at column " + std::to_string(*at + 1)};
        return std::nullopt;
    }
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

std::optional<std::pair<double, double>> parseLocation(std::string_view text) {
    const size_t comma = text.find(',');
    if (comma == std::string_view::npos)
        return std::nullopt;
    const auto number = [](std::string_view s) -> std::optional<double> {
        if (!s.empty() && s.front() == '+')
            s.remove_prefix(1);
        double v = 0;
        const auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
        if (s.empty() || ec != std::errc() || ptr != s.data() + s.size() || !std::isfinite(v))
            return std::nullopt;
        return v;
    };
    const auto lat = number(text.substr(0, comma));
    const auto lon = number(text.substr(comma + 1));
    if (!lat || !lon)
        return std::nullopt;
    return std::make_pair(*lat, *lon);
}

std::optional<Command> parseCondition(std::string_view text, std::string &error) {
    Diagnostic d{0, {}};
    if (const auto at = invalidUtf8At(text)) {
        error = "invalid UTF-8 in the condition: byte " + quoteBytes(text.substr(*at, 1));
        return std::nullopt;
    }
    Command c;
    c.op = Op::Check;
    c.text = std::string(trim(text));
    LineParser p{words(text), d, 0};
    p.w.insert(p.w.begin(), "check");
    size_t next = 0;
    if (!p.condition(c, 1, next) || !p.noMore(next)) {
        error = d.message;
        return std::nullopt;
    }
    if (c.check == CheckKind::SecondOfDay) {
        error = "second_of_day is a number, not a condition";
        return std::nullopt;
    }
    return c;
}

Scenario parseScenario(std::string_view text, std::string name) {
    Scenario sc;
    sc.name = std::move(name);
    constexpr std::string_view BOM = "\xEF\xBB\xBF";
    if (text.substr(0, BOM.size()) == BOM)
        text.remove_prefix(BOM.size());
    ClockTrack clock;
    int number = 0;
    while (!text.empty()) {
        ++number;
        const size_t nl = text.find('\n');
        const std::string_view line = text.substr(0, nl);
        text = nl == std::string_view::npos ? std::string_view{} : text.substr(nl + 1);
        Diagnostic error{0, {}};
        // "## text" narrates: it is shown in the timeline as it is reached.
        const std::string_view t = trim(line);
        if (t.substr(0, 2) == "##" && !invalidUtf8At(t)) {
            Command say;
            say.op = Op::Say;
            say.line = number;
            say.text = quoteBytes(trim(t.substr(2)));
            sc.commands.push_back(std::move(say));
            continue;
        }
        if (auto c = parseLine(line, number, error)) {
            if (auto refused = clock.follow(*c))
                sc.errors.push_back(Diagnostic{number, std::move(*refused)});
            else
                sc.commands.push_back(std::move(*c));
        } else if (!error.message.empty()) {
            sc.errors.push_back(std::move(error));
        }
    }
    return sc;
}

} // namespace shhost

// SPDX-License-Identifier: MIT
#include "calendar.h"

#include <chrono>
#include <cstdio>

#include "checks.h"

namespace shhost {

namespace {

using namespace std::chrono;

const char *const MONTHS[] = {"January",   "February", "March",    "April",
                              "May",       "June",     "July",     "August",
                              "September", "October",  "November", "December"};
const char *const WEEK_HEAD[] = {"Su", "Mo", "Tu", "We", "Th", "Fr", "Sa"};

constexpr int MONTH_WIDTH = 21; // seven cells of two digits and a marker
constexpr int MONTHS_A_ROW = 3;

struct MonthLayout {
    sys_days first;
    unsigned days;
    unsigned offset; // weekday of the 1st, Sunday 0
    int dayOfYear;   // of the 1st, 0-based
};

MonthLayout monthLayout(int y, unsigned m) {
    const year_month ym{year{y}, month{m}};
    const sys_days first{ym / 1};
    const sys_days jan1{year{y} / 1 / 1};
    return {first, unsigned((ym / last).day()), weekday{first}.c_encoding(),
            static_cast<int>((first - jan1).count())};
}

std::string centred(const std::string &text, size_t width) {
    if (text.size() >= width)
        return text;
    return std::string((width - text.size()) / 2, ' ') + text;
}

std::string padded(std::string text, size_t width) {
    text.resize(std::max(text.size(), width), ' ');
    return text;
}

void rightTrim(std::string &s) {
    while (!s.empty() && s.back() == ' ')
        s.pop_back();
}

// Eight lines of one month: its name, the weekday heading, six weeks.
std::vector<std::string> monthLines(int y, unsigned m, const std::vector<bool> &held,
                                    bool highlight, const std::vector<char> &adjusted) {
    const MonthLayout l = monthLayout(y, m);
    std::vector<std::string> lines{padded(centred(MONTHS[m - 1], 20), MONTH_WIDTH)};
    std::string head;
    for (const char *w : WEEK_HEAD)
        head += std::string(w) + " ";
    lines.push_back(head);
    for (unsigned week = 0; week < 6; ++week) {
        std::string row;
        for (unsigned col = 0; col < 7; ++col) {
            const int d = static_cast<int>(week * 7 + col) - static_cast<int>(l.offset) + 1;
            if (d < 1 || d > static_cast<int>(l.days)) {
                row += "   ";
                continue;
            }
            char num[16];
            std::snprintf(num, sizeof num, "%2d", d);
            const auto index = static_cast<size_t>(l.dayOfYear + d - 1);
            const bool on = held[index];
            const char moved = adjusted.empty() ? 0 : adjusted[index];
            const char mark = moved != 0         ? static_cast<char>(on ? moved - 'a' + 'A' : moved)
                              : on && !highlight ? '*'
                                                 : ' ';
            if (on && highlight)
                row += std::string("\x1b[1;7m") + num + "\x1b[0m" + mark;
            else
                row += std::string(num) + mark;
        }
        lines.push_back(row);
    }
    return lines;
}

std::string xmlEscaped(const std::string &text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string titleOf(const Command &check, int year) {
    return describeCondition(check) + ", " + std::to_string(year);
}

} // namespace

bool adjustedDays(ConditionClock &clock, int y, std::vector<char> &adjusted, std::string &error) {
    const sys_days jan1{year{y} / 1 / 1};
    const sys_days next{year{y + 1} / 1 / 1};
    Command workday;
    workday.op = Op::Check;
    workday.check = CheckKind::Workday;
    workday.ints = {0};
    workday.text = "workday 0";
    adjusted.assign(static_cast<size_t>((next - jan1).count()), 0);
    for (size_t d = 0; d < adjusted.size(); ++d) {
        const sys_days day = jan1 + days{static_cast<int>(d)};
        const bool works = clock.holdsAt(workday, day.time_since_epoch().count() * 86400, error);
        if (!error.empty())
            return false;
        const weekday w{day};
        const bool weekend = w == Saturday || w == Sunday;
        adjusted[d] = weekend && works ? 'w' : !weekend && !works ? 'o' : 0;
    }
    return true;
}

bool heldDays(ConditionClock &clock, const Command &check, int y, std::vector<bool> &held,
              std::string &error) {
    const sys_days jan1{year{y} / 1 / 1};
    const sys_days next{year{y + 1} / 1 / 1};
    held.assign(static_cast<size_t>((next - jan1).count()), false);
    if (isSunCheck(check)) {
        // The year's intervals, each marking the days it touches.
        const int64_t first = jan1.time_since_epoch().count() * int64_t{86400};
        std::vector<Interval> intervals;
        if (!whenHolds(clock, check, first, first + static_cast<int64_t>(held.size()) * 86400 - 1,
                       intervals, error))
            return false;
        for (const Interval &i : intervals)
            for (int64_t d = (i.first - first) / 86400; d <= (i.last - first) / 86400; ++d)
                held[static_cast<size_t>(d)] = true;
        return true;
    }
    const std::vector<int32_t> points = changePoints(check);
    for (size_t d = 0; d < held.size(); ++d) {
        const int64_t midnight =
            (jan1 + days{static_cast<int>(d)}).time_since_epoch().count() * int64_t{86400};
        for (int32_t p : points) {
            if (clock.holdsAt(check, midnight + p, error)) {
                held[d] = true;
                break;
            }
            if (!error.empty())
                return false;
        }
    }
    return true;
}

std::string calendarText(const Command &check, int y, const std::vector<bool> &held, bool highlight,
                         const std::vector<char> &adjusted) {
    const size_t width = MONTH_WIDTH * MONTHS_A_ROW + MONTHS_A_ROW - 1;
    std::string text = centred(titleOf(check, y), width) + "\n";
    for (unsigned row = 0; row < 12 / MONTHS_A_ROW; ++row) {
        std::vector<std::vector<std::string>> months;
        for (unsigned k = 0; k < MONTHS_A_ROW; ++k)
            months.push_back(monthLines(y, row * MONTHS_A_ROW + k + 1, held, highlight, adjusted));
        text += "\n";
        for (size_t i = 0; i < months[0].size(); ++i) {
            std::string line;
            for (unsigned k = 0; k < MONTHS_A_ROW; ++k)
                line += (k > 0 ? " " : "") + months[k][i];
            rightTrim(line);
            text += line + "\n";
        }
    }
    long count = 0;
    for (bool h : held)
        count += h;
    text += std::string("\n") + (highlight ? "highlighted" : "*") +
            ": the condition holds at some moment of that day (" + std::to_string(count) +
            (count == 1 ? " day)\n" : " days)\n");
    if (!adjusted.empty()) {
        long worked = 0, off = 0;
        for (char a : adjusted) {
            worked += a == 'w';
            off += a == 'o';
        }
        text += "w: a Saturday or Sunday worked (\u73ed, " + std::to_string(worked) +
                " days); o: a weekday off (\u4f11, " + std::to_string(off) + " days)\n" +
                "W, O: the same, on a day the condition holds\n";
    }
    return text;
}

std::string calendarSvg(const Command &check, int y, const std::vector<bool> &held,
                        const std::vector<char> &adjusted) {
    // A month is a block of 7 x 6 cells under its name and weekday heading.
    constexpr int CELL_W = 28, CELL_H = 22, MARGIN = 24, GAP = 24;
    constexpr int BLOCK_W = 7 * CELL_W, BLOCK_H = 2 * CELL_H + 6 * CELL_H;
    constexpr int TOP = 96; // title and legend above the months
    constexpr int WIDTH = 2 * MARGIN + MONTHS_A_ROW * BLOCK_W + (MONTHS_A_ROW - 1) * GAP;
    constexpr int HEIGHT = TOP + 4 * (BLOCK_H + GAP) + MARGIN - GAP;
    const char *const FILLED = "#1f5fa8", *const EMPTY = "#ffffff", *const LINE = "#b8b8b8";

    char buf[512];
    std::string svg;
    auto add = [&](const char *format, auto... args) {
        std::snprintf(buf, sizeof buf, format, args...);
        svg += buf;
    };
    add("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%d\" height=\"%d\" "
        "viewBox=\"0 0 %d %d\" font-family=\"DejaVu Sans, Verdana, sans-serif\">\n",
        WIDTH, HEIGHT, WIDTH, HEIGHT);
    const std::string title = xmlEscaped(titleOf(check, y));
    svg += "<title>" + title + "</title>\n";
    add("<rect x=\"0\" y=\"0\" width=\"%d\" height=\"%d\" fill=\"#ffffff\"/>\n", WIDTH, HEIGHT);
    add("<text x=\"%d\" y=\"40\" font-size=\"22\" font-weight=\"bold\">", MARGIN);
    svg += title + "</text>\n";
    // Legend: a filled and an empty cell with their meaning.
    add("<rect x=\"%d\" y=\"56\" width=\"%d\" height=\"%d\" fill=\"%s\" stroke=\"%s\"/>\n", MARGIN,
        CELL_W - 4, CELL_H - 4, FILLED, LINE);
    add("<text x=\"%d\" y=\"71\" font-size=\"13\">holds at some moment of the day</text>\n",
        MARGIN + CELL_W + 2);
    add("<rect x=\"%d\" y=\"56\" width=\"%d\" height=\"%d\" fill=\"%s\" stroke=\"%s\"/>\n",
        MARGIN + 300, CELL_W - 4, CELL_H - 4, EMPTY, LINE);
    add("<text x=\"%d\" y=\"71\" font-size=\"13\">never holds that day</text>\n",
        MARGIN + 300 + CELL_W + 2);
    // Worked weekend days (班) and weekdays off (休), as wall calendars mark them.
    const char *const WORKED = "#202020", *const OFF = "#d0312d";
    // A frame and the character in the corner; a day's frame has the id
    // "wYYYY-MM-DD" (worked) or "oYYYY-MM-DD" (off).
    auto moved = [&](int x, int yy, char kind, const std::string &date) {
        const std::string id = date.empty() ? "" : " id=\"" + (kind + date) + "\"";
        add("<rect%s x=\"%d\" y=\"%d\" width=\"%d\" height=\"%d\" fill=\"none\" stroke=\"%s\" "
            "stroke-width=\"2\"/>\n",
            id.c_str(), x + 2, yy + 2, CELL_W - 4, CELL_H - 4, kind == 'w' ? WORKED : OFF);
        add("<text x=\"%d\" y=\"%d\" font-size=\"8\" text-anchor=\"end\" fill=\"%s\">%s</text>\n",
            x + CELL_W - 2, yy + 9, kind == 'w' ? WORKED : OFF, kind == 'w' ? "\u73ed" : "\u4f11");
    };
    if (!adjusted.empty()) {
        moved(MARGIN - 2, 74, 'w', "");
        add("<text x=\"%d\" y=\"91\" font-size=\"13\">a Saturday or Sunday worked</text>\n",
            MARGIN + CELL_W + 2);
        moved(MARGIN + 298, 74, 'o', "");
        add("<text x=\"%d\" y=\"91\" font-size=\"13\">a weekday off</text>\n",
            MARGIN + 300 + CELL_W + 2);
    }

    for (unsigned m = 1; m <= 12; ++m) {
        const MonthLayout l = monthLayout(y, m);
        const int bx = MARGIN + static_cast<int>((m - 1) % MONTHS_A_ROW) * (BLOCK_W + GAP);
        const int by = TOP + static_cast<int>((m - 1) / MONTHS_A_ROW) * (BLOCK_H + GAP);
        add("<text x=\"%d\" y=\"%d\" font-size=\"15\" font-weight=\"bold\" "
            "text-anchor=\"middle\">%s</text>\n",
            bx + BLOCK_W / 2, by + CELL_H - 6, MONTHS[m - 1]);
        for (int c = 0; c < 7; ++c)
            add("<text x=\"%d\" y=\"%d\" font-size=\"12\" text-anchor=\"middle\" "
                "fill=\"#555555\">%s</text>\n",
                bx + c * CELL_W + CELL_W / 2, by + 2 * CELL_H - 6, WEEK_HEAD[c]);
        for (unsigned d = 1; d <= l.days; ++d) {
            const unsigned slot = l.offset + d - 1;
            const int x = bx + static_cast<int>(slot % 7) * CELL_W;
            const int yy = by + 2 * CELL_H + static_cast<int>(slot / 7) * CELL_H;
            const bool on = held[static_cast<size_t>(l.dayOfYear) + d - 1];
            add("<rect id=\"d%04d-%02u-%02u\" x=\"%d\" y=\"%d\" width=\"%d\" height=\"%d\" "
                "fill=\"%s\" stroke=\"%s\"/>\n",
                y, m, d, x + 1, yy + 1, CELL_W - 2, CELL_H - 2, on ? FILLED : EMPTY, LINE);
            add("<text x=\"%d\" y=\"%d\" font-size=\"12\" text-anchor=\"middle\" "
                "fill=\"%s\">%u</text>\n",
                x + CELL_W / 2, yy + CELL_H - 7, on ? "#ffffff" : "#222222", d);
            const char kind =
                adjusted.empty() ? 0 : adjusted[static_cast<size_t>(l.dayOfYear) + d - 1];
            if (kind != 0) {
                char date[16];
                std::snprintf(date, sizeof date, "%04d-%02u-%02u", y, m, d);
                moved(x, yy, kind, date);
            }
        }
    }
    svg += "</svg>\n";
    return svg;
}

} // namespace shhost

#include "platform/posix/machine/directory/iso8601.h"

namespace hostlens::sim::machinedir {
namespace {

// Reads exactly `count` decimal digits at `pos`.
bool Digits(std::string_view text, std::size_t& pos, std::size_t count, int& out) {
    if (pos + count > text.size()) return false;
    int value = 0;
    for (std::size_t i = 0; i < count; ++i) {
        char c = text[pos + i];
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    pos += count;
    out = value;
    return true;
}

bool Expect(std::string_view text, std::size_t& pos, char c) {
    if (pos >= text.size() || text[pos] != c) return false;
    ++pos;
    return true;
}

bool IsLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// Days from 1601-01-01 to the given date.
std::int64_t DaysSince1601(int year, int month, int day) {
    std::int64_t y = year - 1601;
    std::int64_t days = y * 365 + y / 4 - y / 100 + y / 400;
    for (int m = 1; m < month; ++m) days += DaysInMonth(year, m);
    return days + day - 1;
}

}  // namespace

std::optional<FileTimeTicks> ParseIso8601(std::string_view text) {
    std::size_t pos = 0;
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (!Digits(text, pos, 4, year) || !Expect(text, pos, '-') || !Digits(text, pos, 2, month) ||
        !Expect(text, pos, '-') || !Digits(text, pos, 2, day) || !Expect(text, pos, 'T') ||
        !Digits(text, pos, 2, hour) || !Expect(text, pos, ':') || !Digits(text, pos, 2, minute) ||
        !Expect(text, pos, ':') || !Digits(text, pos, 2, second))
        return std::nullopt;
    if (year < 1601 || year > 30827 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month) ||
        hour > 23 || minute > 59 || second > 59)
        return std::nullopt;

    std::int64_t fraction = 0;  // in 100 ns
    if (pos < text.size() && (text[pos] == '.' || text[pos] == ',')) {
        ++pos;
        std::size_t digits = 0;
        while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
            if (digits < 7) fraction = fraction * 10 + (text[pos] - '0');
            ++digits;
            ++pos;
        }
        if (digits == 0) return std::nullopt;
        for (std::size_t i = digits; i < 7; ++i) fraction *= 10;
    }

    std::int64_t offsetMinutes = 0;
    if (pos >= text.size()) return std::nullopt;
    if (text[pos] == 'Z') {
        ++pos;
    } else if (text[pos] == '+' || text[pos] == '-') {
        int sign = text[pos] == '-' ? -1 : 1;
        ++pos;
        int offHours = 0, offMinutes = 0;
        if (!Digits(text, pos, 2, offHours)) return std::nullopt;
        if (pos < text.size() && text[pos] == ':') ++pos;
        if (!Digits(text, pos, 2, offMinutes) || offHours > 23 || offMinutes > 59) return std::nullopt;
        offsetMinutes = sign * (offHours * 60 + offMinutes);
    } else {
        return std::nullopt;
    }
    if (pos != text.size()) return std::nullopt;

    std::int64_t seconds = DaysSince1601(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
    seconds -= offsetMinutes * 60;  // local time = UTC + offset
    if (seconds < 0) return std::nullopt;
    return static_cast<FileTimeTicks>(seconds) * 10'000'000 + static_cast<FileTimeTicks>(fraction);
}

}  // namespace hostlens::sim::machinedir

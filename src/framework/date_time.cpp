#include "framework/date_time.h"

#include <cctype>
#include <cmath>

#include "framework/exceptions.h"
#include "framework/sysutils.h"

namespace pagorix {

namespace {

bool IsLeapYear(int year) {
    return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

int DaysInMonth(int year, int month) {
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// 1899-12-30 counted as day 693,594 from 0001-01-01 as day 1.
constexpr std::int64_t kDeltaDays = 693594;

constexpr double kMsPerDay = 86400000.0;

}  // namespace

bool TryEncodeDate(int year, int month, int day, TDateTime& value) {
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 ||
        day > DaysInMonth(year, month)) {
        return false;
    }
    std::int64_t days = day;
    for (int m = 1; m < month; ++m)
        days += DaysInMonth(year, m);
    const std::int64_t y = year - 1;
    days += y * 365 + y / 4 - y / 100 + y / 400;
    value = static_cast<double>(days - kDeltaDays);
    return true;
}

bool TryEncodeTime(int hour, int minute, int second, int millisecond, TDateTime& value) {
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 ||
        millisecond < 0 || millisecond > 999) {
        return false;
    }
    const double ms = ((hour * 60.0 + minute) * 60.0 + second) * 1000.0 + millisecond;
    value = ms / kMsPerDay;
    return true;
}

TDateTime EncodeDate(int year, int month, int day) {
    TDateTime value = 0;
    if (!TryEncodeDate(year, month, day, value)) throw EConvertError("Date incorrecte");
    return value;
}

TDateTime EncodeTime(int hour, int minute, int second, int millisecond) {
    TDateTime value = 0;
    if (!TryEncodeTime(hour, minute, second, millisecond, value)) {
        throw EConvertError("Heure incorrecte");
    }
    return value;
}

void DecodeDate(TDateTime value, int& year, int& month, int& day) {
    // Days since 0001-01-01 (0-based), then the 400/100/4/1-year cycles.
    std::int64_t n = static_cast<std::int64_t>(std::floor(value)) + kDeltaDays - 1;
    if (n < 0 || n > 3652058) {
        year = month = day = 0;
        return;
    }
    std::int64_t y = 1;
    y += 400 * (n / 146097);
    n %= 146097;
    std::int64_t c = n / 36524;
    if (c == 4) c = 3;
    y += 100 * c;
    n -= c * 36524;
    y += 4 * (n / 1461);
    n %= 1461;
    std::int64_t k = n / 365;
    if (k == 4) k = 3;
    y += k;
    n -= k * 365;
    year = static_cast<int>(y);
    month = 1;
    while (n >= DaysInMonth(year, month)) {
        n -= DaysInMonth(year, month);
        ++month;
    }
    day = static_cast<int>(n) + 1;
}

void DecodeTime(TDateTime value, int& hour, int& minute, int& second, int& millisecond) {
    const double fraction = value - std::floor(value);
    auto ms = static_cast<std::int64_t>(std::llround(fraction * kMsPerDay));
    if (ms >= 86400000) ms = 86399999;
    millisecond = static_cast<int>(ms % 1000);
    ms /= 1000;
    second = static_cast<int>(ms % 60);
    ms /= 60;
    minute = static_cast<int>(ms % 60);
    hour = static_cast<int>(ms / 60);
}

std::string FormatDateTime(const std::string& format, TDateTime value) {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, ms = 0;
    DecodeDate(value, year, month, day);
    DecodeTime(value, hour, minute, second, ms);
    const bool twelveHour = LowerCase(format).find("am/pm") != std::string::npos;
    std::string out;
    bool afterHour = false;
    size_t i = 0;
    auto starts = [&](const char* token) {
        const std::string t(token);
        return format.size() - i >= t.size() && SameText(format.substr(i, t.size()), t);
    };
    auto number = [&](int v, bool twoDigits) {
        out += twoDigits ? Format("%02d", v) : Format("%d", v);
    };
    while (i < format.size()) {
        const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(format[i])));
        if (format[i] == '"') {
            const size_t close = format.find('"', i + 1);
            const size_t end = close == std::string::npos ? format.size() : close;
            out += format.substr(i + 1, end - i - 1);
            i = end + 1;
            continue;
        }
        if (starts("am/pm")) {
            out += hour < 12 ? "am" : "pm";
            i += 5;
            continue;
        }
        const bool twin =
            i + 1 < format.size() && std::tolower(static_cast<unsigned char>(format[i + 1])) == c;
        switch (c) {
            case 'y':
                if (starts("yyyy")) {
                    out += Format("%04d", year);
                    i += 4;
                } else {
                    out += Format("%02d", year % 100);
                    i += twin ? 2 : 1;
                }
                afterHour = false;
                continue;
            case 'm':
                number(afterHour ? minute : month, twin);
                i += twin ? 2 : 1;
                afterHour = false;
                continue;
            case 'd':
                number(day, twin);
                break;
            case 'h': {
                int h = hour;
                if (twelveHour) {
                    h = hour % 12;
                    if (h == 0) h = 12;
                }
                number(h, twin);
                i += twin ? 2 : 1;
                afterHour = true;
                continue;
            }
            case 'n':
                number(minute, twin);
                break;
            case 's':
                number(second, twin);
                break;
            default:
                out += format[i];
                ++i;
                continue;
        }
        i += twin ? 2 : 1;
        afterHour = false;
    }
    return out;
}

}  // namespace pagorix

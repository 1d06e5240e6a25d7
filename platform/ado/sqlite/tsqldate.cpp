#include "tsqldate.h"
#include <cstdio>
#include <ctime>

namespace qv::sql::date {
namespace {

constexpr std::int64_t kDays1970To1900 = -25567;  // 1900-01-01 counted from 1970-01-01

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
    std::int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

// Days since 1970-01-01 of a proleptic Gregorian date (the usual era arithmetic).
std::int64_t DaysFromCivil(std::int64_t y, int m, int d) {
    y -= m <= 2;
    std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    std::int64_t yoe = y - era * 400;
    std::int64_t doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void CivilFromDays(std::int64_t z, int& y, int& m, int& d) {
    z += 719468;
    std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    std::int64_t doe = z - era * 146097;
    std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    std::int64_t mp = (5 * doy + 2) / 153;
    d = int(doy - (153 * mp + 2) / 5 + 1);
    m = int(mp < 10 ? mp + 3 : mp - 9);
    y = int(yoe + era * 400 + (m <= 2));
}

std::int64_t DayNumber(int y, int m, int d) { return DaysFromCivil(y, m, d) - kDays1970To1900; }

const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                               "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// A small cursor over the text being parsed.
struct Scan {
    std::string_view s;
    std::size_t i = 0;
    bool End() const { return i >= s.size(); }
    bool Peek(char c) const { return i < s.size() && s[i] == c; }
    bool Eat(char c) {
        if (!Peek(c)) return false;
        ++i;
        return true;
    }
    // Reads min..max digits; -1 when fewer than min.
    int Digits(int min, int max, int* count = nullptr) {
        int v = 0, n = 0;
        while (n < max && i < s.size() && s[i] >= '0' && s[i] <= '9') v = v * 10 + (s[i++] - '0'), ++n;
        if (count) *count = n;
        return n < min ? -1 : v;
    }
    void Blanks() {
        while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
    }
};

bool ParseTime(Scan& sc, Civil& c) {
    c.hour = sc.Digits(1, 2);
    if (c.hour < 0 || !sc.Eat(':')) return false;
    c.minute = sc.Digits(2, 2);
    if (c.minute < 0) return false;
    if (sc.Eat(':')) {
        c.second = sc.Digits(2, 2);
        if (c.second < 0) return false;
        if (sc.Eat('.')) {
            int n = 0;
            std::int64_t frac = sc.Digits(1, 9, &n);
            if (frac < 0) return false;
            std::int64_t scale = 1;
            for (int k = 0; k < n; ++k) scale *= 10;
            c.ms = int((frac * 1000 + scale / 2) / scale);  // rounded to milliseconds
        } else if (sc.Eat(':')) {  // 'hh:mi:ss:mmm' as styles 113 and 114 write it
            c.ms = sc.Digits(3, 3);
            if (c.ms < 0) return false;
        }
    }
    return true;
}

std::optional<Millis> ToMillisChecked(Civil c) {
    if (c.ms == 1000) {  // a fraction that rounded up
        c.ms = 0;
        if (!IsValid({c.year, c.month, c.day, c.hour, c.minute, c.second, 0})) return std::nullopt;
        return FromCivil(c) + 1000;
    }
    if (!IsValid(c)) return std::nullopt;
    return FromCivil(c);
}

std::string Two(int v) {
    char b[8];
    std::snprintf(b, sizeof b, "%02d", v % 100);
    return b;
}

}  // namespace

int DaysInMonth(int year, int month) {
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
}

bool IsValid(const Civil& c) {
    return c.year >= 1 && c.year <= 9999 && c.month >= 1 && c.month <= 12 && c.day >= 1 &&
           c.day <= DaysInMonth(c.year, c.month) && c.hour >= 0 && c.hour <= 23 && c.minute >= 0 &&
           c.minute <= 59 && c.second >= 0 && c.second <= 59 && c.ms >= 0 && c.ms <= 999;
}

Civil ToCivil(Millis t) {
    Civil c;
    std::int64_t days = FloorDiv(t, kMsPerDay);
    std::int64_t rest = t - days * kMsPerDay;
    CivilFromDays(days + kDays1970To1900, c.year, c.month, c.day);
    c.hour = int(rest / 3'600'000);
    c.minute = int(rest / 60'000 % 60);
    c.second = int(rest / 1000 % 60);
    c.ms = int(rest % 1000);
    return c;
}

Millis FromCivil(const Civil& c) {
    return DayNumber(c.year, c.month, c.day) * kMsPerDay + c.hour * 3'600'000LL + c.minute * 60'000LL +
           c.second * 1000LL + c.ms;
}

bool InDatetimeRange(Millis t) {
    static const Millis lo = DayNumber(1753, 1, 1) * kMsPerDay;
    static const Millis hi = (DayNumber(9999, 12, 31) + 1) * kMsPerDay;
    return t >= lo && t < hi;
}

std::optional<Millis> Parse(std::string_view text) {
    Scan sc{text};
    sc.Blanks();
    Civil c;
    std::size_t start = sc.i;
    int n = 0;
    int first = sc.Digits(1, 8, &n);
    if (first < 0) return std::nullopt;
    bool haveDate = true;
    if (n == 4 && sc.Eat('-')) {  // yyyy-mm-dd
        c.year = first;
        c.month = sc.Digits(1, 2);
        if (c.month < 0 || !sc.Eat('-')) return std::nullopt;
        c.day = sc.Digits(1, 2);
        if (c.day < 0) return std::nullopt;
        if (sc.Eat('T')) {
            if (!ParseTime(sc, c)) return std::nullopt;
            haveDate = false;  // time already read
        }
    } else if (n == 8) {  // yyyymmdd
        c.year = first / 10000;
        c.month = first / 100 % 100;
        c.day = first % 100;
    } else if (n <= 2 && sc.Eat('.')) {  // dd.mm.yyyy
        c.day = first;
        c.month = sc.Digits(1, 2);
        if (c.month < 0 || !sc.Eat('.')) return std::nullopt;
        int yn = 0;
        c.year = sc.Digits(2, 4, &yn);
        if (c.year < 0 || yn == 3) return std::nullopt;
        if (yn == 2) c.year += c.year < 50 ? 2000 : 1900;
    } else if (n <= 2 && sc.Peek(':')) {  // time alone
        sc.i = start;
        if (!ParseTime(sc, c)) return std::nullopt;
        haveDate = false;
    } else {
        return std::nullopt;
    }
    if (haveDate) {
        std::size_t before = sc.i;
        sc.Blanks();
        if (!sc.End()) {
            if (sc.i == before || !ParseTime(sc, c)) return std::nullopt;
        }
    }
    sc.Blanks();
    if (!sc.End()) return std::nullopt;
    return ToMillisChecked(c);
}

bool LooksLikeStoredDate(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    if (text.size() - i < 10) return false;
    std::string_view d = text.substr(i, 10);
    for (int k : {0, 1, 2, 3, 5, 6, 8, 9})
        if (d[k] < '0' || d[k] > '9') return false;
    return d[4] == '-' && d[7] == '-' && Parse(text).has_value();
}

std::string Canonical(Millis t) {
    Civil c = ToCivil(t);
    char b[40];
    if (c.ms)
        std::snprintf(b, sizeof b, "%04d-%02d-%02d %02d:%02d:%02d.%03d", c.year, c.month, c.day, c.hour, c.minute,
                      c.second, c.ms);
    else
        std::snprintf(b, sizeof b, "%04d-%02d-%02d %02d:%02d:%02d", c.year, c.month, c.day, c.hour, c.minute,
                      c.second);
    return b;
}

std::optional<std::string> Format(Millis t, int style) {
    Civil c = ToCivil(t);
    char b[64];
    const bool century = style >= 100;
    const std::string yy = century ? std::to_string(c.year) : Two(c.year);
    const std::string mm = Two(c.month), dd = Two(c.day);
    int h12 = c.hour % 12 == 0 ? 12 : c.hour % 12;
    const char* ampm = c.hour < 12 ? "AM" : "PM";
    switch (style) {
    case 0:
    case 100:
        std::snprintf(b, sizeof b, "%s %2d %04d %2d:%02d%s", kMonths[c.month - 1], c.day, c.year, h12, c.minute,
                      ampm);
        return b;
    case 9:
    case 109:
        std::snprintf(b, sizeof b, "%s %2d %04d %2d:%02d:%02d:%03d%s", kMonths[c.month - 1], c.day, c.year, h12,
                      c.minute, c.second, c.ms, ampm);
        return b;
    case 1: case 101: return mm + "/" + dd + "/" + yy;
    case 2: case 102: return yy + "." + mm + "." + dd;
    case 3: case 103: return dd + "/" + mm + "/" + yy;
    case 4: case 104: return dd + "." + mm + "." + yy;
    case 5: case 105: return dd + "-" + mm + "-" + yy;
    case 10: case 110: return mm + "-" + dd + "-" + yy;
    case 11: case 111: return yy + "/" + mm + "/" + dd;
    case 12: case 112: return yy + mm + dd;
    case 8:
    case 24:
    case 108:
        std::snprintf(b, sizeof b, "%02d:%02d:%02d", c.hour, c.minute, c.second);
        return b;
    case 14:
    case 114:
        std::snprintf(b, sizeof b, "%02d:%02d:%02d:%03d", c.hour, c.minute, c.second, c.ms);
        return b;
    case 13:
    case 113:
        std::snprintf(b, sizeof b, "%02d %s %04d %02d:%02d:%02d:%03d", c.day, kMonths[c.month - 1], c.year, c.hour,
                      c.minute, c.second, c.ms);
        return b;
    case 20:
    case 120:
        std::snprintf(b, sizeof b, "%04d-%02d-%02d %02d:%02d:%02d", c.year, c.month, c.day, c.hour, c.minute,
                      c.second);
        return b;
    case 21:
    case 25:
    case 121:
        std::snprintf(b, sizeof b, "%04d-%02d-%02d %02d:%02d:%02d.%03d", c.year, c.month, c.day, c.hour, c.minute,
                      c.second, c.ms);
        return b;
    case 23:
        std::snprintf(b, sizeof b, "%04d-%02d-%02d", c.year, c.month, c.day);
        return b;
    case 126:
        std::snprintf(b, sizeof b, "%04d-%02d-%02dT%02d:%02d:%02d", c.year, c.month, c.day, c.hour, c.minute,
                      c.second);
        if (c.ms) return std::string(b) + "." + std::to_string(1000 + c.ms).substr(1);
        return b;
    default:
        return std::nullopt;
    }
}

std::optional<Part> ParsePart(std::string_view name) {
    std::string n;
    for (char ch : name) n += (ch >= 'A' && ch <= 'Z') ? char(ch + 32) : ch;
    struct Name {
        const char* text;
        Part part;
    };
    static const Name kNames[] = {
        {"year", Part::Year},         {"yy", Part::Year},        {"yyyy", Part::Year},
        {"quarter", Part::Quarter},   {"qq", Part::Quarter},     {"q", Part::Quarter},
        {"month", Part::Month},       {"mm", Part::Month},       {"m", Part::Month},
        {"dayofyear", Part::DayOfYear}, {"dy", Part::DayOfYear}, {"y", Part::DayOfYear},
        {"day", Part::Day},           {"dd", Part::Day},         {"d", Part::Day},
        {"week", Part::Week},         {"wk", Part::Week},        {"ww", Part::Week},
        {"weekday", Part::Weekday},   {"dw", Part::Weekday},     {"w", Part::Weekday},
        {"hour", Part::Hour},         {"hh", Part::Hour},        {"minute", Part::Minute},
        {"mi", Part::Minute},         {"n", Part::Minute},       {"second", Part::Second},
        {"ss", Part::Second},         {"s", Part::Second},       {"millisecond", Part::Millisecond},
        {"ms", Part::Millisecond},
    };
    for (const Name& x : kNames)
        if (n == x.text) return x.part;
    return std::nullopt;
}

std::optional<Millis> Add(Part part, std::int64_t n, Millis t) {
    Millis unit = 0;
    switch (part) {
    case Part::Year:
    case Part::Quarter:
    case Part::Month: {
        std::int64_t months = n;
        if (part == Part::Year && __builtin_mul_overflow(n, 12, &months)) return std::nullopt;
        if (part == Part::Quarter && __builtin_mul_overflow(n, 3, &months)) return std::nullopt;
        if (months > 12 * 10000 || months < -12 * 10000) return std::nullopt;
        Civil c = ToCivil(t);
        std::int64_t total = std::int64_t(c.year) * 12 + (c.month - 1) + months;
        std::int64_t year = FloorDiv(total, 12);
        if (year < 1753 || year > 9999) return std::nullopt;
        c.year = int(year);
        c.month = int(total - year * 12) + 1;
        if (c.day > DaysInMonth(c.year, c.month)) c.day = DaysInMonth(c.year, c.month);
        return FromCivil(c);
    }
    case Part::DayOfYear:
    case Part::Day:
    case Part::Weekday: unit = kMsPerDay; break;
    case Part::Week: unit = 7 * kMsPerDay; break;
    case Part::Hour: unit = 3'600'000; break;
    case Part::Minute: unit = 60'000; break;
    case Part::Second: unit = 1000; break;
    case Part::Millisecond: unit = 1; break;
    }
    Millis delta = 0, r = 0;
    if (__builtin_mul_overflow(n, unit, &delta) || __builtin_add_overflow(t, delta, &r) || !InDatetimeRange(r))
        return std::nullopt;
    return r;
}

std::int64_t Diff(Part part, Millis a, Millis b) {
    Civil ca = ToCivil(a), cb = ToCivil(b);
    auto boundaries = [&](Millis unit, Millis shift = 0) {
        return FloorDiv(b + shift, unit) - FloorDiv(a + shift, unit);
    };
    switch (part) {
    case Part::Year: return cb.year - ca.year;
    case Part::Quarter: return (cb.year * 4 + (cb.month - 1) / 3) - (ca.year * 4 + (ca.month - 1) / 3);
    case Part::Month: return (cb.year * 12 + cb.month) - (ca.year * 12 + ca.month);
    case Part::DayOfYear:
    case Part::Day:
    case Part::Weekday: return boundaries(kMsPerDay);
    case Part::Week: return boundaries(7 * kMsPerDay, kMsPerDay);  // day 0 is a Monday
    case Part::Hour: return boundaries(3'600'000);
    case Part::Minute: return boundaries(60'000);
    case Part::Second: return boundaries(1000);
    case Part::Millisecond: return b - a;
    }
    return 0;
}

int DatePart(Part part, Millis t) {
    Civil c = ToCivil(t);
    std::int64_t day = FloorDiv(t, kMsPerDay);
    switch (part) {
    case Part::Year: return c.year;
    case Part::Quarter: return (c.month - 1) / 3 + 1;
    case Part::Month: return c.month;
    case Part::DayOfYear: return int(day - DayNumber(c.year, 1, 1)) + 1;
    case Part::Day: return c.day;
    case Part::Week: return int(Diff(Part::Week, DayNumber(c.year, 1, 1) * kMsPerDay, t)) + 1;
    case Part::Weekday: return int(((day + 1) % 7 + 7) % 7) + 1;
    case Part::Hour: return c.hour;
    case Part::Minute: return c.minute;
    case Part::Second: return c.second;
    case Part::Millisecond: return c.ms;
    }
    return 0;
}

Millis Now(bool utc) {
    // The precise clock, as SQLite's own 'now' reads it: time() follows the coarse clock, which
    // runs up to a tick behind, so just after a second began it still gave the second before.
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    std::time_t now = ts.tv_sec;
    std::tm tm{};
    if (utc) gmtime_r(&now, &tm);
    else localtime_r(&now, &tm);
    Civil c{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec > 59 ? 59 : tm.tm_sec, 0};
    return FromCivil(c);
}

}  // namespace qv::sql::date

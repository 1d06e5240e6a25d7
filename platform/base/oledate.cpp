#include "oledate.h"
#include <chrono>
#include <cmath>
#include <cwctype>
#include <time.h>

namespace {

// Days between 1970-01-01 and a date of the proleptic Gregorian calendar.
constexpr long long DaysFromCivil(long long y, unsigned m, unsigned d) {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

void CivilFromDays(long long z, int& y, int& m, int& d) {
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long yy = static_cast<long long>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(yy + (m <= 2));
}

constexpr long long kOleEpoch = DaysFromCivil(1899, 12, 30);  // day 0 of the OLE date
constexpr long long kMinDay = DaysFromCivil(100, 1, 1) - kOleEpoch;
constexpr long long kMaxDay = DaysFromCivil(9999, 12, 31) - kOleEpoch;
constexpr double kMaxSpanDays = 3615897.0;

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && IsLeap(y) ? 29 : days[m - 1];
}

// The OLE date as a point on the real time line (days since the epoch, time included).
double Linear(DATE dt) {
    if (dt >= 0) return dt;
    const double whole = std::trunc(dt);
    return 2.0 * whole - dt;  // the whole days count backwards, the fraction forwards
}

DATE FromLinear(double x) {
    if (x >= 0) return x;
    const double day = std::floor(x);
    const double frac = x - day;
    return day - frac;
}

struct Parts {
    int year, month, day, hour, minute, second, dayOfWeek, dayOfYear;
};

// Splits an OLE date, rounding to the nearest second (23:59:59.9999 becomes the next day).
bool Split(DATE dt, Parts& p) {
    if (!std::isfinite(dt)) return false;
    if (dt < double(kMinDay) - 1.0 || dt > double(kMaxDay) + 1.0) return false;
    long long day = static_cast<long long>(std::trunc(dt));
    const double frac = std::fabs(dt - std::trunc(dt));
    long long secs = std::llround(frac * 86400.0);
    if (secs >= 86400) {
        secs -= 86400;
        ++day;
    }
    if (day < kMinDay || day > kMaxDay) return false;
    CivilFromDays(day + kOleEpoch, p.year, p.month, p.day);
    p.hour = static_cast<int>(secs / 3600);
    p.minute = static_cast<int>(secs / 60 % 60);
    p.second = static_cast<int>(secs % 60);
    p.dayOfWeek = static_cast<int>(((day % 7) + 7 + 6) % 7) + 1;  // day 0 was a Saturday
    p.dayOfYear = static_cast<int>(day + kOleEpoch - DaysFromCivil(p.year, 1, 1)) + 1;
    return true;
}

bool Compose(int y, int mo, int d, int h, int mi, int s, DATE& out) {
    if (y < 100 || y > 9999 || mo < 1 || mo > 12 || d < 1 || d > DaysInMonth(y, mo)) return false;
    if (h < 0 || h > 23 || mi < 0 || mi > 59 || s < 0 || s > 59) return false;
    const long long day = DaysFromCivil(y, unsigned(mo), unsigned(d)) - kOleEpoch;
    const double t = (h * 3600.0 + mi * 60.0 + s) / 86400.0;
    out = day >= 0 ? double(day) + t : double(day) - t;
    return true;
}

bool InRange(DATE dt) {
    Parts p;
    return Split(dt, p);
}

const wchar_t* const kDayNames[] = {L"Sonntag", L"Montag", L"Dienstag", L"Mittwoch",
                                    L"Donnerstag", L"Freitag", L"Samstag"};
const wchar_t* const kDayAbbr[] = {L"So", L"Mo", L"Di", L"Mi", L"Do", L"Fr", L"Sa"};
const wchar_t* const kMonthNames[] = {L"Januar", L"Februar", L"März", L"April", L"Mai", L"Juni",
                                      L"Juli", L"August", L"September", L"Oktober", L"November", L"Dezember"};
const wchar_t* const kMonthAbbr[] = {L"Jan", L"Feb", L"Mär", L"Apr", L"Mai", L"Jun",
                                     L"Jul", L"Aug", L"Sep", L"Okt", L"Nov", L"Dez"};

void AppendNumber(std::wstring& out, int v, int digits, bool noPad) {
    std::wstring s = std::to_wstring(v);
    if (!noPad && int(s.size()) < digits) s.insert(0, size_t(digits) - s.size(), L'0');
    out += s;
}

void FormatParts(std::wstring& out, std::wstring_view fmt, const Parts& p) {
    for (size_t i = 0; i < fmt.size(); ++i) {
        if (fmt[i] != L'%' || i + 1 >= fmt.size()) {
            out += fmt[i];
            continue;
        }
        size_t j = i + 1;
        const bool noPad = fmt[j] == L'#';
        if (noPad && j + 1 < fmt.size()) ++j;
        switch (fmt[j]) {
        case L'd': AppendNumber(out, p.day, 2, noPad); break;
        case L'm': AppendNumber(out, p.month, 2, noPad); break;
        case L'Y': AppendNumber(out, p.year, 4, noPad); break;
        case L'y': AppendNumber(out, p.year % 100, 2, noPad); break;
        case L'H': AppendNumber(out, p.hour, 2, noPad); break;
        case L'I': AppendNumber(out, p.hour % 12 == 0 ? 12 : p.hour % 12, 2, noPad); break;
        case L'M': AppendNumber(out, p.minute, 2, noPad); break;
        case L'S': AppendNumber(out, p.second, 2, noPad); break;
        case L'j': AppendNumber(out, p.dayOfYear, 3, noPad); break;
        case L'w': AppendNumber(out, p.dayOfWeek - 1, 1, noPad); break;
        case L'p': out += p.hour < 12 ? L"AM" : L"PM"; break;
        case L'A': out += kDayNames[p.dayOfWeek - 1]; break;
        case L'a': out += kDayAbbr[p.dayOfWeek - 1]; break;
        case L'B': out += kMonthNames[p.month - 1]; break;
        case L'b': out += kMonthAbbr[p.month - 1]; break;
        case L'c': FormatParts(out, L"%d.%m.%Y %H:%M:%S", p); break;
        case L'x': FormatParts(out, L"%d.%m.%Y", p); break;
        case L'X': FormatParts(out, L"%H:%M:%S", p); break;
        case L'%': out += L'%'; break;
        default: out.append(fmt.substr(i, j - i + 1)); break;
        }
        i = j;
    }
}

// A small reader for the accepted date and time texts.
class Reader {
public:
    explicit Reader(std::wstring_view s) : s_(s) {}
    bool AtEnd() const { return pos_ >= s_.size(); }
    size_t Pos() const { return pos_; }
    void Seek(size_t p) { pos_ = p; }
    bool Char(wchar_t c) {
        if (pos_ < s_.size() && s_[pos_] == c) {
            ++pos_;
            return true;
        }
        return false;
    }
    // 1..maxDigits digits.
    bool Number(int& v, int maxDigits, int* digitsRead = nullptr) {
        int n = 0;
        v = 0;
        while (pos_ < s_.size() && n < maxDigits && s_[pos_] >= L'0' && s_[pos_] <= L'9') {
            v = v * 10 + (s_[pos_] - L'0');
            ++pos_;
            ++n;
        }
        if (digitsRead) *digitsRead = n;
        return n > 0;
    }
    bool Blanks() {
        size_t start = pos_;
        while (pos_ < s_.size() && (s_[pos_] == L' ' || s_[pos_] == L'\t')) ++pos_;
        return pos_ > start;
    }

private:
    std::wstring_view s_;
    size_t pos_ = 0;
};

// hh:mm[:ss[.fff]]; seconds of the day with their fraction.
bool ReadTime(Reader& r, double& secs) {
    int h, m, s = 0;
    if (!r.Number(h, 2) || !r.Char(L':') || !r.Number(m, 2)) return false;
    double frac = 0;
    if (r.Char(L':')) {
        if (!r.Number(s, 2)) return false;
        if (r.Char(L'.')) {
            int f, digits;
            if (!r.Number(f, 9, &digits)) return false;
            frac = f / std::pow(10.0, digits);
        }
    }
    if (h > 23 || m > 59 || s > 59) return false;
    secs = h * 3600.0 + m * 60.0 + s + frac;
    return true;
}

}  // namespace

void GetLocalTime(LPSYSTEMTIME st) {
    if (!st) return;
    timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    tm t;
    localtime_r(&ts.tv_sec, &t);
    st->wYear = WORD(t.tm_year + 1900);
    st->wMonth = WORD(t.tm_mon + 1);
    st->wDayOfWeek = WORD(t.tm_wday);
    st->wDay = WORD(t.tm_mday);
    st->wHour = WORD(t.tm_hour);
    st->wMinute = WORD(t.tm_min);
    st->wSecond = WORD(t.tm_sec > 59 ? 59 : t.tm_sec);
    st->wMilliseconds = WORD(ts.tv_nsec / 1000000);
}

void GetSystemTime(LPSYSTEMTIME st) {
    if (!st) return;
    timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    tm t;
    gmtime_r(&ts.tv_sec, &t);
    st->wYear = WORD(t.tm_year + 1900);
    st->wMonth = WORD(t.tm_mon + 1);
    st->wDayOfWeek = WORD(t.tm_wday);
    st->wDay = WORD(t.tm_mday);
    st->wHour = WORD(t.tm_hour);
    st->wMinute = WORD(t.tm_min);
    st->wSecond = WORD(t.tm_sec > 59 ? 59 : t.tm_sec);
    st->wMilliseconds = WORD(ts.tv_nsec / 1000000);
}

ULONGLONG GetTickCount64() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ULONGLONG(ts.tv_sec) * 1000u + ULONGLONG(ts.tv_nsec) / 1000000u;
}

DWORD GetTickCount() { return static_cast<DWORD>(GetTickCount64()); }

__time64_t _time64(__time64_t* t) {
    const __time64_t now = static_cast<__time64_t>(std::time(nullptr));
    if (t) *t = now;
    return now;
}

// ---- COleDateTime

COleDateTime::COleDateTime(DATE dt) { *this = dt; }

COleDateTime::COleDateTime(int year, int month, int day, int hour, int minute, int second) {
    SetDateTime(year, month, day, hour, minute, second);
}

COleDateTime::COleDateTime(const SYSTEMTIME& st) {
    SetDateTime(st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond);
}

COleDateTime::COleDateTime(std::time_t t) {
    tm parts;
    if (!localtime_r(&t, &parts)) {
        m_status = invalid;
        return;
    }
    SetDateTime(parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min,
                parts.tm_sec > 59 ? 59 : parts.tm_sec);
}

COleDateTime::COleDateTime(const VARIANT& v) {
    VARIANT d;
    VariantInit(&d);
    if (FAILED(VariantChangeType(&d, &v, 0, VT_DATE))) {
        m_status = invalid;
        return;
    }
    *this = d.date;
}

COleDateTime COleDateTime::GetCurrentTime() { return COleDateTime(std::time(nullptr)); }

COleDateTime& COleDateTime::operator=(DATE dt) {
    m_dt = dt;
    m_status = InRange(dt) ? valid : invalid;
    return *this;
}

int COleDateTime::SetDateTime(int year, int month, int day, int hour, int minute, int second) {
    DATE d;
    if (Compose(year, month, day, hour, minute, second, d)) {
        m_dt = d;
        m_status = valid;
        return 0;
    }
    m_dt = 0;
    m_status = invalid;
    return 1;
}

int COleDateTime::SetDate(int year, int month, int day) { return SetDateTime(year, month, day, 0, 0, 0); }

int COleDateTime::SetTime(int hour, int minute, int second) {
    return SetDateTime(1899, 12, 30, hour, minute, second);
}

#define QV_DATE_PART(name, field)                        \
    int COleDateTime::name() const {                     \
        Parts p;                                         \
        if (m_status != valid || !Split(m_dt, p)) return -1; \
        return p.field;                                  \
    }
QV_DATE_PART(GetYear, year)
QV_DATE_PART(GetMonth, month)
QV_DATE_PART(GetDay, day)
QV_DATE_PART(GetHour, hour)
QV_DATE_PART(GetMinute, minute)
QV_DATE_PART(GetSecond, second)
QV_DATE_PART(GetDayOfWeek, dayOfWeek)
QV_DATE_PART(GetDayOfYear, dayOfYear)
#undef QV_DATE_PART

bool COleDateTime::GetAsSystemTime(SYSTEMTIME& st) const {
    Parts p;
    if (m_status != valid || !Split(m_dt, p)) return false;
    st.wYear = WORD(p.year);
    st.wMonth = WORD(p.month);
    st.wDayOfWeek = WORD(p.dayOfWeek - 1);
    st.wDay = WORD(p.day);
    st.wHour = WORD(p.hour);
    st.wMinute = WORD(p.minute);
    st.wSecond = WORD(p.second);
    st.wMilliseconds = 0;
    return true;
}

CString COleDateTime::Format(LPCWSTR format) const {
    if (m_status == null) return CString();
    Parts p;
    if (m_status != valid || !Split(m_dt, p)) return CString(L"Invalid DateTime");
    std::wstring out;
    FormatParts(out, format ? std::wstring_view(format) : std::wstring_view(), p);
    return CString(std::move(out));
}

CString COleDateTime::Format() const {
    Parts p;
    if (m_status == valid && Split(m_dt, p) && p.hour == 0 && p.minute == 0 && p.second == 0)
        return Format(L"%d.%m.%Y");
    return Format(L"%d.%m.%Y %H:%M:%S");
}

bool COleDateTime::ParseDateTime(LPCWSTR text, DWORD flags) {
    std::wstring_view s = text ? std::wstring_view(text) : std::wstring_view();
    while (!s.empty() && std::iswspace(static_cast<wint_t>(s.front()))) s.remove_prefix(1);
    while (!s.empty() && std::iswspace(static_cast<wint_t>(s.back()))) s.remove_suffix(1);
    Reader r(s);
    int y = 1899, mo = 12, d = 30;
    double secs = 0;
    bool ok = false;
    int a, b, c, digitsA = 0, digitsC = 0;
    const size_t start = r.Pos();
    if (r.Number(a, 4, &digitsA)) {
        if (digitsA == 4 && r.Char(L'-')) {
            // yyyy-mm-dd[( |T)hh:mm[:ss[.fff]]]
            ok = r.Number(b, 2) && r.Char(L'-') && r.Number(c, 2);
            if (ok) {
                y = a, mo = b, d = c;
                if (!r.AtEnd()) ok = (r.Char(L'T') || r.Blanks()) && ReadTime(r, secs);
            }
        } else if (digitsA <= 2 && r.Char(L'.')) {
            // dd.mm.yyyy[ hh:mm[:ss]]
            ok = r.Number(b, 2) && r.Char(L'.') && r.Number(c, 4, &digitsC) && digitsC >= 3;
            if (ok) {
                d = a, mo = b, y = c;
                if (!r.AtEnd()) ok = r.Blanks() && ReadTime(r, secs);
            }
        } else {
            r.Seek(start);
            ok = ReadTime(r, secs);  // time of day alone
        }
    }
    ok = ok && r.AtEnd();
    DATE day = 0;
    if (ok) ok = Compose(y, mo, d, 0, 0, 0, day);
    if (!ok) {
        m_dt = 0;
        m_status = invalid;
        return false;
    }
    if (flags & VAR_DATEVALUEONLY) secs = 0;
    if (flags & VAR_TIMEVALUEONLY) day = 0;
    const double t = secs / 86400.0;
    m_dt = day >= 0 ? day + t : day - t;
    m_status = valid;
    return true;
}

COleDateTime COleDateTime::operator+(const COleDateTimeSpan& span) const {
    COleDateTime r;
    if (m_status == invalid || span.GetStatus() == COleDateTimeSpan::invalid) {
        r.m_status = invalid;
        return r;
    }
    if (m_status == null || span.GetStatus() == COleDateTimeSpan::null) {
        r.m_status = null;
        return r;
    }
    r = FromLinear(Linear(m_dt) + span.m_span);
    return r;
}

COleDateTime COleDateTime::operator-(const COleDateTimeSpan& span) const { return *this + (-span); }

COleDateTime& COleDateTime::operator+=(const COleDateTimeSpan& span) { return *this = *this + span; }

COleDateTime& COleDateTime::operator-=(const COleDateTimeSpan& span) { return *this = *this - span; }

COleDateTimeSpan COleDateTime::operator-(const COleDateTime& other) const {
    COleDateTimeSpan r;
    if (m_status == invalid || other.m_status == invalid) {
        r.m_status = COleDateTimeSpan::invalid;
    } else if (m_status == null || other.m_status == null) {
        r.m_status = COleDateTimeSpan::null;
    } else {
        r = COleDateTimeSpan(Linear(m_dt) - Linear(other.m_dt));
    }
    return r;
}

bool COleDateTime::operator==(const COleDateTime& o) const {
    return m_status == o.m_status && Linear(m_dt) == Linear(o.m_dt);
}

bool COleDateTime::operator<(const COleDateTime& o) const { return Linear(m_dt) < Linear(o.m_dt); }

// ---- COleDateTimeSpan

COleDateTimeSpan::COleDateTimeSpan(double days) : m_span(days) {
    if (!std::isfinite(days) || std::fabs(days) > kMaxSpanDays) m_status = invalid;
}

COleDateTimeSpan::COleDateTimeSpan(long days, int hours, int minutes, int seconds) {
    SetDateTimeSpan(days, hours, minutes, seconds);
}

void COleDateTimeSpan::SetDateTimeSpan(long days, int hours, int minutes, int seconds) {
    *this = COleDateTimeSpan(double(days) + (hours * 3600.0 + minutes * 60.0 + seconds) / 86400.0);
}

namespace {
long long SpanSeconds(double span) { return std::llround(span * 86400.0); }
}  // namespace

long COleDateTimeSpan::GetDays() const { return static_cast<long>(SpanSeconds(m_span) / 86400); }
long COleDateTimeSpan::GetHours() const { return static_cast<long>(SpanSeconds(m_span) % 86400 / 3600); }
long COleDateTimeSpan::GetMinutes() const { return static_cast<long>(SpanSeconds(m_span) % 3600 / 60); }
long COleDateTimeSpan::GetSeconds() const { return static_cast<long>(SpanSeconds(m_span) % 60); }

COleDateTimeSpan COleDateTimeSpan::operator+(const COleDateTimeSpan& o) const {
    COleDateTimeSpan r;
    if (m_status == invalid || o.m_status == invalid) r.m_status = invalid;
    else if (m_status == null || o.m_status == null) r.m_status = null;
    else r = COleDateTimeSpan(m_span + o.m_span);
    return r;
}

COleDateTimeSpan COleDateTimeSpan::operator-(const COleDateTimeSpan& o) const { return *this + (-o); }

COleDateTimeSpan COleDateTimeSpan::operator-() const {
    COleDateTimeSpan r = *this;
    r.m_span = -m_span;
    return r;
}

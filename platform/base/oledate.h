#pragma once
// COleDateTime and COleDateTimeSpan: the OLE date, a double of days since 1899-12-30 00:00. Before
// that day the whole part counts days backwards while the fraction still runs forward (-1.25 is
// 1899-12-29 06:00), so arithmetic and comparisons go through the real time line. Parts are
// rounded to the nearest second. Valid dates run from 0100-01-01 to 9999-12-31 23:59:59.
#include "cstring.h"
#include "oleauto.h"
#include "qvtypes.h"
#include <ctime>

struct SYSTEMTIME {
    WORD wYear;
    WORD wMonth;
    WORD wDayOfWeek;  // 0 = Sunday
    WORD wDay;
    WORD wHour;
    WORD wMinute;
    WORD wSecond;
    WORD wMilliseconds;
};
using LPSYSTEMTIME = SYSTEMTIME*;

void GetLocalTime(LPSYSTEMTIME st);
void GetSystemTime(LPSYSTEMTIME st);  // UTC
// Milliseconds since an arbitrary start (the system's boot); the 32-bit form wraps after 49 days.
DWORD GetTickCount();
ULONGLONG GetTickCount64();

using __time64_t = std::int64_t;
__time64_t _time64(__time64_t* t);

class COleDateTimeSpan;

class COleDateTime {
public:
    enum DateTimeStatus { error = -1, valid = 0, invalid = 1, null = 2 };

    COleDateTime() = default;  // 1899-12-30 00:00:00, valid
    COleDateTime(DATE dt);
    COleDateTime(int year, int month, int day, int hour, int minute, int second);
    COleDateTime(const SYSTEMTIME& st);
    COleDateTime(std::time_t t);  // local time
    COleDateTime(const VARIANT& v);

    static COleDateTime GetCurrentTime();  // local time, whole seconds

    // 0 on success; 1 (status invalid) for a value outside the valid range.
    int SetDateTime(int year, int month, int day, int hour, int minute, int second);
    int SetDate(int year, int month, int day);
    int SetTime(int hour, int minute, int second);  // on 1899-12-30
    void SetStatus(DateTimeStatus status) { m_status = status; }
    DateTimeStatus GetStatus() const { return m_status; }

    // Parts of a valid date; -1 otherwise.
    int GetYear() const;
    int GetMonth() const;
    int GetDay() const;
    int GetHour() const;
    int GetMinute() const;
    int GetSecond() const;
    int GetDayOfWeek() const;  // 1 = Sunday ... 7 = Saturday
    int GetDayOfYear() const;  // 1 = 1 January
    bool GetAsSystemTime(SYSTEMTIME& st) const;

    operator DATE() const { return m_dt; }
    COleDateTime& operator=(DATE dt);

    // strftime-style: %d %m %Y %y %H %M %S %I %p %j %w %A %a %B %b %c %x %X %%, with German names;
    // '#' after '%' drops leading zeros. A null date gives "", an invalid one "Invalid DateTime".
    CString Format(LPCWSTR format) const;
    // The German default "%d.%m.%Y %H:%M:%S"; the date alone when the time is 00:00:00.
    CString Format() const;
    // Accepts "dd.mm.yyyy[ hh:mm[:ss]]", "yyyy-mm-dd[ hh:mm[:ss[.fff]]]" (also with 'T') and
    // "hh:mm[:ss]" (on 1899-12-30), surrounding blanks allowed. On failure: false, status invalid.
    bool ParseDateTime(LPCWSTR text, DWORD flags = 0);

    COleDateTime operator+(const COleDateTimeSpan& span) const;
    COleDateTime operator-(const COleDateTimeSpan& span) const;
    COleDateTime& operator+=(const COleDateTimeSpan& span);
    COleDateTime& operator-=(const COleDateTimeSpan& span);
    COleDateTimeSpan operator-(const COleDateTime& other) const;

    bool operator==(const COleDateTime& o) const;
    bool operator!=(const COleDateTime& o) const { return !(*this == o); }
    bool operator<(const COleDateTime& o) const;
    bool operator>(const COleDateTime& o) const { return o < *this; }
    bool operator<=(const COleDateTime& o) const { return !(o < *this); }
    bool operator>=(const COleDateTime& o) const { return !(*this < o); }

    DATE m_dt = 0;
    DateTimeStatus m_status = valid;
};

class COleDateTimeSpan {
public:
    enum DateTimeSpanStatus { error = -1, valid = 0, invalid = 1, null = 2 };

    COleDateTimeSpan() = default;
    COleDateTimeSpan(double days);
    COleDateTimeSpan(long days, int hours, int minutes, int seconds);

    void SetDateTimeSpan(long days, int hours, int minutes, int seconds);
    void SetStatus(DateTimeSpanStatus status) { m_status = status; }
    DateTimeSpanStatus GetStatus() const { return m_status; }

    // Parts of the span rounded to whole seconds; negative spans give negative parts.
    long GetDays() const;
    long GetHours() const;    // -23..23
    long GetMinutes() const;  // -59..59
    long GetSeconds() const;  // -59..59
    double GetTotalDays() const { return m_span; }
    double GetTotalHours() const { return m_span * 24.0; }
    double GetTotalMinutes() const { return m_span * 1440.0; }
    double GetTotalSeconds() const { return m_span * 86400.0; }

    operator double() const { return m_span; }

    COleDateTimeSpan operator+(const COleDateTimeSpan& o) const;
    COleDateTimeSpan operator-(const COleDateTimeSpan& o) const;
    COleDateTimeSpan operator-() const;
    COleDateTimeSpan& operator+=(const COleDateTimeSpan& o) { return *this = *this + o; }
    COleDateTimeSpan& operator-=(const COleDateTimeSpan& o) { return *this = *this - o; }

    bool operator==(const COleDateTimeSpan& o) const { return m_status == o.m_status && m_span == o.m_span; }
    bool operator!=(const COleDateTimeSpan& o) const { return !(*this == o); }
    bool operator<(const COleDateTimeSpan& o) const { return m_span < o.m_span; }
    bool operator>(const COleDateTimeSpan& o) const { return m_span > o.m_span; }
    bool operator<=(const COleDateTimeSpan& o) const { return m_span <= o.m_span; }
    bool operator>=(const COleDateTimeSpan& o) const { return m_span >= o.m_span; }

    double m_span = 0;
    DateTimeSpanStatus m_status = valid;
};

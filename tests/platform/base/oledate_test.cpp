#include "oledate.h"
#include "tempdir.h"
#include <gtest/gtest.h>
#include <cmath>
#include <ctime>
#include <ostream>
#include "utf.h"

void PrintTo(const COleDateTime& t, std::ostream* os) {
    *os << t.Format(L"%Y-%m-%d %H:%M:%S").ToUtf8() << " (" << t.m_dt << ", status " << t.GetStatus() << ")";
}

namespace {

COleDateTime D(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) { return COleDateTime(y, mo, d, h, mi, s); }

std::string Text(const COleDateTime& t) { return t.Format(L"%Y-%m-%d %H:%M:%S").ToUtf8(); }

}  // namespace

TEST(OleDate, KnownDaysOfTheOleCalendar) {
    EXPECT_EQ(D(1899, 12, 30).m_dt, 0.0);
    EXPECT_EQ(D(1900, 1, 1).m_dt, 2.0);
    EXPECT_EQ(D(1900, 3, 1).m_dt, 61.0);
    EXPECT_EQ(D(2000, 1, 1).m_dt, 36526.0);
    EXPECT_DOUBLE_EQ(D(2000, 2, 29, 12, 30).m_dt, 36585.0 + 12.5 / 24);
    EXPECT_EQ(D(100, 1, 1).m_dt, -657434.0);
    EXPECT_EQ(D(9999, 12, 31).m_dt, 2958465.0);
    EXPECT_EQ(D(1899, 12, 30).GetDayOfWeek(), 7);  // a Saturday
    EXPECT_EQ(D(2026, 12, 7).GetDayOfWeek(), 2);   // a Monday
    EXPECT_EQ(D(2000, 12, 31).GetDayOfYear(), 366);
    EXPECT_EQ(D(1900, 12, 31).GetDayOfYear(), 365);
}

TEST(OleDate, BeforeTheEpochWholeDaysCountBackAndTimeRunsForward) {
    COleDateTime t(-1.25);
    EXPECT_EQ(Text(t), "1899-12-29 06:00:00");
    EXPECT_EQ(D(1899, 12, 29, 6).m_dt, -1.25);
    EXPECT_EQ(D(1899, 12, 28, 18).m_dt, -2.75);
    EXPECT_EQ(Text(COleDateTime(-0.5)), "1899-12-30 12:00:00");

    // Every hour from three days before to three days after the epoch: parts round-trip, and the
    // order and distances follow the real time line although the raw doubles do not.
    COleDateTime prev = D(1899, 12, 27, 0);
    for (int h = 1; h <= 6 * 24; ++h) {
        COleDateTime next = D(1899, 12, 27) + COleDateTimeSpan(0, h, 0, 0);
        ASSERT_EQ(next.GetStatus(), COleDateTime::valid);
        EXPECT_EQ(next.GetHour(), h % 24) << h;
        EXPECT_NEAR(COleDateTime(next.GetYear(), next.GetMonth(), next.GetDay(), next.GetHour(), 0, 0).m_dt, next.m_dt, 1e-9) << h;
        EXPECT_TRUE(prev < next) << h;
        EXPECT_NEAR((next - prev).GetTotalHours(), 1.0, 1e-6) << h;
        prev = next;
    }
    EXPECT_NEAR((D(1899, 12, 30, 6) - D(1899, 12, 29, 18)).GetTotalDays(), 0.5, 1e-9);
    EXPECT_TRUE(COleDateTime(-1.5) > COleDateTime(-1.25));  // 12:00 is later than 06:00
}

TEST(OleDate, LeapDaysAndMonthEnds) {
    EXPECT_EQ(D(2000, 2, 29).GetStatus(), COleDateTime::valid);
    EXPECT_EQ(D(1900, 2, 29).GetStatus(), COleDateTime::invalid);
    EXPECT_EQ(D(2100, 2, 29).GetStatus(), COleDateTime::invalid);
    EXPECT_EQ(D(2024, 4, 31).GetStatus(), COleDateTime::invalid);
    const COleDateTimeSpan day(1, 0, 0, 0);
    EXPECT_EQ(Text(D(1900, 2, 28) + day), "1900-03-01 00:00:00");
    EXPECT_EQ(Text(D(2000, 2, 28) + day), "2000-02-29 00:00:00");
    EXPECT_EQ(Text(D(2024, 1, 31, 10) + day), "2024-02-01 10:00:00");
    EXPECT_EQ(Text(D(2023, 12, 31, 23, 30) + COleDateTimeSpan(0, 1, 0, 0)), "2024-01-01 00:30:00");
    EXPECT_EQ(Text(D(2024, 3, 1) - day), "2024-02-29 00:00:00");
    EXPECT_EQ((D(2024, 3, 1) - D(2024, 2, 1)).GetDays(), 29);
    EXPECT_EQ((D(2023, 3, 1) - D(2023, 2, 1)).GetDays(), 28);
    COleDateTime t = D(2024, 12, 31, 12);
    t += COleDateTimeSpan(0, 12, 0, 0);
    EXPECT_EQ(Text(t), "2025-01-01 00:00:00");
    t -= COleDateTimeSpan(366, 0, 0, 0);
    EXPECT_EQ(Text(t), "2024-01-01 00:00:00");
}

TEST(OleDate, PartsRoundToTheNearestSecond) {
    const double end = D(2026, 3, 31).m_dt + (86400.0 - 0.0001) / 86400.0;  // 23:59:59.9999
    EXPECT_EQ(Text(COleDateTime(end)), "2026-04-01 00:00:00");
    EXPECT_EQ(COleDateTime(end).GetDay(), 1);
    const double almost = D(2026, 3, 31).m_dt + (86399.4) / 86400.0;
    EXPECT_EQ(Text(COleDateTime(almost)), "2026-03-31 23:59:59");
    const double before = D(2026, 5, 1, 8, 15, 30).m_dt - 0.4 / 86400.0;
    EXPECT_EQ(Text(COleDateTime(before)), "2026-05-01 08:15:30");
    // The same before the epoch: 1899-12-28 23:59:59.9999 is the 29th.
    const double neg = -2.0 - (86400.0 - 0.0001) / 86400.0;
    EXPECT_EQ(Text(COleDateTime(neg)), "1899-12-29 00:00:00");
    // Three tenths of a second steps that the double cannot hold exactly still read back right.
    COleDateTime t = D(2026, 1, 1);
    for (int i = 0; i < 10; ++i) t += COleDateTimeSpan(0.3 / 86400.0);
    EXPECT_EQ(t.GetSecond(), 3);
}

TEST(OleDate, ValidRangeAndStatus) {
    EXPECT_EQ(D(99, 12, 31).GetStatus(), COleDateTime::invalid);
    EXPECT_EQ(D(10000, 1, 1).GetStatus(), COleDateTime::invalid);
    EXPECT_EQ(D(2026, 13, 1).GetStatus(), COleDateTime::invalid);
    EXPECT_EQ(D(2026, 1, 1, 24, 0, 0).GetStatus(), COleDateTime::invalid);
    const COleDateTime last = D(9999, 12, 31, 23, 59, 59);
    EXPECT_EQ(last.GetStatus(), COleDateTime::valid);
    EXPECT_EQ((last + COleDateTimeSpan(0, 0, 0, 1)).GetStatus(), COleDateTime::invalid);
    EXPECT_EQ((D(100, 1, 1) - COleDateTimeSpan(0, 0, 0, 1)).GetStatus(), COleDateTime::invalid);
    EXPECT_EQ(COleDateTime(2958466.0).GetStatus(), COleDateTime::invalid);
    COleDateTime bad = D(2026, 2, 30);
    EXPECT_EQ(bad.GetYear(), -1);
    EXPECT_EQ(bad.GetDayOfWeek(), -1);
    EXPECT_EQ(bad.Format(), L"Invalid DateTime");
    COleDateTime none;
    none.SetStatus(COleDateTime::null);
    EXPECT_EQ(none.Format(L"%d.%m.%Y"), L"");
    EXPECT_EQ((none + COleDateTimeSpan(1.0)).GetStatus(), COleDateTime::null);
    EXPECT_EQ((bad - D(2026, 1, 1)).GetStatus(), COleDateTimeSpan::invalid);
    EXPECT_EQ(COleDateTimeSpan(3615898.0).GetStatus(), COleDateTimeSpan::invalid);
    EXPECT_EQ(COleDateTimeSpan(-3615897.0).GetStatus(), COleDateTimeSpan::valid);
    EXPECT_EQ(bad.SetDate(2026, 2, 28), 0);
    EXPECT_EQ(bad.GetStatus(), COleDateTime::valid);
    EXPECT_EQ(bad.SetTime(25, 0, 0), 1);
    EXPECT_EQ(bad.GetStatus(), COleDateTime::invalid);
}

TEST(OleDate, FormatsInGerman) {
    const COleDateTime t = D(2026, 3, 7, 8, 5, 9);
    EXPECT_EQ(t.Format(), L"07.03.2026 08:05:09");
    EXPECT_EQ(D(2026, 3, 7).Format(), L"07.03.2026");
    EXPECT_EQ(t.Format(L"%A, %#d. %B %Y"), L"Samstag, 7. März 2026");
    EXPECT_EQ(t.Format(L"%a %b %y %j %H:%M:%S %%"), L"Sa Mär 26 066 08:05:09 %");
    EXPECT_EQ(t.Format(L"%Y-%m-%d %H:%M:%S"), L"2026-03-07 08:05:09");
    EXPECT_EQ(D(1899, 12, 30).Format(L"%Y-%m-%d %H:%M:%S"), L"1899-12-30 00:00:00");
}

TEST(OleDate, ParsesTheGermanAndTheDatabaseForms) {
    COleDateTime t;
    ASSERT_TRUE(t.ParseDateTime(L"07.03.2026 08:05:09"));
    EXPECT_EQ(t, D(2026, 3, 7, 8, 5, 9));
    ASSERT_TRUE(t.ParseDateTime(L" 7.3.2026 8:05 "));
    EXPECT_EQ(t, D(2026, 3, 7, 8, 5, 0));
    ASSERT_TRUE(t.ParseDateTime(L"07.03.2026"));
    EXPECT_EQ(t, D(2026, 3, 7));
    ASSERT_TRUE(t.ParseDateTime(L"2026-03-07 08:05:09"));
    EXPECT_EQ(t, D(2026, 3, 7, 8, 5, 9));
    ASSERT_TRUE(t.ParseDateTime(L"1899-12-30 00:00:00.000"));
    EXPECT_EQ(t.m_dt, 0.0);
    ASSERT_TRUE(t.ParseDateTime(L"1899-12-29 06:00:00"));
    EXPECT_EQ(t.m_dt, -1.25);
    ASSERT_TRUE(t.ParseDateTime(L"13:45"));
    EXPECT_EQ(t, D(1899, 12, 30, 13, 45));
    ASSERT_TRUE(t.ParseDateTime(L"2026-03-07 08:05:09", VAR_DATEVALUEONLY));
    EXPECT_EQ(t, D(2026, 3, 7));

    for (const wchar_t* bad : {L"", L"31.02.2026", L"2026-02-30", L"07.03.26", L"24:00", L"07.03.2026 8",
                               L"2026-03-07x", L"heute", L"07.03.2026 08:05:60"}) {
        COleDateTime u = D(2020, 1, 1);
        EXPECT_FALSE(u.ParseDateTime(bad)) << qv::ToUtf8(bad);
        EXPECT_EQ(u.GetStatus(), COleDateTime::invalid);
    }

    // Every second of a day and a spread of dates survive Format and Parse.
    for (int y : {100, 1899, 1900, 1999, 2000, 2024, 9999}) {
        for (int sec = 0; sec < 86400; sec += 997) {
            const COleDateTime a = D(y, 2, 28, sec / 3600, sec / 60 % 60, sec % 60);
            COleDateTime b;
            ASSERT_TRUE(b.ParseDateTime(a.Format(L"%d.%m.%Y %H:%M:%S")));
            EXPECT_EQ(b, a);
            ASSERT_TRUE(b.ParseDateTime(a.Format()));
            EXPECT_EQ(b, a);
        }
    }
}

TEST(OleDate, SpansSplitIntoParts) {
    const COleDateTimeSpan s(2, 3, 4, 5);
    EXPECT_EQ(s.GetDays(), 2);
    EXPECT_EQ(s.GetHours(), 3);
    EXPECT_EQ(s.GetMinutes(), 4);
    EXPECT_EQ(s.GetSeconds(), 5);
    EXPECT_NEAR(s.GetTotalHours(), 51.0 + 4.0 / 60 + 5.0 / 3600, 1e-9);
    EXPECT_NEAR(s.GetTotalSeconds(), 2 * 86400 + 3 * 3600 + 4 * 60 + 5, 1e-6);
    const COleDateTimeSpan n = -s;
    EXPECT_EQ(n.GetDays(), -2);
    EXPECT_EQ(n.GetHours(), -3);
    EXPECT_EQ(n.GetSeconds(), -5);
    const COleDateTimeSpan sum = s + COleDateTimeSpan(0, 20, 55, 55);
    EXPECT_EQ(sum.GetDays(), 3);
    EXPECT_EQ(sum.GetHours(), 0);
    EXPECT_EQ(sum.GetMinutes(), 0);
    EXPECT_EQ(sum.GetSeconds(), 0);
    EXPECT_EQ((D(2026, 1, 1, 23, 59, 59) - D(2026, 1, 1)).GetHours(), 23);
}

TEST(OleDate, CalendarTimeAndSystemTime) {
    struct ZoneReload {
        ~ZoneReload() { tzset(); }
    } reloadAfterRestore;  // destroyed after 'tz' has restored TZ
    qvtest::ScopedEnv tz("TZ", "UTC");
    tzset();
    const COleDateTime epoch(std::time_t(0));
    EXPECT_EQ(epoch.m_dt, 25569.0);
    const COleDateTime later(std::time_t(86400 * 365 + 3661));
    EXPECT_EQ(Text(later), "1971-01-01 01:01:01");

    SYSTEMTIME st{};
    st.wYear = 2026;
    st.wMonth = 3;
    st.wDay = 7;
    st.wHour = 8;
    st.wMinute = 5;
    st.wSecond = 9;
    st.wMilliseconds = 999;
    const COleDateTime fromSt(st);
    EXPECT_EQ(fromSt, D(2026, 3, 7, 8, 5, 9));
    SYSTEMTIME back{};
    ASSERT_TRUE(fromSt.GetAsSystemTime(back));
    EXPECT_EQ(back.wDayOfWeek, 6);
    EXPECT_EQ(back.wSecond, 9);

    SYSTEMTIME now{};
    GetLocalTime(&now);
    const COleDateTime current = COleDateTime::GetCurrentTime();
    EXPECT_LT(std::fabs((current - COleDateTime(now)).GetTotalSeconds()), 5.0);
    SYSTEMTIME utc{};
    GetSystemTime(&utc);
    EXPECT_LT(std::fabs((COleDateTime(utc) - COleDateTime(now)).GetTotalSeconds()), 5.0);  // TZ is UTC
}

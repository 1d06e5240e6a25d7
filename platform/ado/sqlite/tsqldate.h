#pragma once
// Dates of the T-SQL runtime. The database keeps a date as text 'YYYY-MM-DD HH:MM:SS'; inside the
// runtime a date is a count of milliseconds since 1900-01-01 00:00:00, the origin T-SQL uses when
// a number stands for a date.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qv::sql::date {

using Millis = std::int64_t;
constexpr Millis kMsPerDay = 86'400'000;

struct Civil {
    int year = 1900, month = 1, day = 1, hour = 0, minute = 0, second = 0, ms = 0;
};

Civil ToCivil(Millis t);
// Fields must be valid (see IsValid).
Millis FromCivil(const Civil& c);
bool IsValid(const Civil& c);
int DaysInMonth(int year, int month);

// What a datetime can hold: 1753-01-01 up to the end of 9999-12-31.
bool InDatetimeRange(Millis t);

// Accepts 'yyyy-mm-dd[( |T)hh:mi[:ss[.fff]]]', 'yyyymmdd[ hh:mi[:ss[.fff]]]',
// 'dd.mm.yyyy[ hh:mi[:ss[.fff]]]' (also 'dd.mm.yy') and a time alone ('hh:mi[:ss[.fff]]', on
// 1900-01-01), with blanks around. A 2-digit year below 50 lies in the 2000s.
std::optional<Millis> Parse(std::string_view text);
// True for the ISO forms only ('yyyy-mm-dd' with optional time): what a stored date looks like.
bool LooksLikeStoredDate(std::string_view text);

// 'YYYY-MM-DD HH:MM:SS', with '.mmm' appended only when the milliseconds are not 0.
std::string Canonical(Millis t);
// CONVERT's date styles (0/100, 1-5/101-105, 8/108, 9/109, 10-14/110-114, 20/120, 21/121, 23,
// 24, 25, 126). Nullopt for a style that has no date form.
std::optional<std::string> Format(Millis t, int style);

enum class Part { Year, Quarter, Month, DayOfYear, Day, Week, Weekday, Hour, Minute, Second, Millisecond };
// T-SQL's names and abbreviations, in any case.
std::optional<Part> ParsePart(std::string_view name);
// Nullopt when the result leaves the datetime range. Months clamp to the month's last day.
std::optional<Millis> Add(Part part, std::int64_t n, Millis t);
// The number of `part` boundaries crossed from a to b; weeks start on Sunday.
std::int64_t Diff(Part part, Millis a, Millis b);
// Weekday: Sunday = 1; week: week 1 holds 1 January, weeks start on Sunday.
int DatePart(Part part, Millis t);

// Now, whole seconds.
Millis Now(bool utc);

}  // namespace qv::sql::date

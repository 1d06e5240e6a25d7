#pragma once
// A date or a time as a person types it into a field. Every date field of the program reads what
// is typed here, so that a date typed one way means the same day in each of them.
#include "cstring.h"
#include "oledate.h"

namespace qv {

// What a field holds: a day, a time of day, or both.
enum class DateEntry { date, time, dateTime };

// Reads text typed into a field of the kind. A date: "28.01.2027", "28.1.27", digits alone
// ("28012027", "280127") or other separators ("28/1/27", "28-1-2027"), also "2027-01-28"; a year
// of two digits is 1930 to 2029. A time: "08:00", "0800", "800", "8.30". A date with a time:
// "28.01.2027 08:00". False, and value invalid, for text that is no value of the kind, a day
// that does not exist ("31.02.2027") among them.
bool ParseDateEntry(const CString& text, DateEntry kind, COleDateTime& value);

// The year of two digits as a date field reads it.
int FullYear(int twoDigitYear);

// The word to the person who typed text that ParseDateEntry refused, naming the forms it takes.
CString DateEntryRefusal(const CString& text, DateEntry kind);

}  // namespace qv

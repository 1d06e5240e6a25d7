#pragma once
// What the course API's sources share: the database profile, the failure trace under the source
// name of the course rules, the database error report and the default status of new bookings.
#include "kursplatform.h"
#include "kursres.h"
#include "qvcommon.h"
#include "qvdbserverlib.h"
#include "vrqkurs.h"

namespace kurs {

// Every piece of database work of the course API opens its connection under this profile.
inline constexpr const wchar_t* kProfile = L"Qovaro.NQ2";
// The source named in the failure traces of the course rules.
inline constexpr const wchar_t* kTraceSource = L"kurs";

// The SQL literal of the empty date (30 December 1899, 00:00).
CString ZeroDateSQL();

// The status a new booking gets when it takes the installation's default: the stored default, or
// 0 when none can be read.
EPersonKursStatus BookingDefaultStatus();
// Forgets the cached default status, so that the next call reads it again (another database).
void ForgetDefaultPersonKursStatus();

// The text with the id from the module's table.
inline CString Text(UINT id) { return KursLoadString(id); }

}  // namespace kurs

// Traces a failed step under the course rules' source name and returns hr.
#define KURS_TRACEHR(hr) QvAddHRErrorFile(kurs::kTraceSource, __LINE__, (hr))
// Shows the database error of a failed step (the connection's error text, else the result's text).
#define KURS_REPORTDBERROR(conn, hr) QvReportDBError((conn), (hr), __FILE__, __LINE__)

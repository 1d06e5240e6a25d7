#pragma once
// Facts of the running process and machine, and the SQL text of a number.
#include "cstring.h"

// The machine's host name. The two arguments are accepted for the callers' sake and not used.
CString QvGetComputerName(long lReserved1 = 0, long lReserved2 = 0);
// The id of the running application: its executable's file name.
CString QvGetAppID();

// TRUE when the process runs as a service (no user at the screen): QV_RUN_AS_SERVICE is set to a
// value other than "0".
BOOL QvGetRunAsService();

// The number in fixed notation with six decimals and a decimal point, whatever the locale.
CString DoubleToSqlText(double dValue);

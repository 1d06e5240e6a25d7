#pragma once
// Numbers as SQL literals, independent of the user's number format.
#include "cstring.h"

// The number in fixed notation with six decimals and a decimal point ("1.500000"), also where the
// user's locale writes a decimal comma.
CString DoubleToSqlText(double dblValue);

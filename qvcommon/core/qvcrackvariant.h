#pragma once
// The suite's variant conversions. Each gives a value for any variant: empty and NULL give 0,
// FALSE, 0.0, "" and the date 0.0; a value that has no such form gives the same.
#include "cstring.h"
#include "oleauto.h"

BOOL CrackBoolVariant(const VARIANT& v);
// Integers are taken modulo 2^32, so a 32-bit mask written unsigned reads back as its own bits;
// reals are rounded to the nearest integer; text is read as a number.
long CrackLongVariant(const VARIANT& v);
double CrackDoubleVariant(const VARIANT& v);
// Dates as 'YYYY-MM-DD HH:MM:SS'.
CString CrackStrVariant(const VARIANT& v);
// Text is read as 'YYYY-MM-DD HH:MM:SS' (or another form COleDateTime parses).
DATE CrackDateVariant(const VARIANT& v);

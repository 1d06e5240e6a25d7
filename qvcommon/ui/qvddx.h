#pragma once
// The common library's data exchange: numbers shown in the format of a string resource ("%3.2f Tg")
// and money amounts shown in the currency form ("1'234.50") after rounding to the given step.
#include "qvcurrency.h"
#include "qvui.h"

// Shows value in the format of string formatId; reading takes the leading number of the text
// (point or comma), so the unit the format adds may stay. Empty text is 0. The last argument is
// kept for callers and not used.
void DDX_DoubleRes(CDataExchange* dx, int id, double& value, int formatId, int reserved = 0);

// The amount rounded to a multiple of round (nothing is rounded for round <= 0), halves away from
// zero.
CQvCurrency QvRoundCurrency(const CQvCurrency& amount, double round);
// "-1'234.50": two decimals, thousands marked with an apostrophe.
CString QvFormatCurrency(const CQvCurrency& amount, double round = 0.0);
// Reads an amount as users type it: apostrophes and blanks between the digits, point or comma,
// a currency mark before or after ("CHF", "Fr."). FALSE for anything else.
BOOL QvParseCurrency(LPCWSTR text, CQvCurrency& amount);
// Exchanges an amount with an edit; saving rounds what was typed, showing rounds the member.
void DDX_QvCurrency(CDataExchange* dx, int id, CQvCurrency& value, double round = 0.0);

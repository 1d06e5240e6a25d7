#pragma once
// Numbers of the T-SQL runtime: text to number as T-SQL converts it, number to text as T-SQL
// writes it. Independent of the process locale (a German locale must not turn '1.5' into 1).
#include <cstdint>
#include <string>
#include <string_view>

namespace qv::sql::number {

enum class Parsed { Ok, Invalid, Overflow };

// T-SQL text to integer: blanks around and a sign allowed, digits only; empty text is 0.
Parsed ParseInt(std::string_view text, std::int64_t& out);
// T-SQL text to float: [sign] digits [. digits] [e [sign] digits], blanks around; empty text is 0.
Parsed ParseFloat(std::string_view text, double& out);
// T-SQL text to decimal: as ParseFloat without the exponent. `digits` gets the value rounded to
// `scale` places as plain text ("-12.50"); empty text is 0.
Parsed ParseDecimal(std::string_view text, int scale, std::string& digits);
// True when `text` holds at least one digit and converts to float.
bool IsNumericText(std::string_view text);

// A float as CONVERT writes it: style 0 six significant digits (1.23457e+006), 1 eight and 2
// sixteen in scientific notation, 3 seventeen significant digits.
std::string FormatFloat(double x, int style = 0);
// `x` rounded half away from zero to `scale` places, as fixed-point text.
std::string RoundFixed(double x, int scale);
// Digits before the decimal point, leading zeros not counted.
int IntegerDigits(std::string_view fixed);

}  // namespace qv::sql::number

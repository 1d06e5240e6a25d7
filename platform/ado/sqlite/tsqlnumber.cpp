#include "tsqlnumber.h"
#include <charconv>
#include <cmath>
#include <system_error>

namespace qv::sql::number {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

// A decimal number as sign, digits and the count of digits before the point (may be <= 0 or
// beyond the digits).
struct Decimal {
    bool negative = false;
    std::string digits;
    int intLen = 0;
};

// Validates [sign] digits [. digits] [e [sign] digits]; `exponent` allows the last part.
bool Scan(std::string_view s, bool exponent, Decimal& d, int& exp10) {
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) d.negative = s[i++] == '-';
    int nDigits = 0;
    while (i < s.size() && IsDigit(s[i])) d.digits += s[i++], ++d.intLen, ++nDigits;
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && IsDigit(s[i])) d.digits += s[i++], ++nDigits;
    }
    if (nDigits == 0) return false;
    exp10 = 0;
    if (exponent && i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        bool neg = false;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) neg = s[i++] == '-';
        if (i == s.size() || !IsDigit(s[i])) return false;
        while (i < s.size() && IsDigit(s[i])) {
            if (exp10 < 100000) exp10 = exp10 * 10 + (s[i] - '0');
            ++i;
        }
        if (neg) exp10 = -exp10;
    }
    return i == s.size();
}

// Rounds half away from zero to `scale` places and writes fixed-point text.
std::string Round(Decimal d, int scale) {
    if (d.intLen < 1) {
        d.digits.insert(0, std::size_t(1 - d.intLen), '0');
        d.intLen = 1;
    }
    std::size_t keep = std::size_t(d.intLen + scale);
    if (d.digits.size() < keep) d.digits.append(keep - d.digits.size(), '0');
    if (d.digits.size() > keep) {
        bool up = d.digits[keep] >= '5';
        d.digits.resize(keep);
        for (std::size_t i = keep; up && i-- > 0;) {
            if (d.digits[i] == '9') {
                d.digits[i] = '0';
            } else {
                ++d.digits[i];
                up = false;
            }
        }
        if (up) {
            d.digits.insert(0, 1, '1');
            ++d.intLen;
        }
    }
    std::string intPart = d.digits.substr(0, std::size_t(d.intLen));
    std::size_t nz = intPart.find_first_not_of('0');
    intPart = nz == std::string::npos ? "0" : intPart.substr(nz);
    std::string frac = d.digits.substr(std::size_t(d.intLen));
    bool zero = intPart == "0" && frac.find_first_not_of('0') == std::string::npos;
    std::string out = (d.negative && !zero) ? "-" : "";
    out += intPart;
    if (scale > 0) out += "." + frac;
    return out;
}

// Windows writes at least three exponent digits: 1e+006.
std::string WideExponent(std::string s) {
    std::size_t e = s.find('e');
    if (e == std::string::npos || e + 2 > s.size()) return s;
    std::size_t digits = s.size() - (e + 2);
    if (digits < 3) s.insert(e + 2, 3 - digits, '0');
    return s;
}

}  // namespace

Parsed ParseInt(std::string_view text, std::int64_t& out) {
    std::string_view s = Trim(text);
    out = 0;
    if (s.empty()) return Parsed::Ok;
    bool neg = false;
    std::size_t i = 0;
    if (s[0] == '+' || s[0] == '-') neg = s[i++] == '-';
    if (i == s.size()) return Parsed::Invalid;
    std::uint64_t v = 0;
    bool overflow = false;
    for (; i < s.size(); ++i) {
        if (!IsDigit(s[i])) return Parsed::Invalid;
        if (v > (UINT64_MAX - 9) / 10) overflow = true;
        else v = v * 10 + std::uint64_t(s[i] - '0');
    }
    if (overflow || v > (neg ? std::uint64_t(INT64_MAX) + 1 : std::uint64_t(INT64_MAX))) return Parsed::Overflow;
    out = neg ? std::int64_t(0 - v) : std::int64_t(v);
    return Parsed::Ok;
}

Parsed ParseFloat(std::string_view text, double& out) {
    std::string_view s = Trim(text);
    out = 0;
    if (s.empty()) return Parsed::Ok;
    Decimal d;
    int exp10 = 0;
    if (!Scan(s, true, d, exp10)) return Parsed::Invalid;
    if (s[0] == '+') s.remove_prefix(1);  // from_chars takes no plus sign
    auto r = std::from_chars(s.data(), s.data() + s.size(), out, std::chars_format::general);
    if (r.ec == std::errc::result_out_of_range) {
        // Underflow is zero; only a value too large for a float fails.
        if (exp10 < 0) {
            out = 0;
            return Parsed::Ok;
        }
        return Parsed::Overflow;
    }
    return r.ec == std::errc() && r.ptr == s.data() + s.size() ? Parsed::Ok : Parsed::Invalid;
}

Parsed ParseDecimal(std::string_view text, int scale, std::string& digits) {
    std::string_view s = Trim(text);
    Decimal d;
    int exp10 = 0;
    if (s.empty()) {
        d.digits = "0";
        d.intLen = 1;
    } else if (!Scan(s, false, d, exp10)) {
        return Parsed::Invalid;
    }
    digits = Round(d, scale);
    return Parsed::Ok;
}

bool IsNumericText(std::string_view text) {
    double v = 0;
    return !Trim(text).empty() && ParseFloat(text, v) == Parsed::Ok;
}

std::string FormatFloat(double x, int style) {
    char buf[64];
    std::to_chars_result r{};
    switch (style) {
    case 1: r = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::scientific, 7); break;
    case 2: r = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::scientific, 15); break;
    case 3: r = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::general, 17); break;
    default: r = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::general, 6); break;
    }
    return WideExponent(std::string(buf, r.ptr));
}

std::string RoundFixed(double x, int scale) {
    if (!std::isfinite(x)) return FormatFloat(x);
    // Fifteen significant digits: what a float holds reliably, so 1.005 rounds as written.
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::scientific, 14);
    std::string_view s(buf, std::size_t(r.ptr - buf));
    Decimal d;
    if (s[0] == '-') d.negative = true, s.remove_prefix(1);
    std::size_t e = s.find('e');
    for (char c : s.substr(0, e))
        if (IsDigit(c)) d.digits += c;
    int exp10 = 0;
    std::string_view es = s.substr(e + 1);
    bool eneg = es[0] == '-';
    std::from_chars(es.data() + 1, es.data() + es.size(), exp10);
    d.intLen = (eneg ? -exp10 : exp10) + 1;
    return Round(d, scale);
}

int IntegerDigits(std::string_view fixed) {
    std::size_t i = 0;
    if (i < fixed.size() && (fixed[i] == '-' || fixed[i] == '+')) ++i;
    while (i < fixed.size() && fixed[i] == '0') ++i;
    int n = 0;
    while (i < fixed.size() && IsDigit(fixed[i])) ++i, ++n;
    return n;
}

}  // namespace qv::sql::number

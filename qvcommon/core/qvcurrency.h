#pragma once
// CQvCurrency: money as a 64-bit count of ten-thousandths, with exact addition and subtraction;
// products and quotients are rounded to the nearest ten-thousandth, halves away from zero.
#include "cstring.h"
#include "oleauto.h"

class CQvCurrency {
public:
    CQvCurrency() { m_cur.int64 = 0; }
    CQvCurrency(CY cy) : m_cur(cy) {}
    CQvCurrency(double dValue);
    // Whole units and ten-thousandths (both with the sign of the amount).
    CQvCurrency(long long llUnits, long lFraction);

    static CQvCurrency FromInt64(LONGLONG llTenThousandths);
    LONGLONG GetInt64() const { return m_cur.int64; }
    double GetDouble() const;
    operator CY() const { return m_cur; }

    // The SQL literal: the amount with a point and four decimals, "-12.3400".
    CString SQLConvert() const;

    CQvCurrency operator+(const CQvCurrency& o) const { return FromInt64(m_cur.int64 + o.m_cur.int64); }
    CQvCurrency operator-(const CQvCurrency& o) const { return FromInt64(m_cur.int64 - o.m_cur.int64); }
    CQvCurrency operator-() const { return FromInt64(-m_cur.int64); }
    CQvCurrency& operator+=(const CQvCurrency& o) { m_cur.int64 += o.m_cur.int64; return *this; }
    CQvCurrency& operator-=(const CQvCurrency& o) { m_cur.int64 -= o.m_cur.int64; return *this; }
    CQvCurrency operator*(double d) const;
    CQvCurrency operator/(double d) const;

    friend bool operator==(const CQvCurrency& a, const CQvCurrency& b) { return a.m_cur.int64 == b.m_cur.int64; }
    friend bool operator!=(const CQvCurrency& a, const CQvCurrency& b) { return !(a == b); }
    friend bool operator<(const CQvCurrency& a, const CQvCurrency& b) { return a.m_cur.int64 < b.m_cur.int64; }
    friend bool operator>(const CQvCurrency& a, const CQvCurrency& b) { return b < a; }
    friend bool operator<=(const CQvCurrency& a, const CQvCurrency& b) { return !(b < a); }
    friend bool operator>=(const CQvCurrency& a, const CQvCurrency& b) { return !(a < b); }

    CY m_cur;
};

#include "qvcurrency.h"

#include <cmath>
#include <cstdlib>

namespace {
constexpr long long kScale = 10000;

LONGLONG RoundToInt64(double v) { return static_cast<LONGLONG>(std::llround(v)); }
}  // namespace

CQvCurrency::CQvCurrency(double dValue) { m_cur.int64 = RoundToInt64(dValue * kScale); }

CQvCurrency::CQvCurrency(long long llUnits, long lFraction) { m_cur.int64 = llUnits * kScale + lFraction; }

CQvCurrency CQvCurrency::FromInt64(LONGLONG llTenThousandths) {
    CY cy;
    cy.int64 = llTenThousandths;
    return CQvCurrency(cy);
}

double CQvCurrency::GetDouble() const { return static_cast<double>(m_cur.int64) / kScale; }

CString CQvCurrency::SQLConvert() const {
    const long long v = m_cur.int64;
    const unsigned long long a = v < 0 ? 0ULL - static_cast<unsigned long long>(v) : static_cast<unsigned long long>(v);
    CString s;
    s.Format(L"%s%llu.%04llu", v < 0 ? L"-" : L"", a / kScale, a % kScale);
    return s;
}

CQvCurrency CQvCurrency::operator*(double d) const { return FromInt64(RoundToInt64(static_cast<double>(m_cur.int64) * d)); }

CQvCurrency CQvCurrency::operator/(double d) const { return FromInt64(RoundToInt64(static_cast<double>(m_cur.int64) / d)); }

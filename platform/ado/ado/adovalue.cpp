#include "adovalue.h"

#include "oledate.h"
#include "utf.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace qv::ado {

namespace {

bool ContainsNoCase(const char* text, const char* word) {
    const std::size_t n = std::strlen(word);
    for (const char* p = text; *p; ++p) {
        std::size_t i = 0;
        while (i < n && p[i] && (p[i] & ~0x20) == word[i]) ++i;
        if (i == n) return true;
    }
    return false;
}

// Reads `count` digits at `pos`; false when they are not all digits.
bool Digits(std::string_view s, std::size_t pos, std::size_t count, int* out) {
    if (pos + count > s.size()) return false;
    int v = 0;
    for (std::size_t i = pos; i < pos + count; ++i) {
        if (s[i] < '0' || s[i] > '9') return false;
        v = v * 10 + (s[i] - '0');
    }
    *out = v;
    return true;
}

HRESULT TextVariant(const std::string& utf8, VARIANT* out) {
    BSTR b = BstrOf(utf8);
    if (!b) return E_OUTOFMEMORY;
    out->vt = VT_BSTR;
    out->bstrVal = b;
    return S_OK;
}

bool MoneyFromDouble(double d, CY* out) {
    const double scaled = std::round(d * 10000.0);
    if (!std::isfinite(scaled) || std::fabs(scaled) >= 9.2e18) return false;
    out->int64 = static_cast<LONGLONG>(scaled);
    return true;
}

}  // namespace

// Every statement text passes here: vectorized even where the build's level does not.
#if defined(__GNUC__) && !defined(__clang__)
__attribute__((optimize("tree-vectorize")))
#endif
std::string Utf8Of(BSTR text) {
    const std::size_t n = SysStringLen(text);
    // Statement texts are mostly ASCII: two plain loops.
    std::uint32_t bits = 0;
    for (std::size_t i = 0; i < n; ++i) bits |= static_cast<std::uint32_t>(text[i]);
    if (bits >= 0x80) return qv::ToUtf8(std::wstring_view(text, n));
    std::string out(n, '\0');
    char* p = out.data();
    for (std::size_t i = 0; i < n; ++i) p[i] = static_cast<char>(text[i]);
    return out;
}

BSTR BstrOf(std::string_view utf8) {
    for (unsigned char c : utf8) {
        if (c >= 0x80) {
            const std::wstring w = qv::FromUtf8(utf8);
            return SysAllocStringLen(w.data(), static_cast<UINT>(w.size()));
        }
    }
    BSTR b = SysAllocStringLen(nullptr, static_cast<UINT>(utf8.size()));
    if (!b) return nullptr;
    for (std::size_t i = 0; i < utf8.size(); ++i) b[i] = static_cast<wchar_t>(utf8[i]);
    return b;
}

ColumnKind KindOfDeclaredType(const char* decltype_) {
    if (!decltype_) return ColumnKind::Plain;
    if (ContainsNoCase(decltype_, "DATE") || ContainsNoCase(decltype_, "TIME")) return ColumnKind::Date;
    if (ContainsNoCase(decltype_, "MONEY") || ContainsNoCase(decltype_, "CUR")) return ColumnKind::Money;
    return ColumnKind::Plain;
}

bool ParseDbDate(std::string_view s, DATE* out) {
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, sec = 0;
    if (!Digits(s, 0, 4, &y) || s.size() < 10 || s[4] != '-' || !Digits(s, 5, 2, &mo) || s[7] != '-' ||
        !Digits(s, 8, 2, &d)) {
        return false;
    }
    if (s.size() > 10) {
        if ((s[10] != ' ' && s[10] != 'T') || !Digits(s, 11, 2, &h) || s.size() < 16 || s[13] != ':' ||
            !Digits(s, 14, 2, &mi)) {
            return false;
        }
        std::size_t pos = 16;
        if (s.size() > pos) {
            if (s[pos] != ':' || !Digits(s, pos + 1, 2, &sec)) return false;
            pos += 3;
            if (s.size() > pos) {
                // Fractions of a second: the date keeps whole seconds.
                if (s[pos] != '.' || pos + 1 == s.size()) return false;
                for (std::size_t i = pos + 1; i < s.size(); ++i) {
                    if (s[i] < '0' || s[i] > '9') return false;
                }
            }
        }
    }
    COleDateTime dt;
    if (dt.SetDateTime(y, mo, d, h, mi, sec) != 0) return false;
    *out = dt.m_dt;
    return true;
}

bool FormatDbDate(DATE date, std::string* out) {
    const COleDateTime dt(date);
    SYSTEMTIME st{};
    if (dt.GetStatus() != COleDateTime::valid || !dt.GetAsSystemTime(st)) return false;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04u-%02u-%02u %02u:%02u:%02u", st.wYear, st.wMonth, st.wDay, st.wHour,
                  st.wMinute, st.wSecond);
    out->assign(buf);
    return true;
}

HRESULT ToVariant(const qv::sql::Value& value, ColumnKind kind, VARIANT* out) {
    VariantInit(out);
    if (const auto* i = std::get_if<std::int64_t>(&value)) {
        if (kind == ColumnKind::Money) {
            if (*i > std::numeric_limits<LONGLONG>::max() / 10000 || *i < std::numeric_limits<LONGLONG>::min() / 10000) {
                return DISP_E_OVERFLOW;
            }
            out->vt = VT_CY;
            out->cyVal.int64 = *i * 10000;
        } else if (*i >= std::numeric_limits<LONG>::min() && *i <= std::numeric_limits<LONG>::max()) {
            out->vt = VT_I4;
            out->lVal = static_cast<LONG>(*i);
        } else {
            out->vt = VT_I8;
            out->llVal = *i;
        }
        return S_OK;
    }
    if (const auto* d = std::get_if<double>(&value)) {
        if (kind == ColumnKind::Money) {
            if (!MoneyFromDouble(*d, &out->cyVal)) return DISP_E_OVERFLOW;
            out->vt = VT_CY;
        } else {
            out->vt = VT_R8;
            out->dblVal = *d;
        }
        return S_OK;
    }
    if (const auto* s = std::get_if<std::string>(&value)) {
        if (kind == ColumnKind::Date && ParseDbDate(*s, &out->date)) {
            out->vt = VT_DATE;
            return S_OK;
        }
        if (kind == ColumnKind::Money && !s->empty()) {
            char* end = nullptr;
            const double v = std::strtod(s->c_str(), &end);
            if (end == s->c_str() + s->size() && MoneyFromDouble(v, &out->cyVal)) {
                out->vt = VT_CY;
                return S_OK;
            }
        }
        return TextVariant(*s, out);
    }
    if (const auto* b = std::get_if<qv::sql::Blob>(&value)) {
        SAFEARRAY* sa = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(b->size()));
        if (!sa) return E_OUTOFMEMORY;
        if (!b->empty()) {
            void* data = nullptr;
            if (FAILED(SafeArrayAccessData(sa, &data))) {
                SafeArrayDestroy(sa);
                return E_FAIL;
            }
            std::memcpy(data, b->data(), b->size());
            SafeArrayUnaccessData(sa);
        }
        out->vt = VT_ARRAY | VT_UI1;
        out->parray = sa;
        return S_OK;
    }
    out->vt = VT_NULL;
    return S_OK;
}

HRESULT FromVariant(const VARIANT& in, qv::sql::Value* out) {
    if (in.vt & VT_BYREF) {
        VARIANT plain;
        VariantInit(&plain);
        HRESULT hr = VariantCopyInd(&plain, &in);
        if (FAILED(hr)) return hr;
        hr = FromVariant(plain, out);
        VariantClear(&plain);
        return hr;
    }
    switch (in.vt) {
        case VT_EMPTY:
        case VT_NULL: *out = qv::sql::Value(); return S_OK;
        case VT_I1: *out = std::int64_t(in.cVal); return S_OK;
        case VT_UI1: *out = std::int64_t(in.bVal); return S_OK;
        case VT_I2: *out = std::int64_t(in.iVal); return S_OK;
        case VT_UI2: *out = std::int64_t(in.uiVal); return S_OK;
        case VT_I4: *out = std::int64_t(in.lVal); return S_OK;
        case VT_UI4: *out = std::int64_t(in.ulVal); return S_OK;
        case VT_INT: *out = std::int64_t(in.intVal); return S_OK;
        case VT_UINT: *out = std::int64_t(in.uintVal); return S_OK;
        case VT_I8: *out = std::int64_t(in.llVal); return S_OK;
        case VT_UI8:
            if (in.ullVal > static_cast<ULONGLONG>(std::numeric_limits<std::int64_t>::max())) return DISP_E_OVERFLOW;
            *out = std::int64_t(in.ullVal);
            return S_OK;
        case VT_R4: *out = double(in.fltVal); return S_OK;
        case VT_R8: *out = in.dblVal; return S_OK;
        case VT_BOOL: *out = std::int64_t(in.boolVal != VARIANT_FALSE ? 1 : 0); return S_OK;
        case VT_CY: *out = static_cast<double>(in.cyVal.int64) / 10000.0; return S_OK;
        case VT_DATE: {
            std::string text;
            if (!FormatDbDate(in.date, &text)) return DISP_E_OVERFLOW;
            *out = std::move(text);
            return S_OK;
        }
        case VT_BSTR: *out = Utf8Of(in.bstrVal); return S_OK;
        case VT_ARRAY | VT_UI1: {
            LONG lo = 0, hi = -1;
            if (!in.parray || SafeArrayGetDim(in.parray) != 1 || FAILED(SafeArrayGetLBound(in.parray, 1, &lo)) ||
                FAILED(SafeArrayGetUBound(in.parray, 1, &hi))) {
                return DISP_E_TYPEMISMATCH;
            }
            qv::sql::Blob blob(static_cast<std::size_t>(hi - lo + 1));
            if (!blob.empty()) {
                void* data = nullptr;
                if (FAILED(SafeArrayAccessData(in.parray, &data))) return E_FAIL;
                std::memcpy(blob.data(), data, blob.size());
                SafeArrayUnaccessData(in.parray);
            }
            *out = std::move(blob);
            return S_OK;
        }
        default: return DISP_E_TYPEMISMATCH;
    }
}

}  // namespace qv::ado

#include "oleauto.h"
#include "oledate.h"
#include "textcase.h"
#include "qvformat.h"
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

// ---- BSTR: [32-bit byte count][characters][terminator], the pointer at the characters.

BSTR SysAllocStringLen(const OLECHAR* s, UINT len) {
    if (len > (0xFFFFFFF0u / sizeof(OLECHAR)) - 1) return nullptr;
    const std::size_t total = sizeof(std::uint32_t) + (std::size_t(len) + 1) * sizeof(OLECHAR);
    auto* block = static_cast<char*>(std::malloc(total));
    if (!block) return nullptr;
    const std::uint32_t bytes = len * sizeof(OLECHAR);
    std::memcpy(block, &bytes, sizeof bytes);
    auto* data = reinterpret_cast<OLECHAR*>(block + sizeof(std::uint32_t));
    if (s) std::memcpy(data, s, std::size_t(len) * sizeof(OLECHAR));
    else std::memset(data, 0, std::size_t(len) * sizeof(OLECHAR));
    data[len] = 0;
    return data;
}

BSTR SysAllocString(LPCOLESTR s) {
    if (!s) return nullptr;
    return SysAllocStringLen(s, static_cast<UINT>(std::wcslen(s)));
}

BOOL SysReAllocString(BSTR* pbstr, LPCOLESTR s) {
    if (!pbstr) return FALSE;
    BSTR fresh = SysAllocString(s);  // before freeing: s may point into the old string
    if (s && !fresh) return FALSE;
    SysFreeString(*pbstr);
    *pbstr = fresh;
    return TRUE;
}

void SysFreeString(BSTR s) {
    if (s) std::free(reinterpret_cast<char*>(s) - sizeof(std::uint32_t));
}

UINT SysStringByteLen(BSTR s) {
    if (!s) return 0;
    std::uint32_t bytes;
    std::memcpy(&bytes, reinterpret_cast<char*>(s) - sizeof(std::uint32_t), sizeof bytes);
    return bytes;
}

UINT SysStringLen(BSTR s) { return SysStringByteLen(s) / sizeof(OLECHAR); }

// ---- SAFEARRAY

namespace {

struct SafeArrayBlock {
    VARTYPE vt;
    SAFEARRAY sa;
};

SafeArrayBlock* BlockOf(SAFEARRAY* psa) {
    return reinterpret_cast<SafeArrayBlock*>(reinterpret_cast<char*>(psa) - offsetof(SafeArrayBlock, sa));
}

ULONG ElementSize(VARTYPE vt) {
    switch (vt) {
    case VT_I1: case VT_UI1: return 1;
    case VT_I2: case VT_UI2: case VT_BOOL: return 2;
    case VT_I4: case VT_UI4: case VT_INT: case VT_UINT: case VT_R4: case VT_ERROR: return 4;
    case VT_I8: case VT_UI8: case VT_R8: case VT_CY: case VT_DATE: return 8;
    default: return 0;
    }
}

}  // namespace

SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lLbound, ULONG cElements) {
    const ULONG size = ElementSize(vt);
    if (!size) return nullptr;
    auto* b = new (std::nothrow) SafeArrayBlock{};
    if (!b) return nullptr;
    b->vt = vt;
    b->sa.cDims = 1;
    b->sa.cbElements = size;
    b->sa.rgsabound[0].cElements = cElements;
    b->sa.rgsabound[0].lLbound = lLbound;
    b->sa.pvData = std::calloc(cElements ? cElements : 1, size);
    if (!b->sa.pvData) {
        delete b;
        return nullptr;
    }
    return &b->sa;
}

HRESULT SafeArrayAccessData(SAFEARRAY* psa, void** ppvData) {
    if (!psa || !ppvData) return E_INVALIDARG;
    ++psa->cLocks;
    *ppvData = psa->pvData;
    return S_OK;
}

HRESULT SafeArrayUnaccessData(SAFEARRAY* psa) {
    if (!psa) return E_INVALIDARG;
    if (psa->cLocks == 0) return E_UNEXPECTED;
    --psa->cLocks;
    return S_OK;
}

HRESULT SafeArrayDestroy(SAFEARRAY* psa) {
    if (!psa) return S_OK;
    if (psa->cLocks) return DISP_E_ARRAYISLOCKED;
    std::free(psa->pvData);
    delete BlockOf(psa);
    return S_OK;
}

HRESULT SafeArrayGetLBound(SAFEARRAY* psa, UINT nDim, LONG* plLbound) {
    if (!psa || !plLbound) return E_INVALIDARG;
    if (nDim != 1) return DISP_E_BADINDEX;
    *plLbound = psa->rgsabound[0].lLbound;
    return S_OK;
}

HRESULT SafeArrayGetUBound(SAFEARRAY* psa, UINT nDim, LONG* plUbound) {
    if (!psa || !plUbound) return E_INVALIDARG;
    if (nDim != 1) return DISP_E_BADINDEX;
    *plUbound = psa->rgsabound[0].lLbound + static_cast<LONG>(psa->rgsabound[0].cElements) - 1;
    return S_OK;
}

UINT SafeArrayGetDim(SAFEARRAY* psa) { return psa ? psa->cDims : 0; }

HRESULT SafeArrayGetVartype(SAFEARRAY* psa, VARTYPE* pvt) {
    if (!psa || !pvt) return E_INVALIDARG;
    *pvt = BlockOf(psa)->vt;
    return S_OK;
}

HRESULT SafeArrayCopy(SAFEARRAY* psa, SAFEARRAY** ppsaOut) {
    if (!ppsaOut) return E_INVALIDARG;
    *ppsaOut = nullptr;
    if (!psa) return S_OK;
    SAFEARRAY* copy = SafeArrayCreateVector(BlockOf(psa)->vt, psa->rgsabound[0].lLbound, psa->rgsabound[0].cElements);
    if (!copy) return E_OUTOFMEMORY;
    std::memcpy(copy->pvData, psa->pvData, std::size_t(psa->rgsabound[0].cElements) * psa->cbElements);
    *ppsaOut = copy;
    return S_OK;
}

// ---- VARIANT

namespace {

bool IsScalar(VARTYPE t) {
    switch (t) {
    case VT_I2: case VT_I4: case VT_R4: case VT_R8: case VT_CY: case VT_DATE: case VT_ERROR: case VT_BOOL:
    case VT_I1: case VT_UI1: case VT_UI2: case VT_UI4: case VT_I8: case VT_UI8: case VT_INT: case VT_UINT:
        return true;
    default:
        return false;
    }
}

bool IsValidType(VARTYPE vt) {
    const VARTYPE base = vt & VT_TYPEMASK;
    const VARTYPE flags = vt & ~VT_TYPEMASK;
    if (flags & ~(VT_ARRAY | VT_BYREF)) return false;
    if (flags & VT_ARRAY) return ElementSize(base) != 0;
    if (base == VT_EMPTY || base == VT_NULL) return flags == 0;
    if (base == VT_VARIANT) return flags == VT_BYREF;
    return IsScalar(base) || base == VT_BSTR || base == VT_UNKNOWN || base == VT_DISPATCH;
}

// The value a by-reference variant points at, as a shallow (non-owning) variant.
HRESULT Deref(const VARIANT& src, VARIANT& out) {
    out = src;
    if (!(src.vt & VT_BYREF)) return S_OK;
    if (!src.byref) return E_INVALIDARG;
    const VARTYPE base = src.vt & VT_TYPEMASK;
    out.vt = src.vt & ~VT_BYREF;
    if (src.vt & VT_ARRAY) {
        out.parray = *src.pparray;
        return S_OK;
    }
    switch (base) {
    case VT_VARIANT:
        out = *src.pvarVal;
        if (out.vt & VT_BYREF) return E_INVALIDARG;  // one level only, as the runtime allows
        return S_OK;
    case VT_I1: out.cVal = *src.pcVal; break;
    case VT_UI1: out.bVal = *src.pbVal; break;
    case VT_I2: out.iVal = *src.piVal; break;
    case VT_UI2: out.uiVal = *src.puiVal; break;
    case VT_BOOL: out.boolVal = *src.pboolVal; break;
    case VT_I4: out.lVal = *src.plVal; break;
    case VT_UI4: out.ulVal = *src.pulVal; break;
    case VT_INT: out.intVal = *src.pintVal; break;
    case VT_UINT: out.uintVal = *src.puintVal; break;
    case VT_ERROR: out.scode = *src.pscode; break;
    case VT_I8: out.llVal = *src.pllVal; break;
    case VT_UI8: out.ullVal = *src.pullVal; break;
    case VT_R4: out.fltVal = *src.pfltVal; break;
    case VT_R8: out.dblVal = *src.pdblVal; break;
    case VT_DATE: out.date = *src.pdate; break;
    case VT_CY: out.cyVal = *src.pcyVal; break;
    case VT_BSTR: out.bstrVal = *src.pbstrVal; break;
    case VT_UNKNOWN: out.punkVal = *src.ppunkVal; break;
    case VT_DISPATCH: out.pdispVal = *src.ppdispVal; break;
    default: return DISP_E_BADVARTYPE;
    }
    return S_OK;
}

IUnknown* UnknownOf(const VARIANT& v) { return v.punkVal; }  // IDispatch derives from IUnknown alone

// Deep copy of a non-by-reference value into 'out' (which is overwritten, not cleared).
HRESULT CopyValue(VARIANT& out, const VARIANT& src) {
    out = src;
    if (src.vt & VT_BYREF) return S_OK;
    if (src.vt & VT_ARRAY) return SafeArrayCopy(src.parray, &out.parray);
    switch (src.vt) {
    case VT_BSTR:
        if (src.bstrVal) {
            out.bstrVal = SysAllocStringLen(src.bstrVal, SysStringLen(src.bstrVal));
            if (!out.bstrVal) return E_OUTOFMEMORY;
        }
        break;
    case VT_UNKNOWN:
    case VT_DISPATCH:
        if (IUnknown* u = UnknownOf(src)) u->AddRef();
        break;
    default: break;
    }
    return S_OK;
}

// ---- conversions

const GUID kIID_IDispatch = qv::MakeGuid("00020400-0000-0000-C000-000000000046");

struct Num {
    enum Kind { Int, UInt, Real, Cy } kind = Int;
    long long i = 0;
    unsigned long long u = 0;
    double d = 0;
};

std::wstring_view TrimBlanks(std::wstring_view s) {
    while (!s.empty() && (s.front() == L' ' || (s.front() >= L'\t' && s.front() <= L'\r'))) s.remove_prefix(1);
    while (!s.empty() && (s.back() == L' ' || (s.back() >= L'\t' && s.back() <= L'\r'))) s.remove_suffix(1);
    return s;
}

// Numbers in text: optional sign, digits, optional fraction and exponent; "C" locale only.
bool ParseNumber(std::wstring_view text, Num& out) {
    text = TrimBlanks(text);
    if (text.empty() || text.size() > 400) return false;
    std::string a;
    for (wchar_t c : text) {
        if (c > 0x7F) return false;
        a += static_cast<char>(c);
    }
    size_t p = 0;
    bool neg = false;
    if (a[p] == '+' || a[p] == '-') neg = a[p++] == '-';
    if (p >= a.size()) return false;
    const std::string body = a.substr(p);
    bool allDigits = true;
    for (char c : body) allDigits = allDigits && c >= '0' && c <= '9';
    if (allDigits) {
        unsigned long long u = 0;
        auto r = std::from_chars(body.data(), body.data() + body.size(), u);
        if (r.ec == std::errc() && r.ptr == body.data() + body.size()) {
            if (!neg) {
                out.kind = Num::UInt;
                out.u = u;
                if (u <= static_cast<unsigned long long>(std::numeric_limits<long long>::max())) {
                    out.kind = Num::Int;
                    out.i = static_cast<long long>(u);
                }
                return true;
            }
            if (u <= static_cast<unsigned long long>(std::numeric_limits<long long>::max()) + 1ULL) {
                out.kind = Num::Int;
                out.i = static_cast<long long>(0 - u);
                return true;
            }
        }
    }
    for (char c : body) {
        if (!((c >= '0' && c <= '9') || c == '.' || c == 'e' || c == 'E' || c == '+' || c == '-')) return false;
    }
    double d = 0;
    auto r = std::from_chars(body.data(), body.data() + body.size(), d, std::chars_format::general);
    if (r.ec != std::errc() || r.ptr != body.data() + body.size() || !std::isfinite(d)) return false;
    out.kind = Num::Real;
    out.d = neg ? -d : d;
    return true;
}

// Currency text parsed exactly (no detour through double), rounded half to even at 4 decimals.
HRESULT ParseCurrency(std::wstring_view text, long long& out) {
    text = TrimBlanks(text);
    size_t p = 0;
    bool neg = false;
    if (p < text.size() && (text[p] == L'+' || text[p] == L'-')) neg = text[p++] == L'-';
    unsigned long long whole = 0;
    int digits = 0;
    for (; p < text.size() && text[p] >= L'0' && text[p] <= L'9'; ++p, ++digits) {
        if (whole > 922337203685477ULL) return DISP_E_OVERFLOW;
        whole = whole * 10 + unsigned(text[p] - L'0');
    }
    unsigned long long frac = 0;
    int fracDigits = 0;
    int roundDigit = -1;
    bool beyond = false;
    if (p < text.size() && text[p] == L'.') {
        for (++p; p < text.size() && text[p] >= L'0' && text[p] <= L'9'; ++p) {
            const unsigned dgt = unsigned(text[p] - L'0');
            if (fracDigits < 4) frac = frac * 10 + dgt, ++fracDigits;
            else if (roundDigit < 0) roundDigit = int(dgt);
            else if (dgt) beyond = true;
            ++digits;
        }
    }
    if (p != text.size() || digits == 0) {
        // Exponent forms and the like go through the general number reader.
        Num n;
        if (!ParseNumber(text, n)) return DISP_E_TYPEMISMATCH;
        const double v = (n.kind == Num::Real ? n.d : n.kind == Num::Int ? double(n.i) : double(n.u)) * 10000.0;
        if (!(std::fabs(v) < 9.2233720368547758e18)) return DISP_E_OVERFLOW;
        out = static_cast<long long>(std::nearbyint(v));
        return S_OK;
    }
    while (fracDigits < 4) frac *= 10, ++fracDigits;
    if (whole > 922337203685477ULL) return DISP_E_OVERFLOW;
    unsigned long long v = whole * 10000ULL + frac;
    if (roundDigit > 5 || (roundDigit == 5 && (beyond || (v & 1)))) ++v;
    if (v > static_cast<unsigned long long>(std::numeric_limits<long long>::max()) + (neg ? 1ULL : 0ULL))
        return DISP_E_OVERFLOW;
    out = neg ? static_cast<long long>(0 - v) : static_cast<long long>(v);
    return S_OK;
}

HRESULT ToNum(const VARIANT& s, Num& n) {
    switch (s.vt) {
    case VT_EMPTY: n.kind = Num::Int; n.i = 0; return S_OK;
    case VT_I1: n.kind = Num::Int; n.i = s.cVal; return S_OK;
    case VT_I2: n.kind = Num::Int; n.i = s.iVal; return S_OK;
    case VT_I4: n.kind = Num::Int; n.i = s.lVal; return S_OK;
    case VT_INT: n.kind = Num::Int; n.i = s.intVal; return S_OK;
    case VT_I8: n.kind = Num::Int; n.i = s.llVal; return S_OK;
    case VT_BOOL: n.kind = Num::Int; n.i = s.boolVal; return S_OK;
    case VT_UI1: n.kind = Num::UInt; n.u = s.bVal; return S_OK;
    case VT_UI2: n.kind = Num::UInt; n.u = s.uiVal; return S_OK;
    case VT_UI4: n.kind = Num::UInt; n.u = s.ulVal; return S_OK;
    case VT_UINT: n.kind = Num::UInt; n.u = s.uintVal; return S_OK;
    case VT_UI8: n.kind = Num::UInt; n.u = s.ullVal; return S_OK;
    case VT_R4: n.kind = Num::Real; n.d = s.fltVal; return S_OK;
    case VT_R8: n.kind = Num::Real; n.d = s.dblVal; return S_OK;
    case VT_DATE: n.kind = Num::Real; n.d = s.date; return S_OK;
    case VT_CY: n.kind = Num::Cy; n.i = s.cyVal.int64; return S_OK;
    case VT_BSTR: {
        std::wstring_view text(s.bstrVal ? s.bstrVal : L"", SysStringLen(s.bstrVal));
        return ParseNumber(text, n) ? S_OK : DISP_E_TYPEMISMATCH;
    }
    default: return DISP_E_TYPEMISMATCH;
    }
}

double NumToDouble(const Num& n) {
    switch (n.kind) {
    case Num::Int: return double(n.i);
    case Num::UInt: return double(n.u);
    case Num::Real: return n.d;
    case Num::Cy: return double(n.i) / 10000.0;
    }
    return 0;
}

// A whole number within [lo, hi]; doubles and currency round half to even, as the runtime does.
HRESULT NumToInt(const Num& n, long long lo, unsigned long long hi, bool& negative, unsigned long long& mag) {
    long long sv = 0;
    switch (n.kind) {
    case Num::UInt:
        if (n.u > hi) return DISP_E_OVERFLOW;
        negative = false;
        mag = n.u;
        return S_OK;
    case Num::Int: sv = n.i; break;
    case Num::Real: {
        if (!std::isfinite(n.d)) return DISP_E_OVERFLOW;
        const double r = std::nearbyint(n.d);
        if (r < -9223372036854775808.0 || r >= 18446744073709551616.0) return DISP_E_OVERFLOW;
        if (r >= 9223372036854775808.0) {
            const auto u = static_cast<unsigned long long>(r);
            if (u > hi) return DISP_E_OVERFLOW;
            negative = false;
            mag = u;
            return S_OK;
        }
        sv = static_cast<long long>(r);
        break;
    }
    case Num::Cy: {
        long long q = n.i / 10000;
        const long long rem = n.i % 10000;
        const long long arem = rem < 0 ? -rem : rem;
        if (arem > 5000 || (arem == 5000 && (q & 1))) q += rem < 0 ? -1 : 1;
        sv = q;
        break;
    }
    }
    if (sv < lo || (sv > 0 && static_cast<unsigned long long>(sv) > hi)) return DISP_E_OVERFLOW;
    negative = sv < 0;
    mag = negative ? 0 - static_cast<unsigned long long>(sv) : static_cast<unsigned long long>(sv);
    return S_OK;
}

HRESULT NumToCy(const Num& n, long long& out) {
    constexpr long long kMaxWhole = 922337203685477LL;
    switch (n.kind) {
    case Num::Cy: out = n.i; return S_OK;
    case Num::Int:
        if (n.i > kMaxWhole || n.i < -kMaxWhole) return DISP_E_OVERFLOW;
        out = n.i * 10000;
        return S_OK;
    case Num::UInt:
        if (n.u > static_cast<unsigned long long>(kMaxWhole)) return DISP_E_OVERFLOW;
        out = static_cast<long long>(n.u) * 10000;
        return S_OK;
    case Num::Real: {
        const double v = std::nearbyint(n.d * 10000.0);
        if (!std::isfinite(v) || v >= 9223372036854775808.0 || v < -9223372036854775808.0) return DISP_E_OVERFLOW;
        out = static_cast<long long>(v);
        return S_OK;
    }
    }
    return DISP_E_TYPEMISMATCH;
}

std::wstring CyText(long long v) {
    const bool neg = v < 0;
    const unsigned long long m = neg ? 0 - static_cast<unsigned long long>(v) : static_cast<unsigned long long>(v);
    std::wstring s = (neg ? L"-" : L"") + std::to_wstring(m / 10000);
    unsigned long long frac = m % 10000;
    if (frac) {
        std::wstring f = std::to_wstring(frac);
        f.insert(0, 4 - f.size(), L'0');
        while (f.back() == L'0') f.pop_back();
        s += L'.' + f;
    }
    return s;
}

std::wstring DoubleText(double d, int digits) { return qv::FormatString(L"%.*G", digits, d); }

bool ValidDate(double d) { return COleDateTime(d).GetStatus() == COleDateTime::valid; }

HRESULT ToText(const VARIANT& s, USHORT flags, std::wstring& out) {
    switch (s.vt) {
    case VT_EMPTY: out.clear(); return S_OK;
    case VT_BSTR: out.assign(s.bstrVal ? s.bstrVal : L"", SysStringLen(s.bstrVal)); return S_OK;
    case VT_BOOL:
        if (flags & VARIANT_ALPHABOOL) out = s.boolVal ? L"True" : L"False";
        else out = s.boolVal ? L"-1" : L"0";
        return S_OK;
    case VT_R4: out = DoubleText(s.fltVal, 7); return S_OK;
    case VT_R8: out = DoubleText(s.dblVal, 15); return S_OK;
    case VT_CY: out = CyText(s.cyVal.int64); return S_OK;
    case VT_DATE: {
        if (!ValidDate(s.date)) return DISP_E_OVERFLOW;
        out = COleDateTime(s.date).Format().wstr();
        return S_OK;
    }
    default: {
        Num n;
        HRESULT hr = ToNum(s, n);
        if (FAILED(hr)) return hr;
        out = n.kind == Num::UInt ? std::to_wstring(n.u) : std::to_wstring(n.i);
        return S_OK;
    }
    }
}

HRESULT Convert(const VARIANT& s, USHORT flags, VARTYPE vt, VARIANT& r) {
    VariantInit(&r);
    if (s.vt == vt) return CopyValue(r, s);
    if ((s.vt & VT_ARRAY) || (vt & (VT_ARRAY | VT_BYREF))) return DISP_E_TYPEMISMATCH;
    if (s.vt == VT_NULL) return DISP_E_TYPEMISMATCH;  // NULL has no value to convert
    switch (vt) {
    case VT_EMPTY:
        return DISP_E_TYPEMISMATCH;
    case VT_NULL:
        if (s.vt != VT_EMPTY) return DISP_E_TYPEMISMATCH;
        r.vt = VT_NULL;
        return S_OK;
    case VT_UNKNOWN:
        if (s.vt != VT_DISPATCH) return DISP_E_TYPEMISMATCH;
        r.vt = VT_UNKNOWN;
        r.punkVal = UnknownOf(s);
        if (r.punkVal) r.punkVal->AddRef();
        return S_OK;
    case VT_DISPATCH: {
        if (s.vt != VT_UNKNOWN) return DISP_E_TYPEMISMATCH;
        void* p = nullptr;
        if (s.punkVal && FAILED(s.punkVal->QueryInterface(kIID_IDispatch, &p))) return DISP_E_TYPEMISMATCH;
        r.vt = VT_DISPATCH;
        r.pdispVal = static_cast<IDispatch*>(p);
        return S_OK;
    }
    case VT_BSTR: {
        std::wstring text;
        HRESULT hr = ToText(s, flags, text);
        if (FAILED(hr)) return hr;
        r.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
        if (!r.bstrVal) return E_OUTOFMEMORY;
        r.vt = VT_BSTR;
        return S_OK;
    }
    case VT_DATE: {
        if (s.vt == VT_BSTR) {
            COleDateTime d;
            if (!d.ParseDateTime(s.bstrVal ? s.bstrVal : L"")) return DISP_E_TYPEMISMATCH;
            r.vt = VT_DATE;
            r.date = d.m_dt;
            return S_OK;
        }
        Num n;
        HRESULT hr = ToNum(s, n);
        if (FAILED(hr)) return hr;
        const double d = NumToDouble(n);
        if (!ValidDate(d)) return DISP_E_OVERFLOW;
        r.vt = VT_DATE;
        r.date = d;
        return S_OK;
    }
    case VT_BOOL: {
        if (s.vt == VT_BSTR) {
            const std::wstring_view t = TrimBlanks(std::wstring_view(s.bstrVal ? s.bstrVal : L"", SysStringLen(s.bstrVal)));
            if (qv::CompareNoCase(t, L"true") == 0 || qv::CompareNoCase(t, L"false") == 0) {
                r.vt = VT_BOOL;
                r.boolVal = qv::CompareNoCase(t, L"true") == 0 ? VARIANT_TRUE : VARIANT_FALSE;
                return S_OK;
            }
        }
        Num n;
        HRESULT hr = ToNum(s, n);
        if (FAILED(hr)) return hr;
        bool nonzero = n.kind == Num::Real ? n.d != 0 : n.kind == Num::UInt ? n.u != 0 : n.i != 0;
        r.vt = VT_BOOL;
        r.boolVal = nonzero ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    }
    case VT_CY: {
        long long v = 0;
        HRESULT hr;
        if (s.vt == VT_BSTR) {
            hr = ParseCurrency(std::wstring_view(s.bstrVal ? s.bstrVal : L"", SysStringLen(s.bstrVal)), v);
        } else {
            Num n;
            hr = ToNum(s, n);
            if (SUCCEEDED(hr)) hr = NumToCy(n, v);
        }
        if (FAILED(hr)) return hr;
        r.vt = VT_CY;
        r.cyVal.int64 = v;
        return S_OK;
    }
    case VT_R4:
    case VT_R8: {
        Num n;
        HRESULT hr = ToNum(s, n);
        if (FAILED(hr)) return hr;
        const double d = NumToDouble(n);
        if (vt == VT_R4) {
            if (std::isfinite(d) && std::fabs(d) > FLT_MAX) return DISP_E_OVERFLOW;
            r.fltVal = static_cast<float>(d);
        } else {
            r.dblVal = d;
        }
        r.vt = vt;
        return S_OK;
    }
    case VT_ERROR:
        return DISP_E_TYPEMISMATCH;
    default: break;
    }
    // Whole numbers.
    long long lo;
    unsigned long long hi;
    switch (vt) {
    case VT_I1: lo = -128; hi = 127; break;
    case VT_UI1: lo = 0; hi = 255; break;
    case VT_I2: lo = -32768; hi = 32767; break;
    case VT_UI2: lo = 0; hi = 65535; break;
    case VT_I4: case VT_INT: lo = -2147483648LL; hi = 2147483647; break;
    case VT_UI4: case VT_UINT: lo = 0; hi = 4294967295ULL; break;
    case VT_I8: lo = std::numeric_limits<long long>::min(); hi = std::numeric_limits<long long>::max(); break;
    case VT_UI8: lo = 0; hi = std::numeric_limits<unsigned long long>::max(); break;
    default: return DISP_E_BADVARTYPE;
    }
    if (s.vt == VT_UNKNOWN || s.vt == VT_DISPATCH || s.vt == VT_ERROR) return DISP_E_TYPEMISMATCH;
    Num n;
    HRESULT hr = ToNum(s, n);
    if (FAILED(hr)) return hr;
    bool neg = false;
    unsigned long long mag = 0;
    hr = NumToInt(n, lo, hi, neg, mag);
    if (FAILED(hr)) return hr;
    const long long sv = neg ? static_cast<long long>(0 - mag) : static_cast<long long>(mag);
    r.vt = vt;
    switch (vt) {
    case VT_I1: r.cVal = static_cast<CHAR>(sv); break;
    case VT_UI1: r.bVal = static_cast<BYTE>(mag); break;
    case VT_I2: r.iVal = static_cast<SHORT>(sv); break;
    case VT_UI2: r.uiVal = static_cast<USHORT>(mag); break;
    case VT_I4: r.lVal = static_cast<LONG>(sv); break;
    case VT_INT: r.intVal = static_cast<INT>(sv); break;
    case VT_UI4: r.ulVal = static_cast<ULONG>(mag); break;
    case VT_UINT: r.uintVal = static_cast<UINT>(mag); break;
    case VT_I8: r.llVal = sv; break;
    case VT_UI8: r.ullVal = mag; break;
    default: break;
    }
    return S_OK;
}

}  // namespace

void VariantInit(VARIANTARG* v) {
    if (!v) return;
    std::memset(static_cast<void*>(v), 0, sizeof *v);
    v->vt = VT_EMPTY;
}

HRESULT VariantClear(VARIANTARG* v) {
    if (!v) return E_INVALIDARG;
    if (!IsValidType(v->vt)) return DISP_E_BADVARTYPE;
    if (!(v->vt & VT_BYREF)) {
        if (v->vt & VT_ARRAY) {
            HRESULT hr = SafeArrayDestroy(v->parray);
            if (FAILED(hr)) return hr;
        } else if (v->vt == VT_BSTR) {
            SysFreeString(v->bstrVal);
        } else if (v->vt == VT_UNKNOWN || v->vt == VT_DISPATCH) {
            if (IUnknown* u = UnknownOf(*v)) u->Release();
        }
    }
    v->vt = VT_EMPTY;
    v->llVal = 0;
    return S_OK;
}

HRESULT VariantCopy(VARIANTARG* dest, const VARIANTARG* src) {
    if (!dest || !src) return E_INVALIDARG;
    if (dest == src) return S_OK;
    if (!IsValidType(src->vt)) return DISP_E_BADVARTYPE;
    VARIANT copy;
    HRESULT hr = CopyValue(copy, *src);
    if (FAILED(hr)) return hr;
    hr = VariantClear(dest);
    if (FAILED(hr)) {
        VariantClear(&copy);
        return hr;
    }
    *dest = copy;
    return S_OK;
}

HRESULT VariantCopyInd(VARIANT* dest, const VARIANTARG* src) {
    if (!dest || !src) return E_INVALIDARG;
    if (!IsValidType(src->vt)) return DISP_E_BADVARTYPE;
    VARIANT shallow;
    HRESULT hr = Deref(*src, shallow);
    if (FAILED(hr)) return hr;
    VARIANT copy;
    hr = CopyValue(copy, shallow);
    if (FAILED(hr)) return hr;
    hr = VariantClear(dest);
    if (FAILED(hr)) {
        VariantClear(&copy);
        return hr;
    }
    *dest = copy;
    return S_OK;
}

HRESULT VariantChangeType(VARIANTARG* dest, const VARIANTARG* src, USHORT flags, VARTYPE vt) {
    if (!dest || !src) return E_INVALIDARG;
    if (!IsValidType(src->vt)) return DISP_E_BADVARTYPE;
    if (!IsValidType(vt)) return DISP_E_BADVARTYPE;
    VARIANT shallow;
    HRESULT hr = Deref(*src, shallow);
    if (FAILED(hr)) return hr;
    VARIANT result;
    hr = Convert(shallow, flags, vt, result);
    if (FAILED(hr)) {
        VariantClear(&result);
        return hr;
    }
    hr = VariantClear(dest);  // may free the source when converting in place; result is a copy
    if (FAILED(hr)) {
        VariantClear(&result);
        return hr;
    }
    *dest = result;
    return S_OK;
}

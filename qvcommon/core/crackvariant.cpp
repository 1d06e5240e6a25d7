#include "qvcrackvariant.h"
#include "oledate.h"
#include "qvdatetime.h"
#include "textcase.h"

#include <cmath>
#include <cstdint>

namespace {

// The variant with by-reference values resolved; owns what it holds.
class Plain {
public:
    explicit Plain(const VARIANT& v) {
        VariantInit(&v_);
        if (FAILED(VariantCopyInd(&v_, &v))) VariantClear(&v_);
    }
    ~Plain() { VariantClear(&v_); }
    Plain(const Plain&) = delete;
    Plain& operator=(const Plain&) = delete;
    const VARIANT& get() const { return v_; }
    VARTYPE vt() const { return v_.vt; }
    bool IsNothing() const { return v_.vt == VT_EMPTY || v_.vt == VT_NULL; }

private:
    VARIANT v_;
};

std::wstring Text(const VARIANT& v) { return v.bstrVal ? std::wstring(v.bstrVal, SysStringLen(v.bstrVal)) : std::wstring(); }

// The value converted to vt; false when it has no such form.
bool Convert(const VARIANT& v, VARTYPE vt, VARIANT& out) {
    VariantInit(&out);
    if (FAILED(VariantChangeType(&out, &v, 0, vt))) {
        VariantClear(&out);
        return false;
    }
    return true;
}

// Whole numbers of any width, as 64 bits; false for anything else.
bool Integer(const VARIANT& v, long long& out) {
    switch (v.vt) {
    case VT_I1: out = v.cVal; return true;
    case VT_UI1: out = v.bVal; return true;
    case VT_I2: out = v.iVal; return true;
    case VT_UI2: out = v.uiVal; return true;
    case VT_I4: out = v.lVal; return true;
    case VT_UI4: out = v.ulVal; return true;
    case VT_INT: out = v.intVal; return true;
    case VT_UINT: out = v.uintVal; return true;
    case VT_I8: out = v.llVal; return true;
    case VT_UI8: out = static_cast<long long>(v.ullVal); return true;
    default: return false;
    }
}

long Wrap32(long long v) { return static_cast<LONG>(static_cast<std::uint32_t>(static_cast<unsigned long long>(v))); }

}  // namespace

BOOL CrackBoolVariant(const VARIANT& v) {
    Plain p(v);
    if (p.IsNothing()) return FALSE;
    if (p.vt() == VT_BOOL) return p.get().boolVal != VARIANT_FALSE;
    if (p.vt() == VT_BSTR) {
        CString text(Text(p.get()));
        text.Trim();
        if (text.IsEmpty()) return FALSE;
        if (text.CompareNoCase(L"true") == 0) return TRUE;
        if (text.CompareNoCase(L"false") == 0) return FALSE;
        return CrackDoubleVariant(p.get()) != 0.0;
    }
    long long i = 0;
    if (Integer(p.get(), i)) return i != 0;
    return CrackDoubleVariant(p.get()) != 0.0;
}

long CrackLongVariant(const VARIANT& v) {
    Plain p(v);
    if (p.IsNothing()) return 0;
    if (p.vt() == VT_BOOL) return p.get().boolVal != VARIANT_FALSE ? 1 : 0;
    long long i = 0;
    if (Integer(p.get(), i)) return Wrap32(i);
    VARIANT out;
    if (p.vt() == VT_BSTR && Convert(p.get(), VT_I8, out)) return Wrap32(out.llVal);
    const double d = CrackDoubleVariant(p.get());
    if (!std::isfinite(d) || d <= -9.2e18 || d >= 9.2e18) return 0;
    return Wrap32(std::llround(d));
}

double CrackDoubleVariant(const VARIANT& v) {
    Plain p(v);
    if (p.IsNothing()) return 0.0;
    if (p.vt() == VT_BOOL) return p.get().boolVal != VARIANT_FALSE ? 1.0 : 0.0;
    VARIANT out;
    if (!Convert(p.get(), VT_R8, out)) return 0.0;
    return out.dblVal;
}

CString CrackStrVariant(const VARIANT& v) {
    Plain p(v);
    if (p.IsNothing()) return CString();
    if (p.vt() == VT_BSTR) return CString(Text(p.get()));
    if (p.vt() == VT_BOOL) return CString(p.get().boolVal != VARIANT_FALSE ? L"1" : L"0");
    if (p.vt() == VT_DATE) return CQvDateTime(p.get().date).GetNormalizedDateTime();
    VARIANT out;
    if (!Convert(p.get(), VT_BSTR, out)) return CString();
    CString s(Text(out));
    VariantClear(&out);
    return s;
}

DATE CrackDateVariant(const VARIANT& v) {
    Plain p(v);
    if (p.IsNothing()) return 0.0;
    if (p.vt() == VT_DATE) return p.get().date;
    if (p.vt() == VT_BSTR) {
        COleDateTime dt;
        const std::wstring text = Text(p.get());
        if (!dt.ParseDateTime(text.c_str())) return 0.0;
        return dt.m_dt;
    }
    if (p.vt() == VT_BOOL) return 0.0;
    return CrackDoubleVariant(p.get());
}

#include "olevariant.h"
#include <cstring>
#include <cwchar>
#include <string>

namespace {

void Take(COleVariant& self, VARIANT& src) {
    static_cast<VARIANT&>(self) = src;
    VariantInit(&src);
}

}  // namespace

COleVariant::COleVariant() { VariantInit(this); }

COleVariant::COleVariant(const VARIANT& src) {
    VariantInit(this);
    VariantCopy(this, &src);
}

COleVariant::COleVariant(LPCVARIANT src) {
    VariantInit(this);
    if (src) VariantCopy(this, src);
}

COleVariant::COleVariant(const COleVariant& src) : COleVariant(static_cast<const VARIANT&>(src)) {}

COleVariant::COleVariant(COleVariant&& src) noexcept {
    VariantInit(this);
    Take(*this, src);
}

void COleVariant::SetBstr(const wchar_t* s, std::size_t len) {
    Clear();
    vt = VT_BSTR;
    bstrVal = SysAllocStringLen(s, static_cast<UINT>(len));
}

COleVariant::COleVariant(LPCWSTR s) {
    VariantInit(this);
    *this = s;
}

COleVariant::COleVariant(const char* utf8) {
    VariantInit(this);
    const CString s(utf8);
    SetBstr(s.GetString(), s.wstr().size());
}

COleVariant::COleVariant(const CString& s) {
    VariantInit(this);
    SetBstr(s.GetString(), s.wstr().size());
}

COleVariant::COleVariant(BYTE v) {
    VariantInit(this);
    vt = VT_UI1;
    bVal = v;
}

COleVariant::COleVariant(short v, VARTYPE type) {
    VariantInit(this);
    if (type == VT_BOOL) {
        vt = VT_BOOL;
        boolVal = v ? VARIANT_TRUE : VARIANT_FALSE;
    } else {
        vt = VT_I2;
        iVal = v;
    }
}

COleVariant::COleVariant(int v, VARTYPE type) : COleVariant(static_cast<long>(v), type) {}

COleVariant::COleVariant(long v, VARTYPE type) {
    VariantInit(this);
    if (type == VT_BOOL) {
        vt = VT_BOOL;
        boolVal = v ? VARIANT_TRUE : VARIANT_FALSE;
    } else if (type == VT_ERROR) {
        vt = VT_ERROR;
        scode = static_cast<SCODE>(v);
    } else {
        vt = VT_I4;
        lVal = static_cast<LONG>(v);
    }
}

COleVariant::COleVariant(unsigned int v) {
    VariantInit(this);
    vt = VT_UI4;
    ulVal = v;
}

COleVariant::COleVariant(long long v) {
    VariantInit(this);
    vt = VT_I8;
    llVal = v;
}

COleVariant::COleVariant(unsigned long long v) {
    VariantInit(this);
    vt = VT_UI8;
    ullVal = v;
}

COleVariant::COleVariant(float v) {
    VariantInit(this);
    vt = VT_R4;
    fltVal = v;
}

COleVariant::COleVariant(double v) {
    VariantInit(this);
    vt = VT_R8;
    dblVal = v;
}

COleVariant::COleVariant(bool v) {
    VariantInit(this);
    vt = VT_BOOL;
    boolVal = v ? VARIANT_TRUE : VARIANT_FALSE;
}

COleVariant::COleVariant(const COleDateTime& v) {
    VariantInit(this);
    *this = v;
}

COleVariant::COleVariant(CY v) {
    VariantInit(this);
    vt = VT_CY;
    cyVal = v;
}

COleVariant::~COleVariant() { VariantClear(this); }

COleVariant& COleVariant::operator=(const COleVariant& src) {
    VariantCopy(this, &src);
    return *this;
}

COleVariant& COleVariant::operator=(COleVariant&& src) noexcept {
    if (this != &src) {
        Clear();
        Take(*this, src);
    }
    return *this;
}

COleVariant& COleVariant::operator=(const VARIANT& src) {
    VariantCopy(this, &src);
    return *this;
}

COleVariant& COleVariant::operator=(LPCVARIANT src) {
    if (src) VariantCopy(this, src);
    else Clear();
    return *this;
}

COleVariant& COleVariant::operator=(LPCWSTR s) {
    if (!s) {
        Clear();
        vt = VT_BSTR;
        bstrVal = nullptr;
        return *this;
    }
    const std::wstring copy(s);  // s may be our own BSTR
    SetBstr(copy.data(), copy.size());
    return *this;
}

COleVariant& COleVariant::operator=(const CString& s) {
    const std::wstring copy(s.wstr());
    SetBstr(copy.data(), copy.size());
    return *this;
}

COleVariant& COleVariant::operator=(BYTE v) { return *this = COleVariant(v); }
COleVariant& COleVariant::operator=(short v) { return *this = COleVariant(v); }
COleVariant& COleVariant::operator=(int v) { return *this = COleVariant(v); }
COleVariant& COleVariant::operator=(long v) { return *this = COleVariant(v); }
COleVariant& COleVariant::operator=(float v) { return *this = COleVariant(v); }
COleVariant& COleVariant::operator=(double v) { return *this = COleVariant(v); }
COleVariant& COleVariant::operator=(bool v) { return *this = COleVariant(v); }

COleVariant& COleVariant::operator=(const COleDateTime& v) {
    Clear();
    vt = VT_DATE;
    date = v.m_dt;
    return *this;
}

bool COleVariant::operator==(LPCVARIANT other) const { return other && *this == *other; }

bool COleVariant::operator==(const VARIANT& o) const {
    if (vt != o.vt) return false;
    if (vt & VT_BYREF) return byref == o.byref;
    if (vt & VT_ARRAY) {
        if (!parray || !o.parray) return parray == o.parray;
        if (parray->cbElements != o.parray->cbElements ||
            parray->rgsabound[0].cElements != o.parray->rgsabound[0].cElements ||
            parray->rgsabound[0].lLbound != o.parray->rgsabound[0].lLbound)
            return false;
        return std::memcmp(parray->pvData, o.parray->pvData,
                           std::size_t(parray->cbElements) * parray->rgsabound[0].cElements) == 0;
    }
    switch (vt) {
    case VT_EMPTY: case VT_NULL: return true;
    case VT_I1: return cVal == o.cVal;
    case VT_UI1: return bVal == o.bVal;
    case VT_I2: return iVal == o.iVal;
    case VT_UI2: return uiVal == o.uiVal;
    case VT_BOOL: return boolVal == o.boolVal;
    case VT_I4: return lVal == o.lVal;
    case VT_UI4: return ulVal == o.ulVal;
    case VT_INT: return intVal == o.intVal;
    case VT_UINT: return uintVal == o.uintVal;
    case VT_ERROR: return scode == o.scode;
    case VT_I8: return llVal == o.llVal;
    case VT_UI8: return ullVal == o.ullVal;
    case VT_R4: return fltVal == o.fltVal;
    case VT_R8: return dblVal == o.dblVal;
    case VT_DATE: return date == o.date;
    case VT_CY: return cyVal.int64 == o.cyVal.int64;
    case VT_BSTR: {
        const UINT n = SysStringLen(bstrVal);
        return n == SysStringLen(o.bstrVal) && (n == 0 || std::wmemcmp(bstrVal, o.bstrVal, n) == 0);
    }
    case VT_UNKNOWN: case VT_DISPATCH: return punkVal == o.punkVal;
    default: return false;
    }
}

void COleVariant::Clear() { VariantClear(this); }

HRESULT COleVariant::ChangeType(VARTYPE type, LPVARIANT pSrc) {
    return VariantChangeType(this, pSrc ? pSrc : this, 0, type);
}

void COleVariant::Attach(VARIANT& src) {
    Clear();
    Take(*this, src);
}

VARIANT COleVariant::Detach() {
    VARIANT out = *this;
    VariantInit(this);
    return out;
}

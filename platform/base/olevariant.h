#pragma once
// COleVariant: a VARIANT that owns its value (cleared on destruction, deep-copied on copy).
#include "cstring.h"
#include "oleauto.h"
#include "oledate.h"

class COleVariant : public tagVARIANT {
public:
    COleVariant();
    COleVariant(const VARIANT& src);
    COleVariant(LPCVARIANT src);
    COleVariant(const COleVariant& src);
    COleVariant(COleVariant&& src) noexcept;
    // VT_BSTR
    COleVariant(LPCWSTR s);
    COleVariant(const char* utf8);
    COleVariant(const CString& s);
    // vt: VT_UI1
    COleVariant(BYTE v);
    // vt: VT_I2 or VT_BOOL
    COleVariant(short v, VARTYPE vt = VT_I2);
    // vt: VT_I4, VT_BOOL or VT_ERROR; 'long' is the 32-bit long of the system's code
    COleVariant(int v, VARTYPE vt = VT_I4);
    COleVariant(long v, VARTYPE vt = VT_I4);
    COleVariant(unsigned int v);  // VT_UI4
    COleVariant(long long v);     // VT_I8
    COleVariant(unsigned long long v);  // VT_UI8
    COleVariant(float v);
    COleVariant(double v);
    COleVariant(bool v);  // VT_BOOL
    COleVariant(const COleDateTime& v);  // VT_DATE with m_dt, whatever the status
    COleVariant(CY v);
    ~COleVariant();

    COleVariant& operator=(const COleVariant& src);
    COleVariant& operator=(COleVariant&& src) noexcept;
    COleVariant& operator=(const VARIANT& src);
    COleVariant& operator=(LPCVARIANT src);
    COleVariant& operator=(LPCWSTR s);
    COleVariant& operator=(const CString& s);
    COleVariant& operator=(BYTE v);
    COleVariant& operator=(short v);
    COleVariant& operator=(int v);
    COleVariant& operator=(long v);
    COleVariant& operator=(float v);
    COleVariant& operator=(double v);
    COleVariant& operator=(bool v);
    COleVariant& operator=(const COleDateTime& v);

    // Same type and same value (text by content, arrays by their bytes, interfaces by pointer).
    bool operator==(const VARIANT& other) const;
    bool operator==(const COleVariant& other) const { return *this == static_cast<const VARIANT&>(other); }
    bool operator==(LPCVARIANT other) const;

    void Clear();
    // Converts to vt (from pSrc when given, else in place). Unlike the class library, a failed
    // conversion does not throw: it returns the failure and leaves the value unchanged.
    HRESULT ChangeType(VARTYPE vt, LPVARIANT pSrc = nullptr);
    // Takes over src's value; src becomes VT_EMPTY.
    void Attach(VARIANT& src);
    // Hands the value to the caller, who must clear it; this becomes VT_EMPTY.
    VARIANT Detach();

    operator LPVARIANT() { return this; }
    operator LPCVARIANT() const { return this; }

private:
    void SetBstr(const wchar_t* s, std::size_t len);
};

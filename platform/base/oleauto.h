#pragma once
// OLE automation data: BSTR, SAFEARRAY (vectors of plain values), CY and VARIANT with its copy,
// clear and conversion functions.
#include "qvtypes.h"
#include "unknwn.h"

enum VARENUM : VARTYPE {
    VT_EMPTY = 0,
    VT_NULL = 1,
    VT_I2 = 2,
    VT_I4 = 3,
    VT_R4 = 4,
    VT_R8 = 5,
    VT_CY = 6,
    VT_DATE = 7,
    VT_BSTR = 8,
    VT_DISPATCH = 9,
    VT_ERROR = 10,
    VT_BOOL = 11,
    VT_VARIANT = 12,
    VT_UNKNOWN = 13,
    VT_I1 = 16,
    VT_UI1 = 17,
    VT_UI2 = 18,
    VT_UI4 = 19,
    VT_I8 = 20,
    VT_UI8 = 21,
    VT_INT = 22,
    VT_UINT = 23,
    VT_ARRAY = 0x2000,
    VT_BYREF = 0x4000,
    VT_TYPEMASK = 0x0FFF,
};

// VariantChangeType flags
#define VARIANT_NOVALUEPROP 0x01
#define VARIANT_ALPHABOOL 0x02  // VT_BOOL to text as "True"/"False" instead of "-1"/"0"
// Date parsing and conversion flags
#define VAR_TIMEVALUEONLY 0x01
#define VAR_DATEVALUEONLY 0x02

using FLOAT = float;
using DOUBLE = double;
using CHAR = char;

// Money: a 64-bit integer scaled by 10000 (four decimals).
struct CY {
    LONGLONG int64;
};
using CURRENCY = CY;

struct SAFEARRAYBOUND {
    ULONG cElements;
    LONG lLbound;
};

struct SAFEARRAY {
    USHORT cDims;
    USHORT fFeatures;
    ULONG cbElements;
    ULONG cLocks;
    PVOID pvData;
    SAFEARRAYBOUND rgsabound[1];
};
using LPSAFEARRAY = SAFEARRAY*;

struct tagVARIANT {
    VARTYPE vt;
    WORD wReserved1;
    WORD wReserved2;
    WORD wReserved3;
    union {
        LONGLONG llVal;
        LONG lVal;
        BYTE bVal;
        SHORT iVal;
        FLOAT fltVal;
        DOUBLE dblVal;
        VARIANT_BOOL boolVal;
        SCODE scode;
        CY cyVal;
        DATE date;
        BSTR bstrVal;
        IUnknown* punkVal;
        IDispatch* pdispVal;
        SAFEARRAY* parray;
        CHAR cVal;
        USHORT uiVal;
        ULONG ulVal;
        ULONGLONG ullVal;
        INT intVal;
        UINT uintVal;
        BYTE* pbVal;
        SHORT* piVal;
        LONG* plVal;
        LONGLONG* pllVal;
        FLOAT* pfltVal;
        DOUBLE* pdblVal;
        VARIANT_BOOL* pboolVal;
        SCODE* pscode;
        CY* pcyVal;
        DATE* pdate;
        BSTR* pbstrVal;
        IUnknown** ppunkVal;
        IDispatch** ppdispVal;
        SAFEARRAY** pparray;
        tagVARIANT* pvarVal;
        PVOID byref;
        CHAR* pcVal;
        USHORT* puiVal;
        ULONG* pulVal;
        ULONGLONG* pullVal;
        INT* pintVal;
        UINT* puintVal;
    };
};
using VARIANT = tagVARIANT;
using VARIANTARG = VARIANT;
using LPVARIANT = VARIANT*;
using LPCVARIANT = const VARIANT*;

// BSTR: a length-prefixed wide string; a null BSTR is an empty string.
BSTR SysAllocString(LPCOLESTR s);
// 'len' characters from s (s may be null: the characters are then zero).
BSTR SysAllocStringLen(const OLECHAR* s, UINT len);
// Frees *pbstr and stores a new copy of s; FALSE when out of memory.
BOOL SysReAllocString(BSTR* pbstr, LPCOLESTR s);
void SysFreeString(BSTR s);
UINT SysStringLen(BSTR s);
UINT SysStringByteLen(BSTR s);

// One-dimensional arrays of plain values (VT_UI1, VT_I1, VT_I2, VT_UI2, VT_I4, VT_UI4, VT_I8,
// VT_UI8, VT_R4, VT_R8, VT_BOOL, VT_CY, VT_DATE, VT_INT, VT_UINT), zero-filled.
SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lLbound, ULONG cElements);
HRESULT SafeArrayAccessData(SAFEARRAY* psa, void** ppvData);
HRESULT SafeArrayUnaccessData(SAFEARRAY* psa);
// DISP_E_ARRAYISLOCKED while data is accessed.
HRESULT SafeArrayDestroy(SAFEARRAY* psa);
HRESULT SafeArrayGetLBound(SAFEARRAY* psa, UINT nDim, LONG* plLbound);
HRESULT SafeArrayGetUBound(SAFEARRAY* psa, UINT nDim, LONG* plUbound);
UINT SafeArrayGetDim(SAFEARRAY* psa);
HRESULT SafeArrayGetVartype(SAFEARRAY* psa, VARTYPE* pvt);
HRESULT SafeArrayCopy(SAFEARRAY* psa, SAFEARRAY** ppsaOut);

void VariantInit(VARIANTARG* v);
// Releases what the variant owns (BSTR, array, interface reference) and leaves it VT_EMPTY.
HRESULT VariantClear(VARIANTARG* v);
// Deep copy: new BSTR and array, one more reference on an interface. By-reference variants are
// copied as references.
HRESULT VariantCopy(VARIANTARG* dest, const VARIANTARG* src);
// As VariantCopy, but a by-reference source is copied as the value it points to.
HRESULT VariantCopyInd(VARIANT* dest, const VARIANTARG* src);
// Converts among numbers, text ("C" locale digits), bool, date and currency; dest may be src.
// DISP_E_TYPEMISMATCH when the value has no such form, DISP_E_OVERFLOW when it does not fit;
// dest is unchanged on failure.
HRESULT VariantChangeType(VARIANTARG* dest, const VARIANTARG* src, USHORT flags, VARTYPE vt);

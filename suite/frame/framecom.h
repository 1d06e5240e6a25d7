#pragma once
// What the frame's own small COM objects (menu and view-bar entries) share: texts and values
// handed in and out, and the IUnknown of an object with one interface that counts its own
// references.
#include "cstring.h"
#include "oleauto.h"

#include <atomic>
#include <utility>

namespace qvframe {

// The BSTR's text; empty for null.
inline CString Text(BSTR bstr) { return bstr ? CString(bstr, int(SysStringLen(bstr))) : CString(); }

// A copy of the text for the caller; E_POINTER without a place for it.
inline HRESULT Out(BSTR* pbstr, const CString& strText) {
    if (!pbstr) return E_POINTER;
    *pbstr = strText.AllocSysString();
    return S_OK;
}

// The text a getter of the interface hands out; empty when it fails.
template <class I>
CString FetchText(I* pObject, HRESULT (I::*pfnGet)(BSTR*)) {
    BSTR bstr = nullptr;
    CString text;
    if (SUCCEEDED((pObject->*pfnGet)(&bstr))) text = Text(bstr);
    SysFreeString(bstr);
    return text;
}

template <class T>
HRESULT OutValue(T* p, T value) {
    if (!p) return E_POINTER;
    *p = value;
    return S_OK;
}

// A value the caller sets.
template <class T>
HRESULT PutValue(T& field, T value) {
    field = std::move(value);
    return S_OK;
}

// QueryInterface of an object that answers IUnknown and its interface iidOwn (pOwn).
template <class I>
HRESULT QueryOwn(I* pOwn, REFIID iidOwn, REFIID iid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (iid == IID_IUnknown || iid == iidOwn) {
        *ppv = pOwn;
        pOwn->AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

// Release of an object that counts its own references: it goes with the last one.
template <class T>
ULONG ReleaseOwn(T* pObject, std::atomic<long>& lRefs) {
    const long r = --lRefs;
    if (r == 0) delete pObject;
    return ULONG(r);
}

}  // namespace qvframe

#pragma once
// What a view and a settings page answer the frame alike: their labels (group, picture strip,
// order value) and the module's part in the frame's message loop.
#include "cstring.h"
#include "oleauto.h"
#include "wintypes.h"

// The group's text from the string table when nGroupID is set (E_FAIL, strName untouched, when
// the table lacks it), else strGroupText.
HRESULT QvFGetGroupName(UINT nGroupID, const CString& strGroupText, CString& strName);

// The picture strip of the module's bitmap; hrNoBitmap when there is none to make one from.
HRESULT QvFGetImageList(UINT nBitmapID, HRESULT hrNoBitmap, HIMAGELIST* phList, long* plSize, long* plCount);

// An order value for the frame: what is not above 0 counts as none (0).
HRESULT QvFGetOrderValue(long lValue, long* plValue);

// The module application's PreTranslateMessage: S_OK when it handled the message.
HRESULT QvFPreTranslateMessage(MSG* pMsg);

// A text answer of the object's operation handed out as a BSTR (when asked for one), with the
// operation's result.
template <class TObject, class TClass>
HRESULT QvFTextOut(BSTR* pbstr, TObject* pObject, HRESULT (TClass::*pfnGet)(CString&)) {
    CString text;
    const HRESULT hr = (pObject->*pfnGet)(text);
    if (pbstr) *pbstr = text.AllocSysString();
    return hr;
}

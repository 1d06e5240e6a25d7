#include "qvfviewcommon.h"
#include "qvfmodule.h"
#include "qvimagelist.h"
#include "qvwinapp.h"

#include <exception>

HRESULT QvFGetGroupName(UINT nGroupID, const CString& strGroupText, CString& strName) {
    if (nGroupID == 0) {
        strName = strGroupText;
        return S_OK;
    }
    CString text;
    if (!text.LoadString(nGroupID)) return E_FAIL;
    strName = text;
    return S_OK;
}

HRESULT QvFGetImageList(UINT nBitmapID, HRESULT hrNoBitmap, HIMAGELIST* phList, long* plSize, long* plCount) {
    if (phList) *phList = nullptr;
    if (plSize) *plSize = 0;
    if (plCount) *plCount = 0;
    if (int(nBitmapID) <= 0 || !phList) return hrNoBitmap;
    *phList = CreateImageList(QvFGetModuleResourceHandle(), nBitmapID, 0x7D7C7B, plSize, plCount);
    return *phList ? S_OK : E_FAIL;
}

HRESULT QvFGetOrderValue(long lValue, long* plValue) {
    if (!plValue) return E_POINTER;
    *plValue = lValue > 0 ? lValue : 0;
    return S_OK;
}

HRESULT QvFPreTranslateMessage(MSG* pMsg) {
    CWinApp* pApp = QvFGetModuleApp();
    if (!pApp || !pMsg) return S_FALSE;
    try {
        return pApp->PreTranslateMessage(pMsg) ? S_OK : S_FALSE;
    } catch (const std::exception&) {
        return S_FALSE;
    }
}

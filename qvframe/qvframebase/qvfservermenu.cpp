// The server's menus and accelerators in the frame, and its settings pages.
#include "qvcomserver.h"
#include "qvfserver.h"
#include "qvhrtrace.h"
#include "qvinteract.h"
#include "menu.h"

#include <cwchar>

namespace {

void ReportFailure(HRESULT hr, LPCWSTR lpszFunction, long lLine) {
    QvReportMsg(1, CrackHR(hr), lpszFunction, L"Default", L"qvfserver", lLine, 1);
}

HRESULT GetFrameAccel(IQvFAccel** ppAccel) {
    *ppAccel = nullptr;
    IUnknown* pFrame = nullptr;
    HRESULT hr = GetFrameIUnk(&pFrame);
    if (FAILED(hr)) return QVF_TRACEHR(hr);
    hr = pFrame->QueryInterface(IID_IQvFAccel, reinterpret_cast<void**>(ppAccel));
    pFrame->Release();
    if (FAILED(hr)) QVF_TRACEHR(hr);
    return hr;
}

// A decimal number field of a menu text; FALSE when it is missing.
BOOL NumberField(LPCWSTR lpszText, int nField, long* plValue) {
    CString field;
    if (!AfxExtractSubString(field, lpszText, nField, L'\n')) return FALSE;
    *plValue = std::wcstol(field.Trim().GetString(), nullptr, 10);
    return TRUE;
}

}  // namespace

HRESULT CQvFServer::GetFrameMenu(IQvFMenu** ppMenu) {
    *ppMenu = nullptr;
    IUnknown* pFrame = nullptr;
    HRESULT hr = GetFrameIUnk(&pFrame);
    if (FAILED(hr)) return QVF_TRACEHR(hr);
    hr = pFrame->QueryInterface(IID_IQvFMenu, reinterpret_cast<void**>(ppMenu));
    pFrame->Release();
    if (FAILED(hr)) QVF_TRACEHR(hr);
    return hr;
}

BOOL CQvFServer::AddMenu(UINT nMenuID, BOOL bAlways) {
    CSingleLock lock(&m_listLock, TRUE);
    HRESULT hr = S_OK;
    CMenu menu;
    if (!menu.LoadMenu(nMenuID)) hr = QVF_TRACEHR(E_FAIL);
    IQvFMenu* pMenu = nullptr;
    if (SUCCEEDED(hr)) hr = GetFrameMenu(&pMenu);
    if (SUCCEEDED(hr) && !AddSubMenu(pMenu, &menu, bAlways)) hr = QVF_TRACEHR(E_FAIL);
    if (SUCCEEDED(hr)) {
        hr = pMenu->Apply();
        if (FAILED(hr)) QVF_TRACEHR(hr);
    }
    if (pMenu) pMenu->Release();
    lock.Unlock();
    if (FAILED(hr)) ReportFailure(hr, L"CQvFServer::AddMenu", __LINE__);
    return SUCCEEDED(hr);
}

BOOL CQvFServer::AddSubMenu(IQvFMenuPopup* pParent, CMenu* pMenu, BOOL bAlways) {
    HRESULT hr = S_OK;
    BOOL bGroupStart = FALSE;
    const int count = pMenu->GetMenuItemCount();
    for (int i = 0; i < count && SUCCEEDED(hr); ++i) {
        const UINT id = pMenu->GetMenuItemID(i);
        if (id == 0) {
            bGroupStart = TRUE;
            continue;
        }
        CString strText;
        pMenu->GetMenuString(UINT(i), strText, MF_BYPOSITION);
        if (id == UINT(-1)) {
            // A popup's text: caption, name and position.
            CString strCaption, strName;
            long lPosition = 0;
            if (!AfxExtractSubString(strCaption, strText, 0, L'\n') || !AfxExtractSubString(strName, strText, 1, L'\n') ||
                !NumberField(strText, 2, &lPosition)) {
                hr = QVF_TRACEHR(E_FAIL);
                break;
            }
            BSTR bstrName = strName.AllocSysString();
            IQvFMenuPopup* pPopup = nullptr;
            hr = pParent->CreatePopup(bstrName, &pPopup);
            SysFreeString(bstrName);
            if (FAILED(hr) || !pPopup) {
                hr = QVF_TRACEHR(FAILED(hr) ? hr : E_FAIL);
                break;
            }
            BSTR bstrCaption = strCaption.AllocSysString();
            hr = pPopup->put_Caption(bstrCaption);
            SysFreeString(bstrCaption);
            if (SUCCEEDED(hr)) hr = pPopup->put_Position(lPosition);
            if (SUCCEEDED(hr) && bGroupStart) {
                hr = pPopup->put_GroupStart(TRUE);
                bGroupStart = FALSE;
            }
            if (SUCCEEDED(hr)) hr = pPopup->put_Enabled(TRUE);
            if (FAILED(hr)) QVF_TRACEHR(hr);
            if (SUCCEEDED(hr)) {
                CMenu* pSub = pMenu->GetSubMenu(i);
                if (!pSub || !AddSubMenu(pPopup, pSub, bAlways)) hr = QVF_TRACEHR(E_FAIL);
            }
            pPopup->Release();
            if (SUCCEEDED(hr)) m_popupList.push_back(std::make_unique<CControlObj>(strName, long(bAlways)));
        } else {
            // A command: its string holds prompt, a field not read, name and number.
            CString strResource, strPrompt, strName;
            long lNumber = 0;
            if (!strResource.LoadString(id) || !AfxExtractSubString(strPrompt, strResource, 0, L'\n') ||
                !AfxExtractSubString(strName, strResource, 2, L'\n') || !NumberField(strResource, 3, &lNumber)) {
                hr = QVF_TRACEHR(E_FAIL);
                break;
            }
            BSTR bstrName = strName.AllocSysString();
            IQvFMenuItem* pItem = nullptr;
            hr = pParent->CreateItem(bstrName, &pItem);
            SysFreeString(bstrName);
            if (FAILED(hr) || !pItem) {
                hr = QVF_TRACEHR(FAILED(hr) ? hr : E_FAIL);
                break;
            }
            BSTR bstrCaption = strText.AllocSysString();
            hr = pItem->put_Caption(bstrCaption);
            SysFreeString(bstrCaption);
            if (SUCCEEDED(hr)) hr = pItem->put_Number(lNumber);
            if (SUCCEEDED(hr)) {
                BSTR bstrPrompt = strPrompt.AllocSysString();
                hr = pItem->put_Prompt(bstrPrompt);
                SysFreeString(bstrPrompt);
            }
            if (SUCCEEDED(hr) && bGroupStart) {
                hr = pItem->put_GroupStart(TRUE);
                bGroupStart = FALSE;
            }
            if (SUCCEEDED(hr)) hr = pItem->put_Enabled(bAlways ? TRUE : FALSE);
            if (SUCCEEDED(hr)) hr = pItem->put_Enabled(m_bCommandsEnabled);
            if (FAILED(hr)) QVF_TRACEHR(hr);
            pItem->Release();
            if (SUCCEEDED(hr)) m_commandList.push_back(std::make_unique<CControlObj>(strName, long(bAlways)));
        }
    }
    if (FAILED(hr)) ReportFailure(hr, L"CQvFServer::AddSubMenu", __LINE__);
    return SUCCEEDED(hr);
}

BOOL CQvFServer::RemoveMenu(UINT nMenuID) {
    CSingleLock lock(&m_listLock, TRUE);
    HRESULT hr = S_OK;
    CMenu menu;
    if (!menu.LoadMenu(nMenuID)) hr = QVF_TRACEHR(E_FAIL);
    IQvFMenu* pMenu = nullptr;
    if (SUCCEEDED(hr)) hr = GetFrameMenu(&pMenu);
    if (SUCCEEDED(hr) && !RemoveSubMenu(pMenu, &menu)) hr = QVF_TRACEHR(E_FAIL);
    // A closed server's menu disappears with the frame's next update anyway.
    if (SUCCEEDED(hr) && m_lState[StepClose] == 0) {
        hr = pMenu->Apply();
        if (FAILED(hr)) QVF_TRACEHR(hr);
    }
    if (pMenu) pMenu->Release();
    lock.Unlock();
    if (FAILED(hr)) ReportFailure(hr, L"CQvFServer::RemoveMenu", __LINE__);
    return SUCCEEDED(hr);
}

BOOL CQvFServer::RemoveSubMenu(IQvFMenuPopup* pParent, CMenu* pMenu) {
    HRESULT hr = S_OK;
    const int count = pMenu->GetMenuItemCount();
    for (int i = 0; i < count && SUCCEEDED(hr); ++i) {
        const UINT id = pMenu->GetMenuItemID(i);
        if (id == 0) continue;
        CString strName;
        if (id == UINT(-1)) {
            CString strText;
            pMenu->GetMenuString(UINT(i), strText, MF_BYPOSITION);
            if (!AfxExtractSubString(strName, strText, 1, L'\n')) {
                hr = QVF_TRACEHR(E_FAIL);
                break;
            }
            BSTR bstrName = strName.AllocSysString();
            hr = pParent->RemovePopup(bstrName);
            SysFreeString(bstrName);
            if (FAILED(hr)) {
                QVF_TRACEHR(hr);
                break;
            }
            // Names are unique in the whole frame menu, so the sub-menu's entries go at the same parent.
            CMenu* pSub = pMenu->GetSubMenu(i);
            if (pSub && !RemoveSubMenu(pParent, pSub)) hr = QVF_TRACEHR(E_FAIL);
            QvFRemoveControlObj(m_popupList, strName);
        } else {
            CString strResource;
            if (!strResource.LoadString(id) || !AfxExtractSubString(strName, strResource, 2, L'\n')) {
                hr = QVF_TRACEHR(E_FAIL);
                break;
            }
            BSTR bstrName = strName.AllocSysString();
            hr = pParent->RemoveItem(bstrName);
            SysFreeString(bstrName);
            if (FAILED(hr)) {
                QVF_TRACEHR(hr);
                break;
            }
            QvFRemoveControlObj(m_commandList, strName);
        }
    }
    if (FAILED(hr)) ReportFailure(hr, L"CQvFServer::RemoveSubMenu", __LINE__);
    return SUCCEEDED(hr);
}

BOOL CQvFServer::RemoveAllMenu() {
    CSingleLock lock(&m_listLock, TRUE);
    // Nothing added: nothing to ask the frame for.
    if (m_commandList.empty() && m_popupList.empty()) return TRUE;
    IQvFMenu* pMenu = nullptr;
    HRESULT hr = GetFrameMenu(&pMenu);
    if (SUCCEEDED(hr)) {
        for (auto it = m_commandList.begin(); it != m_commandList.end() && SUCCEEDED(hr);) {
            BSTR bstrName = (*it)->m_strName.AllocSysString();
            hr = pMenu->RemoveItem(bstrName);
            SysFreeString(bstrName);
            if (FAILED(hr)) QVF_TRACEHR(hr);
            it = m_commandList.erase(it);
        }
        m_commandList.clear();
    }
    if (SUCCEEDED(hr)) {
        for (auto it = m_popupList.begin(); it != m_popupList.end() && SUCCEEDED(hr);) {
            BSTR bstrName = (*it)->m_strName.AllocSysString();
            hr = pMenu->RemovePopup(bstrName);
            SysFreeString(bstrName);
            if (FAILED(hr)) QVF_TRACEHR(hr);
            it = m_popupList.erase(it);
        }
        m_popupList.clear();
    }
    if (pMenu) pMenu->Release();
    lock.Unlock();
    if (FAILED(hr)) ReportFailure(hr, L"CQvFServer::RemoveAllMenu", __LINE__);
    return SUCCEEDED(hr);
}

BOOL CQvFServer::SetAccel(long lValue1, long lValue2, CString strName, BOOL bAlways) {
    CSingleLock lock(&m_listLock, TRUE);
    IQvFAccel* pAccel = nullptr;
    HRESULT hr = GetFrameAccel(&pAccel);
    if (SUCCEEDED(hr)) {
        BSTR bstrName = strName.AllocSysString();
        hr = pAccel->SetAccel(lValue1, lValue2, bstrName);
        SysFreeString(bstrName);
        if (FAILED(hr)) QVF_TRACEHR(hr);
    }
    if (SUCCEEDED(hr)) {
        if (CControlObj* pEntry = QvFFindControlObj(m_accelList, strName))
            pEntry->m_lValue = long(bAlways);
        else
            m_accelList.push_back(std::make_unique<CControlObj>(strName, long(bAlways)));
    }
    if (pAccel) pAccel->Release();
    lock.Unlock();
    if (FAILED(hr)) ReportFailure(hr, L"CQvFServer::SetAccel", __LINE__);
    return SUCCEEDED(hr);
}

BOOL CQvFServer::AddAccel(CString strName, long lValue1, long lValue2) {
    CSingleLock lock(&m_listLock, TRUE);
    IQvFAccel* pAccel = nullptr;
    HRESULT hr = GetFrameAccel(&pAccel);
    if (SUCCEEDED(hr)) {
        BSTR bstrName = strName.AllocSysString();
        hr = pAccel->EnableAccel(bstrName, lValue1, lValue2);
        SysFreeString(bstrName);
        if (FAILED(hr)) QVF_TRACEHR(hr);
    }
    if (pAccel) pAccel->Release();
    lock.Unlock();
    if (FAILED(hr)) ReportFailure(hr, L"CQvFServer::AddAccel", __LINE__);
    return SUCCEEDED(hr);
}

BOOL CQvFServer::RemoveAccel(CString strName) {
    CSingleLock lock(&m_listLock, TRUE);
    IQvFAccel* pAccel = nullptr;
    HRESULT hr = GetFrameAccel(&pAccel);
    if (SUCCEEDED(hr)) {
        BSTR bstrName = strName.AllocSysString();
        hr = pAccel->RemoveAccel(bstrName);
        SysFreeString(bstrName);
        if (FAILED(hr))
            QVF_TRACEHR(hr);
        else
            QvFRemoveControlObj(m_accelList, strName);
    }
    if (pAccel) pAccel->Release();
    lock.Unlock();
    if (FAILED(hr)) ReportFailure(hr, L"CQvFServer::RemoveAccel", __LINE__);
    return SUCCEEDED(hr);
}

BOOL CQvFServer::RemoveAllAccel() {
    CSingleLock lock(&m_listLock, TRUE);
    if (m_accelList.empty()) return TRUE;
    IQvFAccel* pAccel = nullptr;
    HRESULT hr = GetFrameAccel(&pAccel);
    if (SUCCEEDED(hr)) {
        for (auto it = m_accelList.begin(); it != m_accelList.end() && SUCCEEDED(hr);) {
            BSTR bstrName = (*it)->m_strName.AllocSysString();
            hr = pAccel->RemoveAccel(bstrName);
            SysFreeString(bstrName);
            if (FAILED(hr)) QVF_TRACEHR(hr);
            it = m_accelList.erase(it);
        }
        m_accelList.clear();
    }
    if (pAccel) pAccel->Release();
    lock.Unlock();
    if (FAILED(hr)) ReportFailure(hr, L"CQvFServer::RemoveAllAccel", __LINE__);
    return SUCCEEDED(hr);
}

// The server's menus and accelerators in the frame, and its settings pages.
#include "qvcomserver.h"
#include "qvfserver.h"
#include "qvhrtrace.h"
#include "qvinteract.h"
#include "menu.h"

#include <cwchar>

namespace {

// Reports a failure under the operation's name; TRUE when hr succeeded.
BOOL ReportResult(HRESULT hr, LPCWSTR lpszFunction, long lLine) {
    if (FAILED(hr)) QvReportMsg(1, CrackHR(hr), lpszFunction, L"Default", L"qvfserver", lLine, 1);
    return SUCCEEDED(hr);
}

HRESULT GetFrameAccel(IQvFAccel** ppAccel) {
    const HRESULT hr = QvFQueryFrame(IID_IQvFAccel, reinterpret_cast<void**>(ppAccel));
    return FAILED(hr) ? QVF_TRACEHR(hr) : hr;
}

// Hands the name to one call of the frame's accelerator table; a failure is traced.
template <class F>
HRESULT CallFrameAccel(const CString& strName, F&& call) {
    IQvFAccel* pAccel = nullptr;
    HRESULT hr = GetFrameAccel(&pAccel);
    if (SUCCEEDED(hr)) {
        hr = QvFCallWithBSTR(strName, [&](BSTR bstrName) { return call(pAccel, bstrName); });
        if (FAILED(hr)) QVF_TRACEHR(hr);
    }
    if (pAccel) pAccel->Release();
    return hr;
}

// Takes every name of the list from the frame, in list order, until a call fails; the list is
// empty afterwards either way.
template <class F>
HRESULT RemoveEach(CControlObjList& list, F&& remove) {
    HRESULT hr = S_OK;
    for (auto it = list.begin(); it != list.end() && SUCCEEDED(hr);) {
        hr = QvFCallWithBSTR((*it)->m_strName, remove);
        if (FAILED(hr)) QVF_TRACEHR(hr);
        it = list.erase(it);
    }
    list.clear();
    return hr;
}

// Creates the named popup or command under the parent; a missing entry counts as E_FAIL.
template <class TEntry>
HRESULT CreateEntry(IQvFMenuPopup* pParent, HRESULT (IQvFMenuPopup::*pfnCreate)(BSTR, TEntry**),
                    const CString& strName, TEntry** ppEntry) {
    const HRESULT hr =
        QvFCallWithBSTR(strName, [&](BSTR bstrName) { return (pParent->*pfnCreate)(bstrName, ppEntry); });
    if (FAILED(hr) || !*ppEntry) return QVF_TRACEHR(FAILED(hr) ? hr : E_FAIL);
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
    const HRESULT hr = QvFQueryFrame(IID_IQvFMenu, reinterpret_cast<void**>(ppMenu));
    return FAILED(hr) ? QVF_TRACEHR(hr) : hr;
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
    return ReportResult(hr, L"CQvFServer::AddMenu", __LINE__);
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
            IQvFMenuPopup* pPopup = nullptr;
            hr = CreateEntry(pParent, &IQvFMenuPopup::CreatePopup, strName, &pPopup);
            if (FAILED(hr)) break;
            hr = QvFCallWithBSTR(strCaption, [&](BSTR bstrCaption) { return pPopup->put_Caption(bstrCaption); });
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
            IQvFMenuItem* pItem = nullptr;
            hr = CreateEntry(pParent, &IQvFMenuPopup::CreateItem, strName, &pItem);
            if (FAILED(hr)) break;
            hr = QvFCallWithBSTR(strText, [&](BSTR bstrCaption) { return pItem->put_Caption(bstrCaption); });
            if (SUCCEEDED(hr)) hr = pItem->put_Number(lNumber);
            if (SUCCEEDED(hr))
                hr = QvFCallWithBSTR(strPrompt, [&](BSTR bstrPrompt) { return pItem->put_Prompt(bstrPrompt); });
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
    return ReportResult(hr, L"CQvFServer::AddSubMenu", __LINE__);
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
    return ReportResult(hr, L"CQvFServer::RemoveMenu", __LINE__);
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
            hr = QvFCallWithBSTR(strName, [&](BSTR bstrName) { return pParent->RemovePopup(bstrName); });
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
            hr = QvFCallWithBSTR(strName, [&](BSTR bstrName) { return pParent->RemoveItem(bstrName); });
            if (FAILED(hr)) {
                QVF_TRACEHR(hr);
                break;
            }
            QvFRemoveControlObj(m_commandList, strName);
        }
    }
    return ReportResult(hr, L"CQvFServer::RemoveSubMenu", __LINE__);
}

BOOL CQvFServer::RemoveAllMenu() {
    CSingleLock lock(&m_listLock, TRUE);
    // Nothing added: nothing to ask the frame for.
    if (m_commandList.empty() && m_popupList.empty()) return TRUE;
    IQvFMenu* pMenu = nullptr;
    HRESULT hr = GetFrameMenu(&pMenu);
    if (SUCCEEDED(hr)) hr = RemoveEach(m_commandList, [&](BSTR bstrName) { return pMenu->RemoveItem(bstrName); });
    if (SUCCEEDED(hr)) hr = RemoveEach(m_popupList, [&](BSTR bstrName) { return pMenu->RemovePopup(bstrName); });
    if (pMenu) pMenu->Release();
    lock.Unlock();
    return ReportResult(hr, L"CQvFServer::RemoveAllMenu", __LINE__);
}

BOOL CQvFServer::SetAccel(long lValue1, long lValue2, CString strName, BOOL bAlways) {
    CSingleLock lock(&m_listLock, TRUE);
    const HRESULT hr = CallFrameAccel(
        strName, [&](IQvFAccel* pAccel, BSTR bstrName) { return pAccel->SetAccel(lValue1, lValue2, bstrName); });
    if (SUCCEEDED(hr)) {
        if (CControlObj* pEntry = QvFFindControlObj(m_accelList, strName))
            pEntry->m_lValue = long(bAlways);
        else
            m_accelList.push_back(std::make_unique<CControlObj>(strName, long(bAlways)));
    }
    lock.Unlock();
    return ReportResult(hr, L"CQvFServer::SetAccel", __LINE__);
}

BOOL CQvFServer::AddAccel(CString strName, long lValue1, long lValue2) {
    CSingleLock lock(&m_listLock, TRUE);
    const HRESULT hr = CallFrameAccel(
        strName, [&](IQvFAccel* pAccel, BSTR bstrName) { return pAccel->EnableAccel(bstrName, lValue1, lValue2); });
    lock.Unlock();
    return ReportResult(hr, L"CQvFServer::AddAccel", __LINE__);
}

BOOL CQvFServer::RemoveAccel(CString strName) {
    CSingleLock lock(&m_listLock, TRUE);
    const HRESULT hr =
        CallFrameAccel(strName, [](IQvFAccel* pAccel, BSTR bstrName) { return pAccel->RemoveAccel(bstrName); });
    if (SUCCEEDED(hr)) QvFRemoveControlObj(m_accelList, strName);
    lock.Unlock();
    return ReportResult(hr, L"CQvFServer::RemoveAccel", __LINE__);
}

BOOL CQvFServer::RemoveAllAccel() {
    CSingleLock lock(&m_listLock, TRUE);
    if (m_accelList.empty()) return TRUE;
    IQvFAccel* pAccel = nullptr;
    HRESULT hr = GetFrameAccel(&pAccel);
    if (SUCCEEDED(hr)) hr = RemoveEach(m_accelList, [&](BSTR bstrName) { return pAccel->RemoveAccel(bstrName); });
    if (pAccel) pAccel->Release();
    lock.Unlock();
    return ReportResult(hr, L"CQvFServer::RemoveAllAccel", __LINE__);
}

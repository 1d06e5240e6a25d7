#include "organisationtreectrl.h"

#include "qvadoconnection.h"
#include "qvadorecordset.h"
#include "qvhrtrace.h"
#include "qvinteract.h"
#include "wnd.h"

#include <cerrno>
#include <cstdint>
#include <map>
#include <cstring>
#include <memory>

namespace {
const wchar_t kTraceSource[] = L"organisationtreectrl.cpp";

// Item data: the kind in the top bits, the id below.
DWORD_PTR MakeData(long lKind, long lID) { return (DWORD_PTR(lKind) << 32) | DWORD_PTR(std::uint32_t(lID)); }
long DataKind(DWORD_PTR data) { return long(data >> 32); }
long DataID(DWORD_PTR data) { return long(std::int32_t(data & 0xFFFFFFFFu)); }

void Remove(std::vector<long>& ids, long lID) {
    for (auto it = ids.begin(); it != ids.end(); ++it)
        if (*it == lID) {
            ids.erase(it);
            return;
        }
}
}  // namespace

IMPLEMENT_DYNAMIC(COrganisationTreeCtrl, CTreeCtrlEx)

BEGIN_MESSAGE_MAP(COrganisationTreeCtrl, CTreeCtrlEx)
    ON_MESSAGE(WM_ORGTREE_LOADED, &COrganisationTreeCtrl::OnLoaded)
    ON_NOTIFY_REFLECT(TVN_ITEMCHANGED, &COrganisationTreeCtrl::OnItemChanged)
END_MESSAGE_MAP()

COrganisationTreeCtrl::COrganisationTreeCtrl() { InitializeCriticalSection(&m_cs); }

COrganisationTreeCtrl::~COrganisationTreeCtrl() {
    Shutdown();
    DeleteCriticalSection(&m_cs);
}

HRESULT COrganisationTreeCtrl::AddElementMask(DWORD dwMask, HWND hNotifyWnd) {
    EnterCriticalSection(&m_cs);
    m_dwMask |= dwMask;
    if (hNotifyWnd) m_hNotifyWnd = hNotifyWnd;
    LeaveCriticalSection(&m_cs);
    return S_OK;
}

HRESULT COrganisationTreeCtrl::StartThread() {
    if (m_pThread) return S_OK;
    m_hEvent = CreateEvent(nullptr, FALSE, FALSE, nullptr);
    m_bStop = FALSE;
    m_pThread = AfxBeginThread(&COrganisationTreeCtrl::LoaderProc, this, THREAD_PRIORITY_NORMAL, 0, CREATE_SUSPENDED);
    if (!m_pThread) {
        CString strMsg;
        strMsg.Format(L"COrganisationTreeCtrl::StartThread() AfxBeginThread() failed: '%s'",
                      CString(std::strerror(errno)).GetString());
        QvReportMsg(1, strMsg, L"COrganisationTreeCtrl::StartThread", L"Default", __FILE__, __LINE__, 1);
        CloseHandle(m_hEvent);
        m_hEvent = nullptr;
        return E_FAIL;
    }
    m_handoff.Attach(m_hWnd, WM_ORGTREE_LOADED);
    m_pThread->m_bAutoDelete = FALSE;
    m_pThread->ResumeThread();
    return S_OK;
}

HRESULT COrganisationTreeCtrl::LoadTree(long lID, DWORD dwMask, long lParam3, long lParam4) {
    EnterCriticalSection(&m_cs);
    m_dwRequestMask = dwMask | m_dwMask;
    m_lRequestID = lID;
    m_lRequest3 = lParam3;
    m_lRequest4 = lParam4;
    const bool bLoader = m_pThread != nullptr;
    LeaveCriticalSection(&m_cs);
    if (m_hWnd) m_handoff.Attach(m_hWnd, WM_ORGTREE_LOADED);
    if (bLoader) {
        SetEvent(m_hEvent);
    } else {
        std::vector<Element> elements;
        if (SUCCEEDED(ReadElements(elements))) Fill(elements);
    }
    return S_OK;
}

void COrganisationTreeCtrl::SetPersonSource(const CString& strFromWhere) {
    EnterCriticalSection(&m_cs);
    m_strPersonSource = strFromWhere;
    LeaveCriticalSection(&m_cs);
}

void COrganisationTreeCtrl::Shutdown() {
    if (!m_pThread) return;
    m_bStop = TRUE;
    SetEvent(m_hEvent);
    WaitForSingleObjectAndPumpMsg(m_pThread->m_hThread, INFINITE);
    delete m_pThread;
    m_pThread = nullptr;
    CloseHandle(m_hEvent);
    m_hEvent = nullptr;
    m_handoff.Clear();
}

UINT COrganisationTreeCtrl::LoaderProc(LPVOID pParam) {
    static_cast<COrganisationTreeCtrl*>(pParam)->Load();
    return 0;
}

void COrganisationTreeCtrl::Load() {
    for (;;) {
        WaitForSingleObject(m_hEvent, INFINITE);
        if (m_bStop) return;
        std::vector<Element> elements;
        if (FAILED(ReadElements(elements)) || m_bStop) continue;
        m_handoff.Hand({TreeStep::Begin, {}});
        for (Element& e : elements) m_handoff.Hand({TreeStep::Add, std::move(e)});
        m_handoff.Hand({TreeStep::End, {}});
    }
}

long COrganisationTreeCtrl::ReadElements(std::vector<Element>& elements) {
    EnterCriticalSection(&m_cs);
    const DWORD dwMask = m_dwRequestMask;
    const long lID = m_lRequestID;
    const CString strSource = m_strPersonSource;
    LeaveCriticalSection(&m_cs);
    CString strMandanten, strPersonen;
    if (!strSource.IsEmpty()) {
        strMandanten.Format(L"AND lMandantID IN (SELECT vp.lMandantID %s) ", strSource.GetString());
        strPersonen.Format(L"AND p.lPersonID IN (SELECT vp.lPersonID %s) ", strSource.GetString());
    }

    CQvADOConnection conn;
    CQvADORecordset rs(&conn);
    long hr = conn.Open(L"Qovaro.NQ2", 0);
    if (SUCCEEDED(hr)) {
        // Mandanten first, then their persons, each by name; -1 reads the whole organisation.
        CString strSQL;
        strSQL.Format(L"SELECT 1 AS lKind, lMandantID AS lID, 0 AS lParentID, strMandantName AS strText, 0 AS lOrder "
                      L"FROM Mandant WHERE fActive = 1 AND (%d = -1 OR lMandantID = %d) %s"
                      L"UNION ALL SELECT 2, p.lPersonID, p.lMandantID, p.strName + ' ' + p.strVorname, 1 "
                      L"FROM Person p JOIN Mandant m ON p.lMandantID = m.lMandantID "
                      L"WHERE m.fActive = 1 AND p.fActive = 1 AND (%d = -1 OR p.lMandantID = %d) %s"
                      L"ORDER BY lOrder, strText",
                      lID, lID, strMandanten.GetString(), lID, lID, strPersonen.GetString());
        hr = rs.OpenSQL(strSQL, 0, 1);
    }
    BOOL bEOF = TRUE;
    if (SUCCEEDED(hr)) hr = rs.IsEOF(&bEOF);
    while (SUCCEEDED(hr) && !bEOF && !m_bStop) {
        Element e;
        hr = rs.GetFieldValue(L"lKind", &e.lKind);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"lID", &e.lID);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"lParentID", &e.lParentID);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strText", &e.strText);
        const DWORD dwBit = e.lKind == eOrgMandant ? ORG_MASK_MANDANT : ORG_MASK_PERSON;
        if (SUCCEEDED(hr) && (dwMask & dwBit)) elements.push_back(e);
        if (SUCCEEDED(hr)) hr = rs.MoveNext(&bEOF);
    }
    rs.Close();
    if (FAILED(hr)) QV_TRACEHR(kTraceSource, hr);
    return hr;
}

LRESULT COrganisationTreeCtrl::OnLoaded(WPARAM, LPARAM) {
    m_bFilling = true;
    m_handoff.Take([this](TreeStep& step) { TakeStep(step); }, [] {});
    m_bFilling = false;
    return 0;
}

void COrganisationTreeCtrl::Fill(const std::vector<Element>& elements) {
    m_bFilling = true;
    TakeStep({TreeStep::Begin, {}});
    for (const Element& e : elements) TakeStep({TreeStep::Add, e});
    TakeStep({TreeStep::End, {}});
    m_bFilling = false;
}

void COrganisationTreeCtrl::TakeStep(const TreeStep& step) {
    if (step.kind == TreeStep::Begin) {
        DeleteAllItems();
        m_arCheckedIDs.clear();
        m_arCheckedOtherIDs.clear();
        m_mapMandanten.clear();
        return;
    }
    if (step.kind == TreeStep::End) {
        m_mapMandanten.clear();
        if (m_hNotifyWnd) ::PostMessageW(m_hNotifyWnd, WM_ORGTREE_LOADED, 0, 0);
        return;
    }
    const Element& e = step.element;
    HTREEITEM hParent = TVI_ROOT;
    if (e.lKind == eOrgPerson) {
        auto it = m_mapMandanten.find(e.lParentID);
        if (it != m_mapMandanten.end()) hParent = it->second;
    }
    HTREEITEM hItem = InsertItem(e.strText, hParent, TVI_LAST);
    SetItemData(hItem, MakeData(e.lKind, e.lID));
    if (e.lKind == eOrgMandant) {
        m_mapMandanten[e.lID] = hItem;
        SetItemBold(hItem, TRUE);
    } else if (hParent != TVI_ROOT && GetCheck(hParent)) {
        // The user checked the Mandant while its persons were still arriving.
        SetCheck(hItem, TRUE);
        Checked(hItem, TRUE);
    }
}

void COrganisationTreeCtrl::OnItemChanged(NMHDR* pNMHDR, LRESULT* pResult) {
    *pResult = 0;
    const auto* pNM = reinterpret_cast<NMTVITEMCHANGE*>(pNMHDR);
    if (m_bFilling || !(pNM->uChanged & TVIF_STATE)) return;
    if (((pNM->uStateNew ^ pNM->uStateOld) & TVIS_STATEIMAGEMASK) == 0) return;
    Checked(pNM->hItem, GetCheck(pNM->hItem));
}

void COrganisationTreeCtrl::Checked(HTREEITEM hItem, BOOL bChecked) {
    const DWORD_PTR data = GetItemData(hItem);
    std::vector<long>& ids = DataKind(data) == eOrgPerson ? m_arCheckedIDs : m_arCheckedOtherIDs;
    Remove(ids, DataID(data));
    if (bChecked) ids.push_back(DataID(data));
    // A Mandant checks or clears its persons with it.
    if (DataKind(data) == eOrgMandant && !m_bCascading) {
        m_bCascading = true;
        for (HTREEITEM hChild = GetChildItem(hItem); hChild; hChild = GetNextSiblingItem(hChild))
            if (GetCheck(hChild) != bChecked) {
                SetCheck(hChild, bChecked);
                Checked(hChild, bChecked);
            }
        m_bCascading = false;
    }
}

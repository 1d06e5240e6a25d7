#include "organisationtreectrl.h"

#include "leftworkers.h"
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

COrganisationTreeCtrl::COrganisationTreeCtrl() : m_pLoader(std::make_shared<Loader>()) {}

COrganisationTreeCtrl::~COrganisationTreeCtrl() { Shutdown(); }

COrganisationTreeCtrl::Loader::~Loader() {
    if (hEvent) CloseHandle(hEvent);
}

void COrganisationTreeCtrl::Loader::Cancel() {
    std::lock_guard g(connLock);
    if (pConn) pConn->Cancel();
}

HRESULT COrganisationTreeCtrl::AddElementMask(DWORD dwMask, HWND hNotifyWnd) {
    m_dwMask |= dwMask;
    if (hNotifyWnd) m_hNotifyWnd = hNotifyWnd;
    return S_OK;
}

HRESULT COrganisationTreeCtrl::StartThread() {
    if (m_pThread) return S_OK;
    Loader& loader = *m_pLoader;
    if (!loader.hEvent) loader.hEvent = CreateEvent(nullptr, FALSE, FALSE, nullptr);
    // The thread's own reference, given back as it ends.
    auto* pThreadRef = new std::shared_ptr<Loader>(m_pLoader);
    m_pThread = AfxBeginThread(&COrganisationTreeCtrl::LoaderProc, pThreadRef, THREAD_PRIORITY_NORMAL, 0, CREATE_SUSPENDED);
    if (!m_pThread) {
        CString strMsg;
        strMsg.Format(L"COrganisationTreeCtrl::StartThread() AfxBeginThread() failed: '%s'",
                      CString(std::strerror(errno)).GetString());
        delete pThreadRef;
        QvReportMsg(1, strMsg, L"COrganisationTreeCtrl::StartThread", L"Default", __FILE__, __LINE__, 1);
        return E_FAIL;
    }
    loader.handoff.Attach(m_hWnd, WM_ORGTREE_LOADED);
    m_pThread->m_bAutoDelete = FALSE;
    m_pThread->ResumeThread();
    return S_OK;
}

HRESULT COrganisationTreeCtrl::LoadTree(long lID, DWORD dwMask, long lParam3, long lParam4) {
    Loader& loader = *m_pLoader;
    {
        std::lock_guard g(loader.lock);
        loader.dwRequestMask = dwMask | m_dwMask;
        loader.lRequestID = lID;
        loader.lRequest3 = lParam3;
        loader.lRequest4 = lParam4;
    }
    if (m_pThread) {
        if (m_hWnd) loader.handoff.Attach(m_hWnd, WM_ORGTREE_LOADED);
        SetEvent(loader.hEvent);
    } else {
        std::vector<Element> elements;
        if (SUCCEEDED(ReadElements(loader, elements))) Fill(elements);
    }
    return S_OK;
}

void COrganisationTreeCtrl::SetPersonSource(const CString& strFromWhere) {
    std::lock_guard g(m_pLoader->lock);
    m_pLoader->strPersonSource = strFromWhere;
}

void COrganisationTreeCtrl::Shutdown() {
    if (!m_pThread) return;
    std::shared_ptr<Loader> pLeft = m_pLoader;
    // A later start begins with a loader of its own and the same request.
    auto pNext = std::make_shared<Loader>();
    {
        std::lock_guard g(pLeft->lock);
        pNext->lRequestID = pLeft->lRequestID;
        pNext->dwRequestMask = pLeft->dwRequestMask;
        pNext->lRequest3 = pLeft->lRequest3;
        pNext->lRequest4 = pLeft->lRequest4;
        pNext->strPersonSource = pLeft->strPersonSource;
    }
    m_pLoader = std::move(pNext);
    pLeft->bStop = TRUE;
    // What it still reads goes nowhere; the elements on their way are dropped.
    pLeft->handoff.Attach(nullptr, 0);
    pLeft->handoff.Clear();
    SetEvent(pLeft->hEvent);
    CLeftWorkers::Leave(m_pThread, [pLeft] { pLeft->Cancel(); }, pLeft);
    m_pThread = nullptr;
}

UINT COrganisationTreeCtrl::LoaderProc(LPVOID pParam) {
    std::shared_ptr<Loader> pLoader;
    {
        auto* pThreadRef = static_cast<std::shared_ptr<Loader>*>(pParam);
        pLoader = std::move(*pThreadRef);
        delete pThreadRef;
    }
    Load(*pLoader);
    return 0;
}

void COrganisationTreeCtrl::Load(Loader& loader) {
    for (;;) {
        WaitForSingleObject(loader.hEvent, INFINITE);
        if (loader.bStop) return;
        std::vector<Element> elements;
        if (FAILED(ReadElements(loader, elements)) || loader.bStop) continue;
        loader.handoff.Hand({TreeStep::Begin, {}});
        for (Element& e : elements) loader.handoff.Hand({TreeStep::Add, std::move(e)});
        loader.handoff.Hand({TreeStep::End, {}});
    }
}

long COrganisationTreeCtrl::ReadElements(Loader& loader, std::vector<Element>& elements) {
    DWORD dwMask = 0;
    long lID = -1;
    CString strSource;
    {
        std::lock_guard g(loader.lock);
        dwMask = loader.dwRequestMask;
        lID = loader.lRequestID;
        strSource = loader.strPersonSource;
    }
    CString strMandanten, strPersonen;
    if (!strSource.IsEmpty()) {
        strMandanten.Format(L"AND lMandantID IN (SELECT vp.lMandantID %s) ", strSource.GetString());
        strPersonen.Format(L"AND p.lPersonID IN (SELECT vp.lPersonID %s) ", strSource.GetString());
    }

    CQvADOConnection conn;
    CQvADORecordset rs(&conn);
    long hr = conn.Open(L"Qovaro.NQ2", 0);
    {
        std::lock_guard g(loader.connLock);
        loader.pConn = &conn;
    }
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
    while (SUCCEEDED(hr) && !bEOF && !loader.bStop) {
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
    {
        std::lock_guard g(loader.connLock);
        loader.pConn = nullptr;
    }
    // A statement ended by the stop that was asked for is no failure.
    if (FAILED(hr) && !loader.bStop) QV_TRACEHR(kTraceSource, hr);
    return hr;
}

LRESULT COrganisationTreeCtrl::OnLoaded(WPARAM, LPARAM) {
    m_bFilling = true;
    m_pLoader->handoff.Take([this](TreeStep& step) { TakeStep(step); }, [] {});
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

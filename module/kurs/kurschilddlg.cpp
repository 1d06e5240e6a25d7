#include "kurschilddlg.h"

#include "editpersondlg.h"
#include "getstatusdlg.h"
#include "kursint.h"
#include "kursresource.h"
#include "nqcommon.h"
#include "nqkurscalls.h"
#include "nqlogicint.h"
#include "optionserver.h"
#include "parentdlg.h"
#include "qvcomserver.h"
#include "qvfint.h"
#include "qvfserver.h"
#include "qvlistctrl.h"
#include "searchpopupdlg.h"

#include <cstdio>
#include <cwchar>

const GUID CKursChildDlg::GUID_ScopeKurs = qv::MakeGuid("00D42EE5-F393-45EB-BCDF-5873430E1432");
const GUID CKursChildDlg::GUID_ScopeKursinstanz = qv::MakeGuid("FB4C0C46-8C91-4F55-BA7B-9E5FEBB97358");
const GUID CKursChildDlg::GUID_BookingsChanged = qv::MakeGuid("4EF7DB46-118D-4C0B-9338-BE2434638F5B");

namespace {
// The leader functions of participants and instructors.
const GUID GUID_LeiterTeilnehmer = qv::MakeGuid("8C720C47-85F3-4C83-B183-DA593FA4F230");
const GUID GUID_LeiterInstruktor = qv::MakeGuid("E9A11836-A84D-464E-91ED-A1E0C3317237");
constexpr DWORD kRightEdit = 0x100;
constexpr DWORD kRightKursleiter = 0x10000;
constexpr UINT_PTR kPendingLoadTimer = 99;
}  // namespace

IMPLEMENT_DYNAMIC(CKursChildDlg, CChildDlg)

BEGIN_QVEVENT_MAP(CKursChildDlg)
    ON_QVEVENT(CKursChildDlg::GUID_BookingsChanged, OnBookingsChanged)
END_QVEVENT_MAP()

CKursChildDlg::CKursChildDlg(UINT nIDTemplate, UINT nCaptionID, CString strTabName, int /*nParent*/, int nHeight,
                             UINT nFirstFocusID)
    : CChildDlg(nIDTemplate, nCaptionID, strTabName, nullptr, nHeight, nFirstFocusID) {
    guidKurs.SetNULL();
    guidKursinstanz.SetNULL();
}

CKursChildDlg::~CKursChildDlg() = default;

HRESULT CKursChildDlg::GetClassID(GUID*) { return E_NOTIMPL; }

BOOL CKursChildDlg::OnInitDialog() {
    CChildDlg::OnInitDialog();
    if (FAILED(m_kursEventSink.Create(this, GetQvEventMap()))) KURS_TRACEHR(E_FAIL);
    return TRUE;
}

HRESULT CKursChildDlg::CloseTab() {
    m_kursEventSink.Unadvise();
    return CChildDlg::CloseTab();
}

HRESULT CKursChildDlg::LoadKursContext() {
    CBusyScope busy(this);
    const long lCurrentKurs = GetRecordID();
    const long lCurrentRun = GetSubRecordID();
    lKursID = 0;
    lKursinstanzID = 0;
    lKursleiterID = 0;
    guidKurs.SetNULL();
    guidKursinstanz.SetNULL();
    lTyp = 0;
    fActive = TRUE;
    rightKurs = 0;
    rightKursinstanz = 0;
    if (lCurrentKurs == 0) return S_OK;

    const long lUserID = kurs::CurrentSecUserID();
    CQvADOConnection conn;
    CQvADORecordset rs(&conn);
    long hr = kurs::OpenConnection(conn);
    BOOL bEOF = TRUE;
    CString strSQL;
    strSQL.Format(L"SELECT k.lKursID, k.lTyp, k.fActive, k.guid, isnull(s.lRight, 0) AS lRight FROM Kurs k LEFT OUTER "
                  L"JOIN SecKurs s ON s.lKursID = k.lKursID AND s.lKursinstanzID = -1 AND s.lQvSecUserID = %d WHERE "
                  L"k.lKursID = %d",
                  lUserID, lCurrentKurs);
    if (SUCCEEDED(hr)) hr = kurs::OpenRows(rs, strSQL, bEOF);
    if (SUCCEEDED(hr) && !bEOF) {
        hr = rs.GetFieldValue(L"lKursID", &lKursID);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"lTyp", &lTyp);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"fActive", &fActive);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"guid", &guidKurs);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"lRight", &rightKurs);
    }
    rs.Close();
    if (SUCCEEDED(hr) && m_bKursinstanzContext && lKursID != 0 && lCurrentRun != 0) {
        strSQL.Format(L"SELECT ki.lKursinstanzID, ki.guid, isnull(s.lRight, 0) AS lRight, isnull((SELECT "
                      L"max(pk.lPersonKursID) FROM PersonKurs pk WHERE pk.lKursinstanzID = ki.lKursinstanzID AND "
                      L"pk.fLeiter = 1), 0) AS lLeiter FROM Kursinstanz ki LEFT OUTER JOIN SecKurs s ON "
                      L"s.lKursinstanzID = ki.lKursinstanzID AND s.lKursID = -1 AND s.lQvSecUserID = %d WHERE "
                      L"ki.lKursinstanzID = %d AND ki.lKursID = %d",
                      lUserID, lCurrentRun, lKursID);
        hr = kurs::OpenRows(rs, strSQL, bEOF);
        if (SUCCEEDED(hr) && !bEOF) {
            hr = rs.GetFieldValue(L"lKursinstanzID", &lKursinstanzID);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"guid", &guidKursinstanz);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"lRight", &rightKursinstanz);
            if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"lLeiter", &lKursleiterID);
        }
        rs.Close();
    }
    if (FAILED(hr)) {
        KURS_TRACEHR(hr);
        KURS_REPORTDBERROR(conn, hr);
    }
    return hr;
}

HRESULT CKursChildDlg::UpdateRights(CString) {
    if (NQ_IsEnterpriseEdition() && !m_guidScope.IsNULL())
        return LoadRightsForMandant(m_guidFunction, m_guidScope, CString());
    return LoadRightsGeneral(m_guidFunction);
}

HRESULT CKursChildDlg::LoadRightsForMandant(CQvGUID guidFunction, CQvGUID guidScope, CString) {
    const HRESULT hr = m_Sec.LoadRights(guidFunction);
    if (FAILED(hr)) return KURS_TRACEHR(hr);
    const DWORD dwRights = m_Sec.GetRights();
    // In the central installation a course leader may edit what he leads.
    if (NQ_IsEnterpriseEdition() && (dwRights & kRightKursleiter) && !(dwRights & kRightEdit)) m_Sec |= kRightEdit;
    // The rights row of the course or run limits what the function allows; no row still reads.
    if (guidScope == CQvGUID(GUID_ScopeKursinstanz) && lKursinstanzID != 0)
        m_Sec &= static_cast<DWORD>(rightKursinstanz == 0 ? 1 : rightKursinstanz);
    else if (guidScope == CQvGUID(GUID_ScopeKurs) && lKursID != 0)
        m_Sec &= static_cast<DWORD>(rightKurs == 0 ? 1 : rightKurs);
    return hr;
}

HRESULT CKursChildDlg::LoadRightsGeneral(CQvGUID guidFunction) {
    const HRESULT hr = m_Sec.LoadRights(guidFunction);
    return FAILED(hr) ? KURS_TRACEHR(hr) : hr;
}

void CKursChildDlg::SecureControl(CWnd* pWnd, BOOL bShow, BOOL bEdit, DWORD dwMask) {
    BOOL bLocked = FALSE;
    if (m_pParentControl) m_pParentControl->IsLockedByOther(&bLocked);
    const long nEdit = (GetSubRecordID() == 0 || bLocked) ? 3 : (bEdit ? 1 : 3);
    m_Sec.EnableControl(pWnd, bShow ? 1 : 3, nEdit, dwMask, false);
}

void CKursChildDlg::SecureDlgItem(UINT nID, BOOL bShow, BOOL bEdit, DWORD dwMask) {
    SecureControl(GetDlgItem(static_cast<int>(nID)), bShow, bEdit, dwMask);
}

BOOL CKursChildDlg::IsKursleiterWithRight(BOOL bTeilnehmer, long& lPersonID) {
    // Pages that did not ask for the user's person at their start ask now; without one it stays
    // unknown (-1).
    long lOwnPerson = 0;
    if (m_lUserPersonID == -1 && NQ_GetCurrUserPerson(lOwnPerson) == S_OK) m_lUserPersonID = lOwnPerson;
    if (lPersonID == 0 || lPersonID == -1) lPersonID = m_lUserPersonID;
    if (lPersonID <= 0 || lPersonID != m_lUserPersonID) return FALSE;
    CQvSec sec;
    if (FAILED(sec.LoadRights(CQvGUID(bTeilnehmer ? GUID_LeiterTeilnehmer : GUID_LeiterInstruktor)))) return FALSE;
    if (!sec.HasAllRights(kRightKursleiter)) return FALSE;
    const long lRight = m_strTabName == L"Planung" ? rightKurs : rightKursinstanz;
    return (static_cast<DWORD>(lRight) & kRightKursleiter) != 0;
}

void CKursChildDlg::OnBookingsChanged(COleVariant data) {
    // The active page of a window that is up changed the bookings itself and shows them already.
    if (m_bActive && m_pParentDlg && m_pParentDlg->IsViewReady() && !m_pParentDlg->IsClosing()) return;
    const VARIANT& v = data;
    if (v.vt == VT_I4 && v.lVal == lKursID && lKursID != 0) MarkModifiedAndReload();
}

bool CKursChildDlg::IsSelectionGained(const NMLISTVIEW* pNM) {
    return ((pNM->uNewState & LVIS_SELECTED) && pNM->uOldState == 0) ||
           ((pNM->uNewState & LVIS_FOCUSED) && pNM->uOldState == LVIS_FOCUSED);
}

bool CKursChildDlg::IsSelectionLost(const NMLISTVIEW* pNM) {
    return (pNM->uOldState & LVIS_SELECTED) && pNM->uNewState == 0;
}

void CKursChildDlg::SchedulePendingLoad() {
    if (m_nLoadTimerID) KillTimer(m_nLoadTimerID);
    m_nLoadTimerID = SetTimer(kPendingLoadTimer, 200, nullptr);
}

BOOL CKursChildDlg::IsDlgItemEnabled(UINT nID) {
    CWnd* pWnd = GetDlgItem(nID);
    return pWnd && pWnd->IsWindowEnabled();
}

void CKursChildDlg::NavigateToPerson(long lPersonID, BOOL bTeilnehmer) {
    NQ_NavigateToQvFrameView(L"Qovaro.NQ2.PersonView", lPersonID, 0, bTeilnehmer ? L"Ausbildung" : L"Instruktor", TRUE);
}

long CKursChildDlg::LinkPersonID(const NMHDR* pNMHDR) {
    const auto* pLink = reinterpret_cast<const NMQVLISTLINK*>(pNMHDR);
    return pLink->pszLink ? std::wcstol(pLink->pszLink, nullptr, 10) : 0;
}

HRESULT CKursChildDlg::LoadColorFemale(COLORREF& color) {
    long lColor = 0;
    COptionServer options;
    const HRESULT hr = options.GetOption(-1000, L"ColorFemale", &lColor, 1, 0);
    if (SUCCEEDED(hr)) color = static_cast<COLORREF>(lColor);
    return hr;
}

HRESULT CKursChildDlg::GetPersonDienstgrad(INQLogicServer* pLogic, long lPersonID, CString& strDienstgrad,
                                           long& lRang) {
    long lGradID = 0, lFound = 0;
    BSTR bstrBezeichnung = nullptr, bstrDienstgrad = nullptr;
    const HRESULT hr =
        pLogic->GetPersonDienstgrad(lPersonID, 0.0, &lGradID, &bstrBezeichnung, &bstrDienstgrad, &lRang, &lFound);
    strDienstgrad = bstrDienstgrad ? CString(bstrDienstgrad) : CString();
    SysFreeString(bstrBezeichnung);
    SysFreeString(bstrDienstgrad);
    return hr;
}

long CKursChildDlg::VariantLong(const COleVariant& value) {
    const VARIANT& v = value;
    return v.vt == VT_I4 ? v.lVal : 0;
}

void CKursChildDlg::ReloadOnKursinstanzChanged(const COleVariant& value) {
    if (m_bActive && IsParentReady()) return;
    if (VariantLong(value) == lKursinstanzID && lKursinstanzID != 0) MarkModifiedAndReload();
}

BOOL CKursChildDlg::BeginSelectedRowEdit(CQvListCtrl* pList, long lParamIndex, long& lValue) {
    lValue = 0;
    if (!NQ_GetSelectedParamValue(pList, lParamIndex, lValue)) return FALSE;
    return BeginEdit() == eRecordEditing;
}

void CKursFillColors::Create() {
    m_brushRed.CreateSolidBrush(kRed);
    m_brushYellow.CreateSolidBrush(kYellow);
    m_brushGreen.CreateSolidBrush(kGreen);
    m_brushGrey.CreateSolidBrush(kGrey);
}

HBRUSH CKursFillColors::Brush(CDC* pDC, COLORREF color, HBRUSH hDefault) {
    if (color == CLR_DEFAULT) return hDefault;
    pDC->SetBkColor(color);
    if (color == kGrey) return m_brushGrey;
    if (color == kGreen) return m_brushGreen;
    if (color == kYellow) return m_brushYellow;
    return m_brushRed;
}

BOOL CKursChildDlg::PickKursinstanz(const CString& strWhere, long& lNewRun) {
    CSearchPopupDlg popup(39, CString(), 0, 0, nullptr);
    popup.SetSecMandantTableID(L"onlyInstanz");
    popup.m_dwRightMask = kRightEdit;
    popup.SetJoinAndWhere(CString(), strWhere);
    const std::vector<long>* pIDs = popup.DoModal() == IDOK ? popup.GetResultIDs() : nullptr;
    if (!pIDs || pIDs->empty()) return FALSE;
    lNewRun = pIDs->front();
    return TRUE;
}

void CKursChildDlg::FollowSelection(const NMHDR* pNMHDR, CQvListCtrl& list, long nParam, long& lSelected) {
    const auto* pNM = reinterpret_cast<const NMLISTVIEW*>(pNMHDR);
    if (pNM->iItem < 0) return;
    if (IsSelectionGained(pNM)) {
        long lValue = 0;
        if (CQvListItem* pItem = list.QvGetVisibleListItem(pNM->iItem)) pItem->GetParam(nParam, &lValue);
        lSelected = lValue;
        LoadData();
    } else if (IsSelectionLost(pNM)) {
        lSelected = 0;
        SchedulePendingLoad();
    }
}

HRESULT CKursChildDlg::RefreshPage(COLORREF& colorFemale, const std::function<HRESULT()>& load) {
    HRESULT hr = LoadColorFemale(colorFemale);
    if (SUCCEEDED(hr)) hr = load();
    if (SUCCEEDED(hr)) hr = CChildDlg::Refresh();
    if (SUCCEEDED(hr)) return hr;
    // What the page shows is not what is stored: it loads again as soon as it is asked to.
    m_bModified = TRUE;
    if (m_nStatusID && GetDlgItem(static_cast<int>(m_nStatusID)))
        SetDlgItemText(static_cast<int>(m_nStatusID), KursLoadString(IDS_LOAD_FAILED));
    return KURS_TRACEHR(hr);
}

void CKursChildDlg::OnLoadEnded(HRESULT hr) {
    CWnd* pStatus = m_nStatusID ? GetDlgItem(static_cast<int>(m_nStatusID)) : nullptr;
    if (SUCCEEDED(hr)) {
        if (m_bFrameStatusSaysFailed) SetFrameStatusText(L"Bereit");
        m_bFrameStatusSaysFailed = FALSE;
        return;
    }
    GreyControls(pStatus ? pStatus->GetSafeHwnd() : nullptr);
    const CString strText = KursLoadString(IDS_LOAD_FAILED);
    if (pStatus) {
        pStatus->SetWindowText(strText);
    } else if (m_bActive) {
        SetFrameStatusText(strText);
        m_bFrameStatusSaysFailed = TRUE;
    }
}

void CKursChildDlg::SetFrameStatusText(const CString& strText) {
    IQvFFrame* pFrame = nullptr;
    if (FAILED(QvFQueryFrame(IID_IQvFFrame, reinterpret_cast<void**>(&pFrame))) || !pFrame) return;
    BSTR bstrText = strText.AllocSysString();
    pFrame->SetStatusText(bstrText);
    SysFreeString(bstrText);
    pFrame->Release();
}

void CKursChildDlg::CreateListLayout(UINT nListID, UINT nStatusID, std::initializer_list<UINT> buttons, BOOL bListGap) {
    m_nStatusID = nStatusID;
    CRect units(0, 0, 5, 5);
    MapDialogRect(&units);
    const int n5 = units.Width();
    CQvLayoutNode* root = m_LayoutFactory.CreateRelativeNode(this);
    CQvLayoutNode* first = nullptr;
    for (UINT nID : buttons) {
        CQvLayoutNode* node = m_LayoutFactory.CreateWindowNode(root, nID)->Attach(eQvRight, root, eQvRight, -n5)->KeepSize();
        if (!first) first = node;
    }
    CQvLayoutNode* help = m_LayoutFactory.CreateWindowNode(root, IDC_HELPBUTTON)
                              ->Attach(eQvRight, root, eQvRight, -n5)
                              ->Attach(eQvBottom, root, eQvBottom, -n5)
                              ->KeepSize();
    CQvLayoutNode* status = m_LayoutFactory.CreateWindowNode(root, nStatusID)
                                ->Attach(eQvBottom, root, eQvBottom, -n5)
                                ->Attach(eQvRight, help, eQvLeft, -2 * n5)
                                ->KeepSize(FALSE, TRUE);
    m_LayoutFactory.CreateWindowNode(root, nListID)
        ->Attach(eQvRight, first, eQvLeft, bListGap ? -n5 : 0)
        ->Attach(eQvBottom, status, eQvTop, -n5);
    m_LayoutFactory.CreateLayoutListener(this, root);
}

void CKursChildDlg::FollowPersonLink(const NMHDR* pNMHDR, LRESULT* pResult, BOOL bTeilnehmer) {
    const long lPersonID = LinkPersonID(pNMHDR);
    *pResult = 0;
    if (lPersonID == 0) return;
    NavigateToPerson(lPersonID, bTeilnehmer);
    *pResult = 1;
}

void CKursChildDlg::FollowKindPersonLink(const NMHDR* pNMHDR, LRESULT* pResult, long lTeilnehmerKind,
                                         long lInstruktorKind) {
    const auto* pLink = reinterpret_cast<const NMQVLISTLINK*>(pNMHDR);
    *pResult = 0;
    long lKind = 0, lPersonID = 0;
    if (pLink->pszLink) std::swscanf(pLink->pszLink, L"%ld;%ld", &lKind, &lPersonID);
    if (lPersonID == 0) return;
    if (lKind == lTeilnehmerKind || lKind == lInstruktorKind) NavigateToPerson(lPersonID, lKind == lTeilnehmerKind);
    *pResult = 1;
}

BOOL CKursChildDlg::PickPersonsToBook(LPCWSTR pszKey, BOOL bTeilnehmerLeader, const CString& strJoin, CString strWhere,
                                      std::vector<long>& ids) {
    CSearchPopupDlg popup(4, pszKey, 0, 0, nullptr);
    popup.m_bMultiSelect = TRUE;
    popup.m_dwRightMask = 0;
    if (!m_Sec.HasAllRights(kRightEdit)) {
        long lPersonID = 0;
        const BOOL bLeader = IsKursleiterWithRight(bTeilnehmerLeader, lPersonID);
        strWhere.AppendFormat(strWhere.IsEmpty() ? L" vp.lPersonID = %d" : L" AND vp.lPersonID = %d",
                              bLeader ? lPersonID : 0L);
    }
    if (!strJoin.IsEmpty() || !strWhere.IsEmpty()) popup.SetJoinAndWhere(strJoin, strWhere);
    if (popup.DoModal() != IDOK) return FALSE;
    if (const std::vector<long>* pIDs = popup.GetResultIDs()) ids = *pIDs;
    return TRUE;
}

BOOL CKursChildDlg::ConfirmRemoval(const CQvListItemArray& items) {
    return items.GetSize() > 0 &&
           AfxMessageBox(KursLoadString(IDS_DATEN_LOESCHEN), MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) == IDYES;
}

HRESULT CKursChildDlg::BookPersons(const std::vector<long>& ids, BOOL bInstruktor, long lRun, long lYear,
                                   long lKursleitungID) {
    CVRQKurs kurs;
    for (long lPersonID : ids) {
        long lPersonKursID = 0;
        EPersonKursStatus eStatus = ePersonKursStatusAngemeldet;
        const HRESULT hr =
            bInstruktor ? kurs.AddInstruktorToKurs(lPersonID, lKursID, lRun, lYear, lKursleitungID, lPersonKursID, eStatus)
                        : kurs.AddPersonToKurs(lPersonID, lKursID, lRun, lYear, lPersonKursID, eStatus);
        if (FAILED(hr)) return KURS_TRACEHR(hr);
    }
    return S_OK;
}

BOOL CKursChildDlg::EditBooking(long lPersonKursID, BOOL bNoEvent) {
    CEditPersonDlg dlg(this);
    dlg.lPersonKursID = lPersonKursID;
    dlg.lKursID = lKursID;
    dlg.lTyp = static_cast<EAuthorityTyp>(lTyp);
    dlg.bNoEvent = bNoEvent;
    return dlg.DoModal() == IDOK;
}

BOOL CKursChildDlg::AskNewStatus(BOOL bTeilnehmer, long lRun, long lCurrent, long& lStatus) {
    CGetStatusDlg dlg(this);
    dlg.lTyp = lTyp;
    dlg.lKursinstanzID = lRun;
    dlg.bTeilnehmer = bTeilnehmer;
    dlg.lStatus = lCurrent;
    if (dlg.DoModal() != IDOK || dlg.lStatus == lCurrent) return FALSE;
    lStatus = dlg.lStatus;
    return TRUE;
}

long CKursChildDlg::SharedParam(const CQvListItemArray& items, int nParam,
                                const std::function<bool(const CQvListItem*)>& bCompared) {
    if (items.GetSize() == 0) return -1;
    long lShared = -1;
    items[0]->GetParam(nParam, &lShared);
    for (int i = 0; i < items.GetSize(); ++i) {
        long lValue = -1;
        items[i]->GetParam(nParam, &lValue);
        if ((!bCompared || bCompared(items[i])) && lValue != lShared) return -1;
    }
    return lShared;
}

HRESULT CKursChildDlg::BeginEdit() {
    m_lReportsAtEdit = kurs::ReportCount();
    return CChildDlg::BeginEdit();
}

bool CKursChildDlg::IsFailureShown(long hr) const {
    return FAILED(hr) && (hr == E_ABORT || kurs::ReportCount() != m_lReportsAtEdit);
}

void CKursChildDlg::EndBookingCommand(long hr, BOOL bChanged, LPCWSTR lpszSource, BOOL bNotice) {
    EndEdit();
    // One report for one failure: a step that failed has shown its cause.
    const bool bShown = IsFailureShown(hr);
    if (bChanged && SUCCEEDED(hr)) {
        hr = m_EventSource.FireEvent(GUID_BookingsChanged, lKursID, FALSE);
        if (FAILED(hr)) KURS_TRACEHR(hr);
    }
    if (FAILED(hr) && !bShown)
        QvReportMsg(bNotice ? 1 : hr, CrackHR(hr), lpszSource, L"Default", __FILE__, __LINE__, bNotice ? 1 : 0);
}

HRESULT CKursChildDlg::AppendRoleMenu(CMenu& menu, UINT nNoneID, UINT nLastID, std::vector<long>& roles) {
    CQvADOConnection conn;
    CQvADORecordset rs(&conn);
    HRESULT hr = kurs::OpenConnection(conn);
    roles.push_back(-1);
    menu.AppendMenu(MF_STRING, nNoneID, KursLoadString(IDS_OHNE_FUNKTION));
    BOOL bEOF = TRUE;
    if (SUCCEEDED(hr))
        hr = kurs::OpenRows(rs, L"SELECT lKursleitungID, dbo.fn_GetFunktionBezeichnung(lFunktionID) as strFunktion "
                                L"FROM Kursleitung ORDER BY strFunktion",
                            bEOF);
    UINT nID = nNoneID + 1;
    while (SUCCEEDED(hr) && !bEOF && nID <= nLastID) {
        long lKursleitungID = -1;
        CString strFunktion;
        hr = rs.GetFieldValue(L"lKursleitungID", &lKursleitungID);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strFunktion", &strFunktion);
        if (FAILED(hr)) break;
        roles.push_back(lKursleitungID);
        menu.AppendMenu(MF_STRING, nID++, strFunktion);
        hr = rs.MoveNext(&bEOF);
    }
    rs.Close();
    if (FAILED(hr)) {
        KURS_TRACEHR(hr);
        KURS_REPORTDBERROR(conn, hr);
    }
    return hr;
}

HRESULT CKursChildDlg::ReadRunHeader(LPCWSTR pszLimit, BOOL& bClosed, long& lLimit, COleDateTime* pDatum) {
    CBusyScope busy(this);
    CQvADOConnection conn;
    CQvADORecordset rs(&conn);
    HRESULT hr = kurs::OpenConnection(conn);
    CString strSQL;
    strSQL.Format(L"SELECT fGeschlossen, %s, dtDatum FROM Kursinstanz WHERE lKursinstanzID = %d", pszLimit,
                  GetSubRecordID());
    BOOL bEOF = TRUE;
    if (SUCCEEDED(hr)) hr = kurs::OpenRows(rs, strSQL, bEOF);
    if (SUCCEEDED(hr) && !bEOF) {
        hr = rs.GetFieldValue(L"fGeschlossen", &bClosed);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(pszLimit, &lLimit);
        if (SUCCEEDED(hr) && pDatum) hr = rs.GetFieldValue(L"dtDatum", pDatum);
    }
    rs.Close();
    if (FAILED(hr)) {
        KURS_TRACEHR(hr);
        KURS_REPORTDBERROR(conn, hr);
    }
    return hr;
}

HRESULT CKursChildDlg::RemoveBooking(CQvADOConnection& conn, CVRQKurs& kurs, BOOL bTeilnehmer, long lPersonKursID,
                                     long lPersonID, long lRun, long lShownStatus, long lShownLeiter) {
    // The removal's choice is asked before the unit begins.
    kurs::CQuestionsFirst questions;
    // The page shows the registration in lRun (in no run: -1), with lShownStatus.
    if (bTeilnehmer) kurs.RemovePersonFromKurs(lPersonKursID, lPersonID, lRun, lShownStatus, lRun);
    questions.Done();
    kurs::CKursTransaction trans(conn);
    HRESULT hr = trans.Begin();
    HRESULT hrCall = S_OK;
    if (SUCCEEDED(hr))
        hr = hrCall = bTeilnehmer ? kurs.RemovePersonFromKurs(lPersonKursID, lPersonID, lRun, lShownStatus, lRun)
                                  : kurs.RemoveInstruktorFromKurs(lPersonKursID, lPersonID, lRun, lShownStatus, lRun,
                                                                  lShownLeiter);
    hr = trans.End(hr);
    if (FAILED(hr)) {
        KURS_TRACEHR(hr);
        if (SUCCEEDED(hrCall)) KURS_REPORTDBERROR(conn, hr);
    }
    return hr;
}

HRESULT CKursChildDlg::OpenLogicServer(INQLogicServer*& pLogic) {
    pLogic = nullptr;
    HRESULT hr = QueryCOMServer(NQ_LOGICSERVER_PROGID, IID_INQLogicServer, reinterpret_cast<void**>(&pLogic));
    if (SUCCEEDED(hr) && !pLogic) hr = E_NOINTERFACE;
    return FAILED(hr) ? KURS_TRACEHR(hr) : hr;
}

const wchar_t* const CKursChildDlg::kPersonColumns =
    L"Person.lPersonID, Person.strName + ' ' + Person.strVorname AS strPerson, strAdresse1L, fWeiblich, strPLZOrt, "
    L"strSprache, cbm.strBezeichnung AS strMandant, PersonKurs.lStatus";
const wchar_t* const CKursChildDlg::kPersonFrom =
    L"Person JOIN view_CacheBezeichnung cbm ON Person.lMandantID = cbm.lID AND cbm.lTableID = 45 JOIN PersonKurs ON "
    L"Person.lPersonID = PersonKurs.lPersonID JOIN view_Ort ON Person.lOrtID = view_Ort.lOrtID ";
const wchar_t* const CKursChildDlg::kRoleColumns =
    L"isnull(PersonKurs.lKursleitungID, -1) as lKursleitungID, dbo.fn_GetFunktionBezeichnung(isnull(lFunktionID, 0)) "
    L"as strFunktion";
const wchar_t* const CKursChildDlg::kRoleJoin =
    L"LEFT OUTER JOIN Kursleitung ON PersonKurs.lKursleitungID = Kursleitung.lKursleitungID ";

CString CKursChildDlg::BookingListSQL(BOOL bTeilnehmer, long lRun, LPCWSTR pszColumns, LPCWSTR pszJoin) {
    CString strSQL;
    strSQL.Format(L"SELECT %s, lPersonKursID, PersonKurs.dtAnmeldung, Absenzgrund.strBezeichnung AS strAbsenzgrund, "
                  L"fEntschuldigt, strGrundNichtBestanden, PersonKurs.strBemerkung, (select count(*) from Device "
                  L"where lPersonID = Person.lPersonID AND lTyp = 6) as anzMail, isnull(sm.lRight,0) AS lRight%s "
                  L"FROM %sLEFT OUTER JOIN SecMandant sm ON Person.lMandantID = sm.lMandantID AND sm.lQvSecUserID = "
                  L"%d AND sm.lTableID = 4 JOIN Absenzgrund ON PersonKurs.lAbsenzgrundID = Absenzgrund.lAbsenzgrundID "
                  L"%sWHERE PersonKurs.fTeilnehmer = %d AND PersonKurs.lKursinstanzID = %d ",
                  kPersonColumns, pszColumns, kPersonFrom, kurs::CurrentSecUserID(), pszJoin, bTeilnehmer ? 1 : 0,
                  lRun);
    return strSQL;
}

HRESULT CKursPersonRow::Read(CQvADORecordset& rs, INQLogicServer* pLogic) {
    HRESULT hr = rs.GetFieldValue(L"lPersonID", &lPersonID);
    if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"lStatus", &lStatus);
    if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strPerson", &strPerson);
    if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strAdresse1L", &strAdresse);
    if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"fWeiblich", &bWeiblich);
    if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strPLZOrt", &strOrt);
    if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strSprache", &strSprache);
    if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strMandant", &strMandant);
    if (SUCCEEDED(hr)) hr = CKursChildDlg::GetPersonDienstgrad(pLogic, lPersonID, strDienstgrad, lRang);
    return hr;
}

HRESULT CKursBookingRow::Read(CQvADORecordset& rs, INQLogicServer* pLogic) {
    HRESULT hr = rs.GetFieldValue(L"lPersonKursID", &lPersonKursID);
    if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"dtAnmeldung", &dtAnmeldung);
    if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strAbsenzgrund", &strAbsenz);
    if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"fEntschuldigt", &bEntschuldigt);
    if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strGrundNichtBestanden", &strGrund);
    if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strBemerkung", &strBemerkung);
    if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"anzMail", &lMail);
    if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"lRight", &lRight);
    if (SUCCEEDED(hr)) hr = CKursPersonRow::Read(rs, pLogic);
    return hr;
}

void CKursStatusCounts::Add(long lStatus) {
    ++lAll;
    switch (lStatus) {
    case 3: case 4: ++lWaiting; break;
    case 0: case 7: ++lRegistered; break;
    case 1: case 6: ++lPresent; break;
    case 2: case 5: ++lAbsent; break;
    default: break;
    }
    if (lStatus != 5) ++lPlaces;
}

#include "qvfsetupdlg.h"
#include "denywindow.h"
#include "qvdatalogger.h"
#include "qvfcomobject.h"
#include "qvfview.h"
#include "qvfviewcommon.h"
#include "qvhrtrace.h"
#include "qvinteract.h"
#include "qvsec.h"
#include "qvwinapp.h"

IMPLEMENT_DYNCREATE(CQvFSetupDlg, CQvFViewDlg)

BEGIN_MESSAGE_MAP(CQvFSetupDlg, CQvFViewDlg)
    ON_WM_SIZE()
END_MESSAGE_MAP()

// The page answers the view-control interface with its own one as well.
BEGIN_INTERFACE_MAP(CQvFSetupDlg, CQvFViewDlg)
    INTERFACE_PART(CQvFSetupDlg, IID_IQvFSetupViewControl, SetupViewControl)
    INTERFACE_PART(CQvFSetupDlg, IID_IQvFViewControl, SetupViewControl)
END_INTERFACE_MAP()

#define SETUP_TRACEHR(hr) QvAddHRErrorFile(L"qvfsetupdlg", __LINE__, (hr))

namespace {
const CQvGUID kCanLoadError(L"{538210C2-0D81-4CC5-B4D8-41CB93353FDE}");
const CQvGUID kCanLoadNoRights(L"{E000FA6D-737E-461A-8AA7-05CC3F5BA95A}");
}  // namespace

CQvFSetupDlg::CQvFSetupDlg() : CQvFViewDlg(nullptr, 0, nullptr), m_strLoggerSource(L"QvFrameBase") {}

CQvFSetupDlg::CQvFSetupDlg(UINT nTemplateID, CWnd* pParent) : CQvFViewDlg(nullptr, nTemplateID, pParent) {}

CQvFSetupDlg::~CQvFSetupDlg() = default;

void CQvFSetupDlg::SetSecFunctionGUID(CQvGUID guid) {
    if (m_guidSecFunction.IsNULL()) m_guidSecFunction = guid;
}

void CQvFSetupDlg::SetSetupName(CString strName) {
    m_strSetupName = strName;
    if (strName == L"SETUPVIEW-TEST" && m_lViewValue == 0) m_lViewValue = 99;
}

HRESULT CQvFSetupDlg::CreatePage(HWND* phWnd) {
    if (!phWnd) return SETUP_TRACEHR(E_POINTER);
    const HRESULT hr = CQvFViewDlg::CreateView(*phWnd);
    if (SUCCEEDED(hr)) *phWnd = GetSafeHwnd();
    return hr;
}

HRESULT CQvFSetupDlg::GetImageList(HIMAGELIST* phList, long* plSize, long* plCount) {
    return QvFGetImageList(m_nBitmapID, S_FALSE, phList, plSize, plCount);
}

HRESULT CQvFSetupDlg::GetSetupName(CString& strName) {
    strName = m_strSetupName;
    return S_OK;
}

HRESULT CQvFSetupDlg::GetGroupName(CString& strName) {
    const HRESULT hr = QvFGetGroupName(m_nGroupID, m_strGroupText, strName);
    return FAILED(hr) ? SETUP_TRACEHR(hr) : hr;
}

HRESULT CQvFSetupDlg::GetViewValue(long* plValue) { return QvFGetOrderValue(m_lViewValue, plValue); }

HRESULT CQvFSetupDlg::GetCaption(CString& strCaption) {
    if (m_nCaptionID != 0) {
        CString text;
        text.LoadString(m_nCaptionID);
        strCaption = text;
        return S_OK;
    }
    const CRuntimeClass* pClass = GetRuntimeClass();
    strCaption = pClass && pClass->m_lpszClassName ? CString(pClass->m_lpszClassName) : CString(L"Noname Setup");
    return S_OK;
}

HRESULT CQvFSetupDlg::GetSetupValue(long* plValue) { return QvFGetOrderValue(m_lSetupValue, plValue); }

HRESULT CQvFSetupDlg::LoadSettings() { return S_OK; }

HRESULT CQvFSetupDlg::SaveSettings() {
    m_bModified = FALSE;
    return S_OK;
}

BOOL CQvFSetupDlg::CanLoad() {
    CQvDataLogger logger(m_strLoggerSource);
    if (!m_guidSecFunction.IsNULL() && m_lSecSwitch != 0) {
        CQvSec sec;
        const long hr = sec.LoadRights(m_guidSecFunction);
        if (FAILED(hr)) {
            SETUP_TRACEHR(HRESULT(hr));
            logger.Error(kCanLoadError,
                         L"CQvFSetupDlg::CanLoad() ERROR QvSec-Function not specified for this setup page");
            return FALSE;
        }
        if (sec.HasAllRights(0)) {
            logger.Debug(kCanLoadNoRights, L"CQvFSetupDlg::CanLoad() No rights to load the setup available");
            return FALSE;
        }
    }
    return TRUE;
}

HRESULT CQvFSetupDlg::ApplySecurity(CString) { return S_OK; }

HRESULT CQvFSetupDlg::ApplySecurity(UINT nHintID) {
    CString strHint;
    strHint.LoadString(nHintID);
    return ApplySecurity(strHint);
}

const QvStaticMapEntry* CQvFSetupDlg::GetStaticMap() const {
    static const QvStaticMapEntry entries[] = {{0, 0}};
    return entries;
}

HRESULT CQvFSetupDlg::ShowView(BOOL bShow) {
    HRESULT hrSave = S_OK;
    if (!bShow && m_bModified) {
        // Saved before the page goes. A page that refuses a value (E_ABORT: it has told the user
        // why) stays shown with every value typed, and the caller keeps it; a page that could not
        // be written is reported, goes, and stays changed for the next try.
        hrSave = SaveSettings();
        if (hrSave == E_ABORT) return SETUP_TRACEHR(hrSave);
        if (SUCCEEDED(hrSave)) m_bModified = FALSE;
    }
    HRESULT hr = CQvFViewDlg::ShowView(bShow);
    if (FAILED(hr)) SETUP_TRACEHR(hr);
    if (m_bShown && !m_pDenyWindow) {
        if (SUCCEEDED(hr)) {
            hr = LoadSettings();
            if (FAILED(hr)) SETUP_TRACEHR(hr);
        }
        if (!m_guidSecFunction.IsNULL() && m_lSecSwitch != 0 && SUCCEEDED(hr)) {
            hr = ApplyDefaultSecurity();
            if (FAILED(hr)) SETUP_TRACEHR(hr);
        }
    }
    if (SUCCEEDED(hr)) hr = hrSave;
    if (FAILED(hr))
        QvReportMsg(1, CrackHR(hr), L"CQvFSetupDlg::Show", L"Default", L"qvfsetupdlg", __LINE__, 1);
    return S_OK;
}

HRESULT CQvFSetupDlg::CloseView() {
    const HRESULT hr = CQvFViewDlg::CloseView();
    if (FAILED(hr)) SETUP_TRACEHR(hr);
    return hr;
}

HRESULT CQvFSetupDlg::ApplyDefaultSecurity() { return ApplySecurity(CString(QVF_DEFAULT_DENY_TEXT)); }

void CQvFSetupDlg::OnSize(UINT nType, int cx, int cy) {
    CQvFViewDlg::OnSize(nType, cx, cy);
    if (m_pDenyWindow && m_pDenyWindow->GetSafeHwnd()) {
        CRect rc;
        GetWindowRect(&rc);
        if (CWnd* pParent = GetParent()) pParent->ScreenToClient(&rc);
        m_pDenyWindow->MoveWindow(&rc, FALSE);
    }
}

// ---- IQvFSetupViewControl

QVF_IMPLEMENT_IUNKNOWN_EX(CQvFSetupDlg, SetupViewControl)

HRESULT CQvFSetupDlg::XSetupViewControl::CreateView(HWND* phWnd) {
    METHOD_PROLOGUE(CQvFSetupDlg, SetupViewControl)
    QVF_MANAGE_STATE();
    return pThis->CreatePage(phWnd);
}

HRESULT CQvFSetupDlg::XSetupViewControl::ShowView(BOOL bShow) {
    METHOD_PROLOGUE(CQvFSetupDlg, SetupViewControl)
    QVF_MANAGE_STATE();
    return pThis->GetSafeHwnd() ? pThis->ShowView(bShow) : S_OK;
}

HRESULT CQvFSetupDlg::XSetupViewControl::PreTranslateMessage(MSG* pMsg) {
    QVF_MANAGE_STATE();
    return QvFPreTranslateMessage(pMsg);
}

HRESULT CQvFSetupDlg::XSetupViewControl::GetImageList(HIMAGELIST* phList, long* plSize, long* plCount) {
    METHOD_PROLOGUE(CQvFSetupDlg, SetupViewControl)
    QVF_MANAGE_STATE();
    return pThis->GetImageList(phList, plSize, plCount);
}

HRESULT CQvFSetupDlg::XSetupViewControl::GetGroupName(BSTR* pbstrName) {
    METHOD_PROLOGUE(CQvFSetupDlg, SetupViewControl)
    QVF_MANAGE_STATE();
    return QvFTextOut(pbstrName, pThis, &CQvFSetupDlg::GetGroupName);
}

HRESULT CQvFSetupDlg::XSetupViewControl::GetSetupName(BSTR* pbstrName) {
    METHOD_PROLOGUE(CQvFSetupDlg, SetupViewControl)
    QVF_MANAGE_STATE();
    return QvFTextOut(pbstrName, pThis, &CQvFSetupDlg::GetSetupName);
}

HRESULT CQvFSetupDlg::XSetupViewControl::GetViewValue(long* plValue) {
    METHOD_PROLOGUE(CQvFSetupDlg, SetupViewControl)
    QVF_MANAGE_STATE();
    return pThis->GetViewValue(plValue);
}

HRESULT CQvFSetupDlg::XSetupViewControl::GetCaption(BSTR* pbstrCaption) {
    METHOD_PROLOGUE(CQvFSetupDlg, SetupViewControl)
    QVF_MANAGE_STATE();
    return QvFTextOut(pbstrCaption, pThis, &CQvFSetupDlg::GetCaption);
}

HRESULT CQvFSetupDlg::XSetupViewControl::GetSetupValue(long* plValue) {
    METHOD_PROLOGUE(CQvFSetupDlg, SetupViewControl)
    QVF_MANAGE_STATE();
    return pThis->GetSetupValue(plValue);
}

HRESULT CQvFSetupDlg::XSetupViewControl::CanLoad(BOOL* pbCanLoad) {
    METHOD_PROLOGUE(CQvFSetupDlg, SetupViewControl)
    QVF_MANAGE_STATE();
    if (!pbCanLoad) return E_POINTER;
    *pbCanLoad = pThis->CanLoad();
    return S_OK;
}

HRESULT CQvFSetupDlg::XSetupViewControl::SetSecurity(BSTR bstrFunction, long lSwitch) {
    METHOD_PROLOGUE(CQvFSetupDlg, SetupViewControl)
    QVF_MANAGE_STATE();
    if (pThis->m_guidSecFunction.IsNULL() && bstrFunction) pThis->m_guidSecFunction.SetGUID(bstrFunction);
    pThis->m_lSecSwitch = lSwitch;
    return S_OK;
}

HRESULT CQvFSetupDlg::XSetupViewControl::OnUpAndRunning() {
    METHOD_PROLOGUE(CQvFSetupDlg, SetupViewControl)
    QVF_MANAGE_STATE();
    return pThis->OnUpAndRunning();
}

HRESULT CQvFSetupDlg::XSetupViewControl::OnHostNotify() {
    METHOD_PROLOGUE(CQvFSetupDlg, SetupViewControl)
    QVF_MANAGE_STATE();
    return pThis->OnHostNotify();
}

HRESULT CQvFSetupDlg::XSetupViewControl::CloseView() {
    METHOD_PROLOGUE(CQvFSetupDlg, SetupViewControl)
    QVF_MANAGE_STATE();
    return pThis->CloseView();
}

HRESULT CQvFSetupDlg::XSetupViewControl::ReleaseView() {
    METHOD_PROLOGUE(CQvFSetupDlg, SetupViewControl)
    QVF_MANAGE_STATE();
    return pThis->ReleaseView();
}

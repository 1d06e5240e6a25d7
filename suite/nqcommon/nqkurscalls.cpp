#include "nqkurscalls.h"

#include "nqcommon.h"
#include "nqsearchcalls.h"
#include "qvadoconnection.h"
#include "qvadorecordset.h"
#include "qvcomserver.h"
#include "qvdblookup.h"
#include "qvdialog.h"
#include "qvfint.h"
#include "qvlistctrl.h"
#include "qvsec.h"
#include "qvui.h"

#include <cwchar>

namespace {

constexpr const wchar_t* kProfile = L"Qovaro.NQ2";

// Its address names this library's templates to the resource tables.
char g_moduleTag;
HINSTANCE ModuleHandle() { return reinterpret_cast<HINSTANCE>(&g_moduleTag); }

constexpr UINT IDD_NQ_EDITORT = 30500;
constexpr UINT IDC_NQ_EDITORT_ORT = 30501;

struct TemplateRegistrar {
    TemplateRegistrar() {
        using namespace qv::ui;
        DialogTemplate dlg;
        dlg.id = IDD_NQ_EDITORT;
        dlg.caption = L"Ort auswählen";
        dlg.cx = 220;
        dlg.cy = 62;
        dlg.style = DS_MODALFRAME | DS_SHELLFONT | WS_POPUP | WS_CAPTION;
        dlg.items = {
            LText(L"Ort:", static_cast<UINT>(-1), 7, 9, 30, 8),
            ComboBox(IDC_NQ_EDITORT_ORT, 40, 7, 173, 120, CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP),
            DefPushButton(L"OK", IDOK, 107, 41, 50, 14, WS_TABSTOP),
            PushButton(L"Abbrechen", IDCANCEL, 163, 41, 50, 14, WS_TABSTOP),
        };
        RegisterDialogTemplate(ModuleHandle(), dlg);
    }
};
TemplateRegistrar g_templateRegistrar;

// The place editor: every place with a postcode, the current one selected.
class CNQEditOrtDlg : public CQvDialog {
public:
    explicit CNQEditOrtDlg(long lOrtID) : CQvDialog(IDD_NQ_EDITORT, nullptr), m_lOrtID(lOrtID) {}

    BOOL OnInitDialog() override {
        CQvDialog::OnInitDialog();
        auto* pCombo = static_cast<CComboBox*>(GetDlgItem(IDC_NQ_EDITORT_ORT));
        NQ_FillCombo(L"SELECT lOrtID AS id, strPLZOrt AS str FROM view_Ort WHERE lOrtID <> 0 ORDER BY strPLZOrt",
                     pCombo, 0, 0, nullptr);
        for (int i = 0; i < pCombo->GetCount(); ++i)
            if (static_cast<long>(pCombo->GetItemData(i)) == m_lOrtID) pCombo->SetCurSel(i);
        return TRUE;
    }
    void OnOK() override {
        auto* pCombo = static_cast<CComboBox*>(GetDlgItem(IDC_NQ_EDITORT_ORT));
        const int nSel = pCombo->GetCurSel();
        m_lOrtID = nSel < 0 ? -1 : static_cast<long>(pCombo->GetItemData(nSel));
        CQvDialog::OnOK();
    }

    long m_lOrtID;
};

}  // namespace

BOOL NQ_GetSelectedParamValue(CQvListCtrl* pList, long lParamIndex, long& lValue) {
    if (!pList || !pList->GetSafeHwnd()) return FALSE;
    return pList->QvGetSelParamValue(static_cast<int>(lParamIndex), lValue);
}

long NQ_FillCombo(CString strSQL, CComboBox* pCombo, long, long, long* plCount) {
    if (plCount) *plCount = 0;
    if (!pCombo || !pCombo->GetSafeHwnd()) return E_POINTER;
    CQvADOConnection conn;
    CQvADORecordset rs(&conn);
    long hr = conn.Open(kProfile, 0);
    if (SUCCEEDED(hr)) hr = rs.Open(strSQL);
    BOOL bEOF = TRUE;
    if (SUCCEEDED(hr)) hr = rs.IsEOF(&bEOF);
    long lCount = 0;
    while (SUCCEEDED(hr) && !bEOF) {
        long lID = 0;
        CString strText;
        hr = rs.GetFieldValue(L"id", &lID);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"str", &strText);
        if (FAILED(hr)) break;
        const int nIndex = pCombo->AddString(strText);
        pCombo->SetItemData(nIndex, static_cast<DWORD_PTR>(static_cast<LONG_PTR>(lID)));
        ++lCount;
        hr = rs.MoveNext(&bEOF);
    }
    rs.Close();
    if (plCount) *plCount = lCount;
    if (FAILED(hr)) QvReportDBError(conn, hr, __FILE__, __LINE__);
    return FAILED(hr) ? hr : S_OK;
}

long NQ_GetCurrUserPerson(long& lPersonID) {
    lPersonID = 0;
    CQvSec sec;
    CString strName, strUserID;
    long lUserID = 0;
    long hr = sec.GetUser(&strName, &strUserID, &lUserID);
    if (FAILED(hr)) return hr;
    strUserID.Trim(L"{} ");
    if (strUserID.IsEmpty()) return S_FALSE;
    CString strCondition;
    strCondition.Format(L"guid = '%s'", static_cast<LPCWSTR>(QvSQLString(strUserID, 40)));
    long lFound = 0;
    hr = QvDBLookupLong(L"lPersonID", L"Contact", strCondition, &lFound, kProfile);
    if (FAILED(hr)) return hr;
    if (hr != S_OK || lFound <= 0) return S_FALSE;
    lPersonID = lFound;
    return S_OK;
}

CString NQ_GetKursBezeichnung(long lKursID, CString strDefault) {
    CString strCondition;
    strCondition.Format(L"lKursID = %d", lKursID);
    CString strText;
    if (QvDBLookupString(L"dbo.fn_GetKursBezeichnung(lKursID)", L"Kurs", strCondition, &strText, kProfile) != S_OK ||
        strText.IsEmpty())
        return strDefault;
    return strText;
}

long NQ_GetActKanton(CString& strCode, CString& strName, int* pnIndex) {
    strCode = NQ_GetActKanton();
    strName = strCode;
    if (pnIndex) *pnIndex = strCode.IsEmpty() ? -1 : 0;
    return strCode.IsEmpty() ? S_FALSE : S_OK;
}

long NQ_ShowEditOrtDlg(long& lOrtID) {
    const HINSTANCE hPrevious = AfxGetResourceHandle();
    AfxSetResourceHandle(ModuleHandle());
    CNQEditOrtDlg dlg(lOrtID);
    const INT_PTR nResult = dlg.DoModal();
    AfxSetResourceHandle(hPrevious);
    if (nResult == IDOK) lOrtID = dlg.m_lOrtID;
    return static_cast<long>(nResult);
}

long NQ_NavigateToQvFrameView(CString strProgID, long lID, long lID2, CString strTabName, BOOL bAddToHistory) {
    IQvFFrame* pFrame = nullptr;
    HRESULT hr = QueryCOMServer(QV_FRAME_PROGID, IID_IQvFFrame, reinterpret_cast<void**>(&pFrame));
    if (FAILED(hr) || !pFrame) return FAILED(hr) ? hr : E_FAIL;
    BSTR bstrProgID = SysAllocString(strProgID);
    hr = pFrame->ActivateView(bstrProgID);
    SysFreeString(bstrProgID);
    pFrame->Release();
    if (FAILED(hr)) return hr;
    if (bAddToHistory) {
        NQ_AddIDToNavigate(strProgID, lID, lID2);
        if (!strTabName.IsEmpty()) NQ_AddTabToNavigate(strProgID, strTabName);
    }
    hr = qv::nq::Navigate({NQNavigateEntry::Record, strProgID, lID, lID2, CString()});
    if (SUCCEEDED(hr) && !strTabName.IsEmpty())
        hr = qv::nq::Navigate({NQNavigateEntry::Tab, strProgID, 0, 0, strTabName});
    return FAILED(hr) ? hr : S_OK;
}

void DDX_DoubleRes(CDataExchange* pDX, int nIDC, double& dblValue, UINT nFormatID, int) {
    CString strFormat;
    if (!strFormat.LoadString(nFormatID) || strFormat.IsEmpty()) strFormat = L"%g";
    if (!pDX->m_bSaveAndValidate) {
        CString strText;
        strText.Format(strFormat, dblValue);
        strText.Trim();
        pDX->PrepareEditCtrl(nIDC);
        ::SetWindowTextW(::GetDlgItem(pDX->m_pDlgWnd->GetSafeHwnd(), nIDC), strText);
        return;
    }
    HWND hWnd = pDX->PrepareEditCtrl(nIDC);
    if (pDX->m_bFailed) return;
    const int nLength = ::GetWindowTextLengthW(hWnd);
    std::wstring text(static_cast<size_t>(nLength) + 1, L'\0');
    ::GetWindowTextW(hWnd, text.data(), nLength + 1);
    CString strText(text.c_str());
    strText.Trim();
    strText.Replace(L',', L'.');
    if (strText.IsEmpty()) {
        dblValue = 0;
        return;
    }
    wchar_t* pEnd = nullptr;
    const double dbl = std::wcstod(static_cast<LPCWSTR>(strText), &pEnd);
    if (pEnd == static_cast<LPCWSTR>(strText)) {
        AfxMessageBox(L"Bitte geben Sie eine Zahl ein.", MB_ICONEXCLAMATION);
        pDX->Fail();
        return;
    }
    dblValue = dbl;
}

// The sample module: a course view whose dialog locks the course row while it is edited, and two
// pages created by ProgID from the view's tab list.
#include "../framework_sample.h"
#include "childdlg.h"
#include "nqframeworkres.h"
#include "nqview.h"
#include "parentdlg.h"
#include "searchdlg.h"
#include "qvadoconnection.h"
#include "qvdblookup.h"
#include "qvfmodule.h"
#include "qvfobjectfactory.h"
#include "qvregvalue.h"
#include "qvwinapp.h"
#include "resource.h"
#include "strtable.h"

using namespace sample;

namespace {

char g_moduleTag;
HINSTANCE SampleModule() { return reinterpret_cast<HINSTANCE>(&g_moduleTag); }

struct Resources {
    Resources() {
        qv::RegisterStringTable(SampleModule(), {{IDS_SAMPLE_CAPTION, L"Kurse"},
                                                 {IDS_SAMPLE_TAB_DATA, L"Daten"},
                                                 {IDS_SAMPLE_TAB_NOTES, L"Notizen"}});
        using namespace qv::ui;
        DialogTemplate data;
        data.id = IDD_SAMPLE_DATA;
        data.cx = 300;
        data.cy = 120;
        data.style = WS_CHILD | DS_CONTROL;
        data.items = {LText(L"Bezeichnung:", 0, 8, 10, 60, 10), EditText(IDC_SAMPLE_NAME, 72, 8, 180, 14),
                      LText(L"Kurzbezeichnung:", 0, 8, 30, 60, 10), EditText(IDC_SAMPLE_SHORT, 72, 28, 80, 14)};
        RegisterDialogTemplate(SampleModule(), data);
        DialogTemplate notes;
        notes.id = IDD_SAMPLE_NOTES;
        notes.cx = 300;
        notes.cy = 560;
        notes.style = WS_CHILD | DS_CONTROL | WS_VSCROLL;
        for (unsigned i = 0; i < 10; ++i) {
            notes.items.push_back(LText(L"Notiz:", 0, 8, short(10 + 54 * i), 40, 10));
            notes.items.push_back(EditText(IDC_SAMPLE_NOTE_FIRST + i, 52, short(8 + 54 * i), 200, 14));
        }
        RegisterDialogTemplate(SampleModule(), notes);
    }
    ~Resources() { qv::UnregisterStringTable(SampleModule()); }
} g_resources;

class CSampleView;

// A page closing notes its tab name in the view's key ("ClosedTabs", in the order closed); the page
// named by "FailClose" fails to close.
HRESULT CloseSamplePage(const CString& strTabName) {
    CString strClosed, strFail;
    CQvRegistry::GetValue(SAMPLE_VIEW_KEY, L"ClosedTabs", strClosed);
    CQvRegistry::SetValue(SAMPLE_VIEW_KEY, L"ClosedTabs", strClosed + strTabName + L";");
    CQvRegistry::GetValue(SAMPLE_VIEW_KEY, L"FailClose", strFail);
    return strFail == strTabName ? E_FAIL : S_OK;
}

// The course dialog of the sample: the course and its run; the tenant is the first Mandant.
class CSampleDlg : public CParentDlg {
public:
    explicit CSampleDlg(CQvFView* pView) : CParentDlg(pView, L"Kurs", L"Kursinstanz") {}

    BOOL OnInitDialog() override {
        CParentDlg::OnInitDialog();
        m_tabCtrl.CreateTabCtrl(this, SAMPLE_VIEW_KEY);
        PlaceTabs();
        return TRUE;
    }
    HRESULT OnUpAndRunning() override {
        const HRESULT hr = CParentDlg::OnUpAndRunning();
        // The pages as the tab control made them, before any later rebuild, for the tests to see.
        CQvRegistry::SetValue(SAMPLE_VIEW_KEY, L"TabsAtStart", long(m_tabCtrl.GetTabCount()));
        if (SUCCEEDED(hr)) RestoreLastRecord();
        return hr;
    }
    HRESULT ApplyDefaultSecurity() override {
        const HRESULT hr = CParentDlg::ApplyDefaultSecurity();
        m_tabCtrl.ReloadTabWindows();
        return hr;
    }
    void MoveView(const RECT* pRect, BOOL bRepaint) override {
        CParentDlg::MoveView(pRect, bRepaint);
        PlaceTabs();
    }
    CString GetRecordQuery() override {
        return L"SELECT Mandant.guid AS guid, Mandant.lMandantID AS lID FROM Kurs JOIN Mandant ON "
               L"Mandant.lMandantID = (SELECT min(lMandantID) FROM Mandant) WHERE Kurs.lKursID = %d";
    }
    HRESULT AcquireEditLock() override {
        CString strOwner;
        return LockRecord(L"Kurs", L"lKursID", &strOwner, 0);
    }
    HRESULT ReleaseEditLock() override {
        const HRESULT hr = UnlockRecord(L"Kurs", L"lKursID", 0);
        return FAILED(hr) ? hr : S_OK;
    }
    HRESULT GetRecordState(CString* pstrOwner) override {
        if (GetRecordID() == 0) return eRecordUnchanged;
        return CheckRecordLock(L"Kurs", L"lKursID", pstrOwner, 0);
    }

private:
    void PlaceTabs() {
        if (!m_tabCtrl.GetSafeHwnd()) return;
        CRect rc;
        GetClientRect(&rc);
        m_tabCtrl.MoveWindow(0, 28, rc.Width(), rc.Height() - 28, TRUE);
        if (CWnd* pLogo = GetDlgItem(IDC_NQ_LOGO)) pLogo->MoveWindow(rc.Width() - 100, 2, 96, 24, TRUE);
    }
};

class CSampleView : public CNQView {
    DECLARE_DYNCREATE(CSampleView)
public:
    CSampleView() {
        SetCaptionID(IDS_SAMPLE_CAPTION);
        SetServerGUID(GUID_SampleViewFunction);
        SetViewObject(new CSampleDlg(this));
    }
    HRESULT GetClassID(GUID* pClsid) override {
        *pClsid = CLSID_SampleView;
        return S_OK;
    }
};
IMPLEMENT_DYNCREATE(CSampleView, CNQView)

// The course's names; an empty name is refused when saving.
class CSamplePageData : public CChildDlg {
    DECLARE_DYNCREATE(CSamplePageData)
public:
    CSamplePageData() : CChildDlg(IDD_SAMPLE_DATA, IDS_SAMPLE_TAB_DATA, L"Daten", nullptr, 0, IDC_SAMPLE_NAME) {}

    HRESULT Refresh() override {
        CString strName, strShort;
        if (GetRecordID() != 0) {
            CString strCondition;
            strCondition.Format(L"lKursID = %d", GetRecordID());
            QvDBLookupString(L"strBezeichnung", L"Kurs", strCondition, &strName, L"Qovaro.NQ2");
            QvDBLookupString(L"strKurzbezeichnung", L"Kurs", strCondition, &strShort, L"Qovaro.NQ2");
        }
        m_bLoading = TRUE;
        SetDlgItemText(IDC_SAMPLE_NAME, strName);
        SetDlgItemText(IDC_SAMPLE_SHORT, strShort);
        m_bLoading = FALSE;
        return CChildDlg::Refresh();
    }
    HRESULT SaveData() override {
        CString strName, strShort;
        GetDlgItemText(IDC_SAMPLE_NAME, strName);
        GetDlgItemText(IDC_SAMPLE_SHORT, strShort);
        if (strName.IsEmpty()) return E_FAIL;
        CString strSQL;
        strSQL.Format(L"UPDATE Kurs SET strBezeichnung = '%s', strKurzbezeichnung = '%s' WHERE lKursID = %d",
                      QvSQLString(strName, 0), QvSQLString(strShort, 0), GetRecordID());
        const HRESULT hr = QvDBExecute(strSQL, L"Qovaro.NQ2");
        if (FAILED(hr)) return hr;
        return CChildDlg::SaveData();
    }
    // Another user holds a course whose stored short name reads "gesperrt" on this page.
    HRESULT GetRecordState(CString* pstrText) override {
        CString strShort, strCondition;
        strCondition.Format(L"lKursID = %d", GetRecordID());
        QvDBLookupString(L"strKurzbezeichnung", L"Kurs", strCondition, &strShort, L"Qovaro.NQ2");
        if (strShort != L"gesperrt") return CChildDlg::GetRecordState(pstrText);
        *pstrText = L"|WS42|seite";
        return eRecordLockedByOther;
    }
    // The page keeps the user on a course whose short name reads "bleibt".
    HRESULT CanNavigate(long lID, long lSubID) override {
        CString strShort;
        GetDlgItemText(IDC_SAMPLE_SHORT, strShort);
        return strShort == L"bleibt" ? S_FALSE : CChildDlg::CanNavigate(lID, lSubID);
    }
    HRESULT CloseTab() override {
        const HRESULT hr = CChildDlg::CloseTab();
        return FAILED(hr) ? hr : CloseSamplePage(m_strTabName);
    }

protected:
    afx_msg void OnChangeText() {
        if (!m_bLoading) BeginEdit();
    }
    DECLARE_MESSAGE_MAP()
    BOOL m_bLoading = FALSE;
};
IMPLEMENT_DYNCREATE(CSamplePageData, CChildDlg)
BEGIN_MESSAGE_MAP(CSamplePageData, CChildDlg)
    ON_EN_CHANGE(IDC_SAMPLE_NAME, &CSamplePageData::OnChangeText)
    ON_EN_CHANGE(IDC_SAMPLE_SHORT, &CSamplePageData::OnChangeText)
END_MESSAGE_MAP()

// Ten note fields, taller than the tab area.
class CSamplePageNotes : public CChildDlg {
    DECLARE_DYNCREATE(CSamplePageNotes)
public:
    CSamplePageNotes()
        : CChildDlg(IDD_SAMPLE_NOTES, IDS_SAMPLE_TAB_NOTES, L"Notizen", nullptr, kNotesContentHeight, 0) {
        m_guidFunction = GUID_SampleNotesFunction;
    }
    HRESULT CloseTab() override {
        const HRESULT hr = CChildDlg::CloseTab();
        return FAILED(hr) ? hr : CloseSamplePage(m_strTabName);
    }

protected:
    afx_msg void OnNoteFocus(UINT) { OnCtrlSetFocus(); }
    DECLARE_MESSAGE_MAP()
};
IMPLEMENT_DYNCREATE(CSamplePageNotes, CChildDlg)
BEGIN_MESSAGE_MAP(CSamplePageNotes, CChildDlg)
    ON_CONTROL_RANGE(EN_SETFOCUS, IDC_SAMPLE_NOTE_FIRST, IDC_SAMPLE_NOTE_FIRST + 9, &CSamplePageNotes::OnNoteFocus)
END_MESSAGE_MAP()

CQvFObjectFactory g_viewFactory(CLSID_SampleView, RUNTIME_CLASS(CSampleView), FALSE, SAMPLE_VIEW_PROGID);
CQvFObjectFactory g_dataFactory(CLSID_SamplePageData, RUNTIME_CLASS(CSamplePageData), FALSE,
                                SAMPLE_PAGE_DATA_PROGID);
CQvFObjectFactory g_notesFactory(CLSID_SamplePageNotes, RUNTIME_CLASS(CSamplePageNotes), FALSE,
                                 SAMPLE_PAGE_NOTES_PROGID);

class CSampleApp : public CQvWinApp {
public:
    CSampleApp() : CQvWinApp(L"DE") { QvFSetModuleResourceHandle(SampleModule()); }
    BOOL InitInstance() override {
        COleObjectFactory::RegisterAll();
        return CQvWinApp::InitInstance();
    }
} theApp;

}  // namespace

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    QVF_MANAGE_STATE();
    QvFStartModuleApp();
    return AfxDllGetClassObject(rclsid, riid, ppv);
}

STDAPI DllCanUnloadNow() {
    QVF_MANAGE_STATE();
    if (NQFrameworkCanUnloadNow() != S_OK) return S_FALSE;
    return AfxDllCanUnloadNow();
}

STDAPI DllRegisterServer() {
    QVF_MANAGE_STATE();
    QvFStartModuleApp();
    return COleObjectFactory::UpdateRegistryAll(TRUE) ? S_OK : SELFREG_E_CLASS;
}

STDAPI DllUnregisterServer() {
    QVF_MANAGE_STATE();
    QvFStartModuleApp();
    return COleObjectFactory::UpdateRegistryAll(FALSE) ? S_OK : SELFREG_E_CLASS;
}

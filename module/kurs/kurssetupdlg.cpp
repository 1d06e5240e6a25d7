#include "kurssetupdlg.h"

#include "kursint.h"
#include "kursresource.h"
#include "nqcommon.h"
#include "optionserver.h"
#include "qvadoconnection.h"
#include "qvregvalue.h"
#include "typeddate.h"

#include <QImage>
#include <QPainter>

namespace {

constexpr long kOptionArea = -1060;
constexpr const wchar_t* kViewKey = L"Software\\Qovaro\\NQ2\\KursView";
// Security function of the course settings.
constexpr const wchar_t* kSecFunctionSetup = L"{4E96EEEA-F268-4E0C-A6C4-0AB9ED892746}";

struct TemplateRegistrar {
    TemplateRegistrar() {
        using namespace qv::ui;
        DialogTemplate dlg;
        dlg.id = IDD_KURSSETUP;
        dlg.cx = 330;
        dlg.cy = 262;
        dlg.style = WS_CHILD | DS_CONTROL | DS_SHELLFONT;
        const UINT s = static_cast<UINT>(IDC_STATIC);
        dlg.items = {
            GroupBox(L"Anmeldefenster neuer Austragungen", s, 7, 4, 316, 90),
            AutoCheckBox(L"Anmeldebeginn vorschlagen", IDC_KURSSETUP_AUTOOPEN, 14, 17, 140, 10, WS_TABSTOP),
            AutoCheckBox(L"Anmeldeschluss vorschlagen", IDC_KURSSETUP_AUTOCLOSE, 160, 17, 140, 10, WS_TABSTOP),
            LText(L"Anmeldebeginn nach dem", s, 14, 34, 90, 8),
            ComboBox(IDC_KURSSETUP_OPENMODE, 108, 32, 110, 60, CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP),
            LText(L"Tage danach:", s, 226, 34, 50, 8),
            EditText(IDC_KURSSETUP_OPENDAYS, 280, 32, 36, 12, ES_NUMBER | WS_TABSTOP),
            LText(L"Anmeldeschluss Tage vor der Austragung:", s, 14, 52, 160, 8),
            EditText(IDC_KURSSETUP_CLOSEDAYS, 280, 50, 36, 12, ES_NUMBER | WS_TABSTOP),
            LText(L"Publikationsdatum (TT.MM.JJJJ):", s, 14, 70, 160, 8),
            EditText(IDC_KURSSETUP_PUBLISHDATE, 256, 68, 60, 12, ES_AUTOHSCROLL | WS_TABSTOP),
            GroupBox(L"Belegung", s, 7, 98, 316, 64),
            LText(L"Belegung der Kantonskurse aktualisieren alle (Minuten, 0 = nie):", s, 14, 111, 240, 8),
            EditText(IDC_KURSSETUP_FILLINTERVAL, 280, 109, 36, 12, ES_NUMBER | WS_TABSTOP),
            LText(L"Warnung ab einer Belegung von (%):", s, 14, 129, 200, 8),
            EditText(IDC_KURSSETUP_FILLPERCENT, 280, 127, 36, 12, ES_NUMBER | WS_TABSTOP),
            AutoCheckBox(L"Belegung periodisch aktualisieren (dieser Benutzer)", IDC_KURSSETUP_FILLUPSTATE, 14, 145,
                         250, 10, WS_TABSTOP),
            AutoCheckBox(L"Verknüpfte Personen in den Teilnehmerlisten anzeigen", IDC_KURSSETUP_LINKED, 7, 168, 250,
                         10, WS_TABSTOP),
            LText(L"Seite der Online Kursanmeldung:", s, 7, 185, 120, 8),
            EditText(IDC_KURSSETUP_ONLINEPAGE, 130, 183, 193, 12, ES_AUTOHSCROLL | WS_TABSTOP),
            GroupBox(L"Zentrale", IDC_KURSSETUP_CENTRAL, 7, 200, 316, 58),
            AutoCheckBox(L"Voraussetzungen prüfen", IDC_KURSSETUP_CHECKPRECOND, 14, 212, 140, 10, WS_TABSTOP),
            AutoCheckBox(L"Mehrsprachige Benachrichtigungen", IDC_KURSSETUP_MULTILANG, 160, 212, 150, 10, WS_TABSTOP),
            AutoCheckBox(L"Benachrichtigung auch an den Kursleiter", IDC_KURSSETUP_MAILLEITER, 14, 226, 180, 10,
                         WS_TABSTOP),
            LText(L"Betreff:", IDC_KURSSETUP_SUBJECTLABEL, 14, 242, 40, 8),
            EditText(IDC_KURSSETUP_SUBJECT, 60, 240, 256, 12, ES_AUTOHSCROLL | WS_TABSTOP),
        };
        RegisterDialogTemplate(KursModuleHandle(), dlg);

        // The page's picture in the settings window: a calendar sheet.
        QImage image(32, 32, QImage::Format_RGB32);
        image.fill(QColor(0x7B, 0x7C, 0x7D));
        QPainter painter(&image);
        painter.fillRect(4, 6, 24, 22, QColor(255, 255, 255));
        painter.fillRect(4, 6, 24, 6, QColor(200, 40, 40));
        painter.setPen(QColor(60, 60, 60));
        for (int y = 15; y < 27; y += 4)
            for (int x = 7; x < 26; x += 5) painter.drawRect(x, y, 2, 2);
        painter.end();
        RegisterBitmap(KursModuleHandle(), IDB_KURSSETUP, image);
    }
};
TemplateRegistrar g_templateRegistrar;

// The settings are the installation's, not a user's own: read and written with lookup flag 0, which
// the option server keeps for everyone, while the flag 1 of a write keeps the value for the
// signed-in user alone, where no reader of the settings looks.
constexpr long kLookup = 0;

// The options the page writes; the central ones only in the central installation.
constexpr const wchar_t* kWritten[] = {
    L"AutoOpenAutoClose", L"AutoOpenMode",           L"AutoOpenAfterPublish",    L"AutoCloseBeforInstanz",
    L"FillLevelInterval", L"FillLevelPercentWarning", L"ShowLinkedPersonEntries", L"OnlineKursanmeldungASPX",
    L"PublishDate",
};
constexpr const wchar_t* kWrittenCentral[] = {
    L"EntCheckKursPrecondition",
    L"EntNotificationMultilanguage",
    L"EntSendEMailNotificationToLeiter",
    L"NotificationSubject",
};

long ReadLong(COptionServer& options, LPCWSTR lpszName, long lPreset) {
    long lValue = lPreset;
    const long hr = options.GetOption(kOptionArea, CString(lpszName), &lValue, kLookup, 0);
    // Not set: the value the course rules take without it.
    return hr == S_OK ? lValue : lPreset;
}

CString ReadText(COptionServer& options, LPCWSTR lpszName) {
    CString strValue;
    if (options.GetOption(kOptionArea, CString(lpszName), &strValue, kLookup, 0) != S_OK) strValue.Empty();
    return strValue;
}

long WriteText(COptionServer& options, LPCWSTR lpszName, const CString& strValue) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = strValue.AllocSysString();
    return options.SetOption(kOptionArea, CString(lpszName), v, kLookup);
}

}  // namespace

IMPLEMENT_DYNCREATE(CKursSetupDlg, CSetupDlg)

BEGIN_MESSAGE_MAP(CKursSetupDlg, CSetupDlg)
    ON_CONTROL_RANGE(BN_CLICKED, IDC_KURSSETUP_AUTOOPEN, IDC_KURSSETUP_MAILLEITER, &CKursSetupDlg::OnChangedRange)
    ON_CONTROL_RANGE(EN_CHANGE, IDC_KURSSETUP_AUTOOPEN, IDC_KURSSETUP_SUBJECT, &CKursSetupDlg::OnChangedRange)
    ON_CBN_SELCHANGE(IDC_KURSSETUP_OPENMODE, &CKursSetupDlg::OnChanged)
END_MESSAGE_MAP()

CKursSetupDlg::CKursSetupDlg() : CSetupDlg(IDD_KURSSETUP, nullptr) {
    SetSecFunctionGUID(CQvGUID(kSecFunctionSetup));
    SetSetupID(IDB_KURSSETUP);
    SetSetupName(L"SETUPVIEW-MODUL");
    SetViewObject(IDS_KURSSETUP_GROUP);
    SetViewValue(2);
    SetCaptionID(IDS_KURSSETUP_CAPTION);
    SetSetupValue(20);
}

BOOL CKursSetupDlg::OnInitDialog() {
    CKursResourceScope scope;
    m_bLoading = TRUE;
    CSetupDlg::OnInitDialog();
    CComboBox* pMode = static_cast<CComboBox*>(GetDlgItem(IDC_KURSSETUP_OPENMODE));
    pMode->AddString(L"Publikationsdatum");
    pMode->AddString(L"Anmeldeschluss");
    pMode->AddString(L"(kein Vorschlag)");
    // The central installation's own settings mean nothing to a local one.
    const int nShowCentral = NQ_IsEnterpriseEdition() ? SW_SHOW : SW_HIDE;
    for (int id : {IDC_KURSSETUP_CENTRAL, IDC_KURSSETUP_CHECKPRECOND, IDC_KURSSETUP_MULTILANG, IDC_KURSSETUP_MAILLEITER,
                   IDC_KURSSETUP_SUBJECTLABEL, IDC_KURSSETUP_SUBJECT})
        GetDlgItem(id)->ShowWindow(nShowCentral);
    m_bLoading = FALSE;
    return TRUE;
}

void CKursSetupDlg::DoDataExchange(CDataExchange* pDX) {
    CSetupDlg::DoDataExchange(pDX);
    BOOL bOpen = (m_lAutoOpenAutoClose & 1) != 0;
    BOOL bClose = (m_lAutoOpenAutoClose & 2) != 0;
    DDX_Check(pDX, IDC_KURSSETUP_AUTOOPEN, bOpen);
    DDX_Check(pDX, IDC_KURSSETUP_AUTOCLOSE, bClose);
    int nMode = m_lAutoOpenMode == 0 || m_lAutoOpenMode == 1 ? static_cast<int>(m_lAutoOpenMode) : 2;
    DDX_CBIndex(pDX, IDC_KURSSETUP_OPENMODE, nMode);
    DDX_Text(pDX, IDC_KURSSETUP_OPENDAYS, m_lAutoOpenAfterPublish);
    DDV_MinMaxLong(pDX, m_lAutoOpenAfterPublish, 0, 365);
    DDX_Text(pDX, IDC_KURSSETUP_CLOSEDAYS, m_lAutoCloseBeforInstanz);
    DDV_MinMaxLong(pDX, m_lAutoCloseBeforInstanz, 0, 365);
    DDX_Text(pDX, IDC_KURSSETUP_PUBLISHDATE, m_strPublishDate);
    DDX_Text(pDX, IDC_KURSSETUP_FILLINTERVAL, m_lFillLevelInterval);
    DDV_MinMaxLong(pDX, m_lFillLevelInterval, 0, 1440);
    DDX_Text(pDX, IDC_KURSSETUP_FILLPERCENT, m_lFillLevelPercentWarning);
    DDV_MinMaxLong(pDX, m_lFillLevelPercentWarning, 1, 100);
    DDX_Check(pDX, IDC_KURSSETUP_FILLUPSTATE, m_bFillupStateEnabled);
    DDX_Check(pDX, IDC_KURSSETUP_LINKED, m_bShowLinkedPersonEntries);
    DDX_Text(pDX, IDC_KURSSETUP_ONLINEPAGE, m_strOnlinePage);
    DDX_Check(pDX, IDC_KURSSETUP_CHECKPRECOND, m_bEntCheckKursPrecondition);
    DDX_Check(pDX, IDC_KURSSETUP_MULTILANG, m_bEntNotificationMultilanguage);
    DDX_Check(pDX, IDC_KURSSETUP_MAILLEITER, m_bEntSendEMailNotificationToLeiter);
    DDX_Text(pDX, IDC_KURSSETUP_SUBJECT, m_strNotificationSubject);
    if (pDX->m_bSaveAndValidate) {
        m_lAutoOpenAutoClose = (bOpen ? 1 : 0) | (bClose ? 2 : 0);
        // A mode other than the two known ones proposes no opening date; it is kept as it was.
        if (nMode == 0 || nMode == 1) m_lAutoOpenMode = nMode;
        else if (m_lAutoOpenMode == 0 || m_lAutoOpenMode == 1) m_lAutoOpenMode = 2;
    }
}

void CKursSetupDlg::OnChangedRange(UINT) { OnChanged(); }

void CKursSetupDlg::OnChanged() {
    if (m_bLoading || IsModified()) return;
    // The settings are the installation's: its Mandant row is locked while they are changed.
    long lMandantID = 0;
    NQ_GetMasterMandantID(lMandantID);
    if (lMandantID == 0) NQ_GetActMandantID(lMandantID);
    if (lMandantID == 0) {
        SetModified(TRUE);
        return;
    }
    Lock(lMandantID, L"Mandant", L"lMandantID");
}

HRESULT CKursSetupDlg::GetCaption(CString& strCaption) {
    strCaption = KursLoadString(IDS_KURSSETUP_CAPTION);
    return S_OK;
}

HRESULT CKursSetupDlg::GetGroupName(CString& strName) {
    strName = KursLoadString(IDS_KURSSETUP_GROUP);
    return S_OK;
}

HRESULT CKursSetupDlg::CloseView() {
    Unlock();
    return CSetupDlg::CloseView();
}

long CKursSetupDlg::ReadStoredSettings(CString& strState) {
    strState.Empty();
    COptionServer options;
    long hr = S_OK;
    // What the page writes, as the option server answers.
    const auto read = [&](LPCWSTR lpszName) {
        if (FAILED(hr)) return;
        CString strValue;
        hr = options.GetOption(kOptionArea, CString(lpszName), &strValue, kLookup, 0);
        strState += CString(lpszName) + L"=" + strValue + L"\x1F";
    };
    for (LPCWSTR lpszName : kWritten) read(lpszName);
    if (NQ_IsEnterpriseEdition())
        for (LPCWSTR lpszName : kWrittenCentral) read(lpszName);
    if (FAILED(hr)) strState.Empty();
    return hr;
}

HRESULT CKursSetupDlg::LoadSettings() {
    // Read first: a change stored between it and the reads below is taken for one made meanwhile.
    if (FAILED(ReadStoredSettings(m_strStoredSettings))) m_strStoredSettings.Empty();
    COptionServer options;
    m_lAutoOpenAutoClose = ReadLong(options, L"AutoOpenAutoClose", 0);
    m_lAutoOpenMode = ReadLong(options, L"AutoOpenMode", 0);
    m_lAutoOpenAfterPublish = ReadLong(options, L"AutoOpenAfterPublish", 28);
    m_lAutoCloseBeforInstanz = ReadLong(options, L"AutoCloseBeforInstanz", 6);
    m_lFillLevelInterval = ReadLong(options, L"FillLevelInterval", 0);
    m_lFillLevelPercentWarning = ReadLong(options, L"FillLevelPercentWarning", 90);
    m_bShowLinkedPersonEntries = ReadLong(options, L"ShowLinkedPersonEntries", 0) != 0;
    m_bEntCheckKursPrecondition = ReadLong(options, L"EntCheckKursPrecondition", 1) != 0;
    m_bEntNotificationMultilanguage = ReadLong(options, L"EntNotificationMultilanguage", 0) != 0;
    m_bEntSendEMailNotificationToLeiter = ReadLong(options, L"EntSendEMailNotificationToLeiter", 0) != 0;
    m_strOnlinePage = ReadText(options, L"OnlineKursanmeldungASPX");
    m_strNotificationSubject = ReadText(options, L"NotificationSubject");
    CQvDateTime dtPublish;
    m_strPublishDate.Empty();
    if (options.GetOption(kOptionArea, CString(L"PublishDate"), &dtPublish, kLookup, 0) == S_OK &&
        dtPublish.GetStatus() == COleDateTime::valid && static_cast<DATE>(dtPublish) != 0)
        m_strPublishDate = dtPublish.Format(L"%d.%m.%Y");
    long lFillup = 1;
    CQvRegistry::GetValue(kViewKey, L"FillupStateEnabled", lFillup);
    m_bFillupStateEnabled = lFillup == 1;
    if (GetSafeHwnd()) {
        m_bLoading = TRUE;
        UpdateData(FALSE);
        m_bLoading = FALSE;
    }
    return S_OK;
}

HRESULT CKursSetupDlg::SaveSettings() {
    CKursResourceScope scope;
    // A value out of range has been shown to the user; nothing is written and the page stays changed.
    if (GetSafeHwnd() && !UpdateData(TRUE)) return E_ABORT;
    CQvDateTime dtPublish;
    dtPublish.SetStatus(COleDateTime::null);
    CString strDate = m_strPublishDate;
    strDate.Trim();
    if (!strDate.IsEmpty() && !qv::ParseDateEntry(strDate, qv::DateEntry::date, dtPublish)) {
        // The page stays with every value typed until the date is mended, or the user gives up
        // the page's changes.
        if (AfxMessageBox(kurs::Text(IDS_KURSSETUP_BAD_DATE), MB_OKCANCEL | MB_ICONEXCLAMATION) == IDCANCEL) {
            Unlock();
            SetModified(FALSE);
            LoadSettings();
            return S_OK;
        }
        GetDlgItem(IDC_KURSSETUP_PUBLISHDATE)->SetFocus();
        return E_ABORT;
    }
    // One unit of work: the settings are checked against what the page loaded and written.
    CQvADOConnection conn;
    long hr = conn.Open(L"Qovaro.NQ2", 0);
    kurs::CKursTransaction trans(conn);
    if (SUCCEEDED(hr)) hr = trans.Begin();
    // Nothing is written over settings a writer without the lock stored since the page loaded them.
    if (SUCCEEDED(hr)) hr = CheckStoredSettings();
    if (hr == eRecordChangedMeanwhile) {
        trans.End(E_ABORT);
        return ShowChangedMeanwhile();
    }
    COptionServer options;
    const std::pair<LPCWSTR, long> numbers[] = {
        {L"AutoOpenAutoClose", m_lAutoOpenAutoClose},
        {L"AutoOpenMode", m_lAutoOpenMode},
        {L"AutoOpenAfterPublish", m_lAutoOpenAfterPublish},
        {L"AutoCloseBeforInstanz", m_lAutoCloseBeforInstanz},
        {L"FillLevelInterval", m_lFillLevelInterval},
        {L"FillLevelPercentWarning", m_lFillLevelPercentWarning},
        {L"ShowLinkedPersonEntries", m_bShowLinkedPersonEntries ? 1L : 0L},
    };
    for (const auto& [lpszName, lValue] : numbers) {
        if (SUCCEEDED(hr)) hr = options.SetOption(kOptionArea, CString(lpszName), lValue, kLookup);
    }
    if (SUCCEEDED(hr)) hr = WriteText(options, L"OnlineKursanmeldungASPX", m_strOnlinePage);
    // An empty date is stored as 0, which the readers take for none.
    if (SUCCEEDED(hr)) hr = strDate.IsEmpty() ? options.SetOption(kOptionArea, CString(L"PublishDate"), 0L, kLookup)
                                              : options.SetOption(kOptionArea, CString(L"PublishDate"), dtPublish, kLookup);
    if (SUCCEEDED(hr) && NQ_IsEnterpriseEdition()) {
        const std::pair<LPCWSTR, BOOL> flags[] = {
            {L"EntCheckKursPrecondition", m_bEntCheckKursPrecondition},
            {L"EntNotificationMultilanguage", m_bEntNotificationMultilanguage},
            {L"EntSendEMailNotificationToLeiter", m_bEntSendEMailNotificationToLeiter},
        };
        for (const auto& [lpszName, bValue] : flags) {
            if (SUCCEEDED(hr)) hr = options.SetOption(kOptionArea, CString(lpszName), bValue ? 1L : 0L, kLookup);
        }
        if (SUCCEEDED(hr)) hr = WriteText(options, L"NotificationSubject", m_strNotificationSubject);
    }
    hr = trans.End(hr);
    if (FAILED(hr)) return KURS_TRACEHR(hr);
    CQvRegistry::SetValue(kViewKey, L"FillupStateEnabled", m_bFillupStateEnabled ? 1L : 0L);
    Unlock();
    kurs::WriteUserLog(1, IDS_LOG_SETTINGS_UPDATED, CString(), L"Ausbildung.Einstellungen", 0, 0, CQvGUID(), CQvGUID());
    return S_OK;
}

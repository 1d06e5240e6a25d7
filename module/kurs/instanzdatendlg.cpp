#include "instanzdatendlg.h"

#include "budget.h"
#include "getdatumdlg.h"
#include "kursint.h"
#include "kursresource.h"
#include "nqcommon.h"
#include "nqkurscalls.h"
#include "optionserver.h"
#include "nqframeworkres.h"
#include "parentdlg.h"
#include "qvddx.h"
#include "qvfint.h"
#include "qvfserver.h"
#include "typeddate.h"

#include <cmath>
#include <cstdio>

namespace {

constexpr const wchar_t* kSource = L"module\\kurs\\instanzdatendlg";
#define ID_TRACEHR(hr) QvAddHRErrorFile(kSource, __LINE__, (hr))

// The page's own function; the budget, the run leader's text, the internal remark and the run's
// data functions.
const CQvGUID kSecPage(L"{924411CF-EA09-4E11-ABA5-F7779B9C6523}");
const CQvGUID kSecBudget(L"{26522EFD-1FAB-468E-9D15-6917C79A763B}");
const CQvGUID kSecLeitung(L"{9EDCBA0D-B489-4774-8503-1B7FAB52F28D}");
const CQvGUID kSecIntern(L"{EE795285-F835-4E1B-BBF1-10B321E5A422}");
const CQvGUID kSecDaten(L"{E97F6FE4-5DCD-4523-9ABB-E0714DFA7708}");
constexpr GUID kEventRunChanged = qv::MakeGuid("FE598CA4-2B6D-41E3-AE09-2DB75EE0C56F");
constexpr GUID kEventCourseChanged = qv::MakeGuid("285D3D5E-82F8-4A8E-80F1-4EDBCC39D1EF");
constexpr GUID kEventMandantChanged = qv::MakeGuid("D643F415-8768-44A9-8804-C701EF1FCAD9");
constexpr GUID kEventBudgetChanged = qv::MakeGuid("C8F0503A-6571-46EB-9434-132878E836CD");
constexpr DWORD kRightRead = 0x1;
constexpr DWORD kRightEdit = 0x100;
constexpr long kTableKursinstanz = 42;
constexpr long kNoKontoChosen = -99;
// The save that waited for the rows of a typed place, tried again while the window is busy.
constexpr UINT_PTR kWaitingSaveTimer = 97;
// Half a second in days: the tolerance of the date comparisons.
constexpr double kHalfSecond = 1.0 / 172800.0;

// Row parameters of the dates grid.
enum { eParamDateID = 0, eParamChanged = 1 };
// Columns of the dates grid.
enum { eColStart = 0, eColStartTime = 1, eColEnde = 2, eColEndeTime = 3 };

struct TemplateRegistrar {
    TemplateRegistrar() {
        using namespace qv::ui;
        DialogTemplate dlg;
        dlg.id = IDD_INSTANZDATEN;
        dlg.cx = 420;
        dlg.cy = 362;
        dlg.style = WS_CHILD | DS_CONTROL | DS_SHELLFONT;
        const UINT s = static_cast<UINT>(IDC_STATIC);
        const DWORD edit = ES_AUTOHSCROLL | WS_TABSTOP;
        const DWORD multi = ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN | WS_VSCROLL | WS_TABSTOP;
        const DWORD picker = DTS_SHOWNONE | WS_TABSTOP;
        const DWORD spin = UDS_ALIGNRIGHT | UDS_AUTOBUDDY | UDS_ARROWKEYS | UDS_NOTHOUSANDS;
        dlg.items = {
            LText(L"max. Teilnehmer", s, 7, 9, 70, 8),
            EditText(IDC_INSTANZDATEN_MAXTN, 80, 7, 45, 12, ES_NUMBER | edit),
            Control(L"", IDC_INSTANZDATEN_MAXTN_SPIN, L"msctls_updown32", spin, 125, 7, 10, 12),
            LText(L"min. Instruktoren", IDC_INSTANZDATEN_MININSTR_LABEL, 7, 27, 70, 8),
            EditText(IDC_INSTANZDATEN_MININSTR, 80, 25, 45, 12, ES_NUMBER | edit),
            Control(L"", IDC_INSTANZDATEN_MININSTR_SPIN, L"msctls_updown32", spin, 125, 25, 10, 12),
            AutoCheckBox(L"Geschlossen", IDC_INSTANZDATEN_GESCHLOSSEN, 7, 44, 100, 10, WS_TABSTOP),
            LText(L"Anmelden von", s, 7, 63, 70, 8),
            Control(L"", IDC_INSTANZDATEN_ANMELDENVON, DATETIMEPICK_CLASSW, picker, 80, 61, 80, 12),
            LText(L"bis", s, 7, 81, 70, 8),
            Control(L"", IDC_INSTANZDATEN_ANMELDENBIS, DATETIMEPICK_CLASSW, picker, 80, 79, 80, 12),
            LText(L"Abgesagt am", s, 7, 99, 70, 8),
            Control(L"", IDC_INSTANZDATEN_ABGESAGT, DATETIMEPICK_CLASSW, picker, 80, 97, 80, 12),
            LText(L"Veröffentlichen ab", IDC_INSTANZDATEN_PUBLISH_LABEL, 7, 117, 70, 8),
            Control(L"", IDC_INSTANZDATEN_PUBLISH, DATETIMEPICK_CLASSW, picker, 80, 115, 80, 12),
            AutoCheckBox(L"Kursdauer [Tg]", IDC_INSTANZDATEN_DAUERMANUELL, 7, 134, 70, 10, WS_TABSTOP),
            EditText(IDC_INSTANZDATEN_DAUER, 80, 133, 55, 12, edit),
            Control(L"", IDC_INSTANZDATEN_DATES, QVGRID_CLASSNAME,
                    LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_NOSORTHEADER | WS_BORDER | WS_TABSTOP, 7, 151,
                    186, 92),
            PushButton(L"", IDC_INSTANZDATEN_SHIFTDATES, 197, 151, 18, 16, WS_TABSTOP),
            PushButton(L"", IDC_INSTANZDATEN_NEWDATE, 197, 169, 18, 16, WS_TABSTOP),
            PushButton(L"", IDC_INSTANZDATEN_DELETEDATE, 197, 187, 18, 16, WS_TABSTOP),
            GroupBox(L"Budget", IDC_INSTANZDATEN_BUDGET, 7, 251, 208, 88),
            LText(L"Konto Aufwand", IDC_INSTANZDATEN_KONTOAUFWAND_LABEL, 13, 265, 62, 8),
            ComboBox(IDC_INSTANZDATEN_KONTOAUFWAND, 80, 263, 128, 80, CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP),
            LText(L"Aufwand", IDC_INSTANZDATEN_AUFWAND_LABEL, 13, 283, 62, 8),
            EditText(IDC_INSTANZDATEN_AUFWAND, 80, 281, 70, 12, ES_RIGHT | edit),
            LText(L"Konto Ertrag", IDC_INSTANZDATEN_KONTOERTRAG_LABEL, 13, 301, 62, 8),
            ComboBox(IDC_INSTANZDATEN_KONTOERTRAG, 80, 299, 128, 80, CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP),
            LText(L"Ertrag", IDC_INSTANZDATEN_ERTRAG_LABEL, 13, 319, 62, 8),
            EditText(IDC_INSTANZDATEN_ERTRAG, 80, 317, 70, 12, ES_RIGHT | edit),

            LText(L"Bezeichnung", s, 220, 9, 58, 8),
            EditText(IDC_INSTANZDATEN_BEZEICHNUNG, 272, 7, 143, 12, edit),
            LText(L"Kursort", s, 220, 27, 58, 8),
            EditText(IDC_INSTANZDATEN_KURSORT, 272, 25, 143, 12, edit),
            LText(L"Ort", s, 220, 45, 58, 8),
            Control(L"", IDC_INSTANZDATEN_ORT, L"ComboBox",
                    CBS_DROPDOWN | CBS_OWNERDRAWFIXED | CBS_HASSTRINGS | CBS_AUTOHSCROLL | WS_VSCROLL | WS_TABSTOP, 272,
                    43, 121, 120),
            PushButton(L"", IDC_INSTANZDATEN_EDITORT, 397, 42, 18, 15, WS_TABSTOP),
            LText(L"Adresse", s, 220, 63, 58, 8),
            EditText(IDC_INSTANZDATEN_ADRESSE, 272, 61, 143, 28, multi),
            LText(L"Kursleitung", s, 220, 97, 58, 8),
            EditText(IDC_INSTANZDATEN_LEITUNG, 272, 95, 143, 12, edit),
            LText(L"Treffpunkt", s, 220, 115, 58, 8),
            EditText(IDC_INSTANZDATEN_TREFFPUNKT, 272, 113, 143, 12, edit),
            LText(L"Parkplätze", s, 220, 133, 58, 8),
            EditText(IDC_INSTANZDATEN_PARKPLATZ, 272, 131, 143, 12, edit),
            LText(L"Zielpublikum", s, 220, 151, 58, 8),
            EditText(IDC_INSTANZDATEN_ZIELPUBLIKUM, 272, 149, 143, 12, edit),
            LText(L"Kursziel", s, 220, 169, 58, 8),
            EditText(IDC_INSTANZDATEN_KURSZIEL, 272, 167, 143, 28, multi),
            LText(L"Tenü", s, 220, 203, 58, 8),
            EditText(IDC_INSTANZDATEN_TENU, 272, 201, 143, 28, multi),
            LText(L"Kursmaterial", s, 220, 237, 58, 8),
            EditText(IDC_INSTANZDATEN_MATERIAL, 272, 235, 143, 28, multi),
            LText(L"Bemerkung", s, 220, 271, 58, 8),
            EditText(IDC_INSTANZDATEN_BEMERKUNG, 272, 269, 143, 32, multi),
            LText(L"interne Bemerkung", IDC_INSTANZDATEN_INTERN_LABEL, 220, 307, 58, 16),
            EditText(IDC_INSTANZDATEN_INTERN, 272, 305, 143, 32, multi),
            PushButton(L"", IDC_HELPBUTTON, 397, 343, 18, 16, BS_OWNERDRAW | WS_TABSTOP),
        };
        RegisterDialogTemplate(KursModuleHandle(), dlg);
    }
};
TemplateRegistrar g_templateRegistrar;

// The edits that keep their right edge at the page's.
constexpr UINT kStretched[] = {IDC_INSTANZDATEN_BEZEICHNUNG, IDC_INSTANZDATEN_KURSORT,     IDC_INSTANZDATEN_ADRESSE,
                               IDC_INSTANZDATEN_LEITUNG,     IDC_INSTANZDATEN_TREFFPUNKT,  IDC_INSTANZDATEN_PARKPLATZ,
                               IDC_INSTANZDATEN_ZIELPUBLIKUM, IDC_INSTANZDATEN_KURSZIEL,   IDC_INSTANZDATEN_TENU,
                               IDC_INSTANZDATEN_MATERIAL,    IDC_INSTANZDATEN_BEMERKUNG,   IDC_INSTANZDATEN_INTERN};

bool IsValid(const COleDateTime& dt) { return dt.GetStatus() == COleDateTime::valid; }

COleDateTime DayOf(const COleDateTime& dt, int nHour = 0, int nMinute = 0, int nSecond = 0) {
    COleDateTime day;
    if (!IsValid(dt)) {
        day.SetStatus(COleDateTime::null);
        return day;
    }
    day.SetDateTime(dt.GetYear(), dt.GetMonth(), dt.GetDay(), nHour, nMinute, nSecond);
    return day;
}

// Days on a linear scale: OLE dates before 1899-12-30 count their time forward from the day.
double Linear(const COleDateTime& dt) {
    const double whole = std::trunc(dt.m_dt);
    return whole + std::fabs(dt.m_dt - whole);
}

COleDateTime NullDate() {
    COleDateTime dt;
    dt.SetStatus(COleDateTime::null);
    return dt;
}

// A date row's start and end as they are saved (an end without its time is the end of its day):
// TRUE when the end comes before the start, with both as the user reads them.
bool EndsBeforeStart(const COleDateTime& date1, const COleDateTime& time1, const COleDateTime& date2,
                     const COleDateTime& time2, CString& strStart, CString& strEnd) {
    if (!IsValid(date1) || !IsValid(date2)) return false;
    const COleDateTime start = IsValid(time1) ? DayOf(date1, time1.GetHour(), time1.GetMinute()) : DayOf(date1);
    const COleDateTime end = IsValid(time2) ? DayOf(date2, time2.GetHour(), time2.GetMinute()) : DayOf(date2, 23, 59, 59);
    if (!(end < start)) return false;
    strStart = start.Format(IsValid(time1) ? L"%d.%m.%Y %H:%M" : L"%d.%m.%Y");
    strEnd = end.Format(IsValid(time2) ? L"%d.%m.%Y %H:%M" : L"%d.%m.%Y");
    return true;
}

COleDateTime Today() {
    COleDateTime now = COleDateTime::GetCurrentTime();
    return DayOf(now);
}

// The account combos: the item data of the chosen entry; saving gives -99 without a choice.
void DDX_Konto(CDataExchange* pDX, CComboBox& combo, long& lKontoID) {
    if (!combo.GetSafeHwnd()) return;
    if (pDX->m_bSaveAndValidate) {
        const int nSel = combo.GetCurSel();
        lKontoID = nSel < 0 ? kNoKontoChosen : static_cast<long>(combo.GetItemData(nSel));
        return;
    }
    int nFound = -1;
    for (int i = 0; i < combo.GetCount() && nFound < 0; ++i)
        if (static_cast<long>(combo.GetItemData(i)) == lKontoID) nFound = i;
    combo.SetCurSel(nFound);
}

// The place combo: saving without a chosen row keeps the stored place; -1 never goes over it.
void DDX_Ort(CDataExchange* pDX, COrtComboBox& combo, int nIDC, long& lOrtID) {
    if (pDX->m_bSaveAndValidate && combo.GetSafeHwnd() && combo.GetCurSel() < 0) return;
    DDX_CBParam(pDX, nIDC, lOrtID);
}

long ReadOption(COptionServer& options, LPCWSTR lpszName, long lPreset) {
    long lValue = lPreset;
    options.GetOption(-1060, lpszName, &lValue, 1, 0);
    return lValue;
}

}  // namespace

IMPLEMENT_DYNCREATE(CInstanzdatenDlg, CKursChildDlg)

BEGIN_MESSAGE_MAP(CInstanzdatenDlg, CKursChildDlg)
    ON_WM_SIZE()
    ON_WM_TIMER()
    ON_EN_CHANGE(IDC_INSTANZDATEN_BEZEICHNUNG, &CInstanzdatenDlg::OnFieldChange)
    ON_EN_CHANGE(IDC_INSTANZDATEN_BEMERKUNG, &CInstanzdatenDlg::OnFieldChange)
    ON_EN_CHANGE(IDC_INSTANZDATEN_INTERN, &CInstanzdatenDlg::OnFieldChange)
    ON_EN_CHANGE(IDC_INSTANZDATEN_ZIELPUBLIKUM, &CInstanzdatenDlg::OnFieldChange)
    ON_EN_CHANGE(IDC_INSTANZDATEN_KURSZIEL, &CInstanzdatenDlg::OnFieldChange)
    ON_EN_CHANGE(IDC_INSTANZDATEN_KURSORT, &CInstanzdatenDlg::OnFieldChange)
    ON_EN_CHANGE(IDC_INSTANZDATEN_ADRESSE, &CInstanzdatenDlg::OnFieldChange)
    ON_EN_CHANGE(IDC_INSTANZDATEN_LEITUNG, &CInstanzdatenDlg::OnFieldChange)
    ON_EN_CHANGE(IDC_INSTANZDATEN_TREFFPUNKT, &CInstanzdatenDlg::OnFieldChange)
    ON_EN_CHANGE(IDC_INSTANZDATEN_TENU, &CInstanzdatenDlg::OnFieldChange)
    ON_EN_CHANGE(IDC_INSTANZDATEN_PARKPLATZ, &CInstanzdatenDlg::OnFieldChange)
    ON_EN_CHANGE(IDC_INSTANZDATEN_MATERIAL, &CInstanzdatenDlg::OnFieldChange)
    ON_EN_CHANGE(IDC_INSTANZDATEN_MAXTN, &CInstanzdatenDlg::OnFieldChange)
    ON_EN_CHANGE(IDC_INSTANZDATEN_MININSTR, &CInstanzdatenDlg::OnFieldChange)
    ON_EN_CHANGE(IDC_INSTANZDATEN_DAUER, &CInstanzdatenDlg::OnFieldChange)
    ON_EN_CHANGE(IDC_INSTANZDATEN_AUFWAND, &CInstanzdatenDlg::OnFieldChange)
    ON_EN_CHANGE(IDC_INSTANZDATEN_ERTRAG, &CInstanzdatenDlg::OnFieldChange)
    ON_CBN_SELCHANGE(IDC_INSTANZDATEN_KONTOAUFWAND, &CInstanzdatenDlg::OnFieldChange)
    ON_CBN_SELCHANGE(IDC_INSTANZDATEN_KONTOERTRAG, &CInstanzdatenDlg::OnFieldChange)
    ON_CBN_SELCHANGE(IDC_INSTANZDATEN_ORT, &CInstanzdatenDlg::OnFieldChange)
    ON_CBN_EDITCHANGE(IDC_INSTANZDATEN_ORT, &CInstanzdatenDlg::OnFieldChange)
    ON_CONTROL(COrtComboBox::CBN_PLACESREAD, IDC_INSTANZDATEN_ORT, &CInstanzdatenDlg::OnOrtPlacesRead)
    ON_CONTROL(COrtComboBox::CBN_SAVEWAIT, IDC_INSTANZDATEN_ORT, &CInstanzdatenDlg::OnOrtSaveWait)
    ON_CONTROL(COrtComboBox::CBN_SAVEFAILED, IDC_INSTANZDATEN_ORT, &CInstanzdatenDlg::OnOrtSaveFailed)
    ON_NOTIFY(UDN_DELTAPOS, IDC_INSTANZDATEN_MAXTN_SPIN, &CInstanzdatenDlg::OnSpin)
    ON_NOTIFY(UDN_DELTAPOS, IDC_INSTANZDATEN_MININSTR_SPIN, &CInstanzdatenDlg::OnSpin)
    ON_NOTIFY(DTN_DATETIMECHANGE, IDC_INSTANZDATEN_ABGESAGT, &CInstanzdatenDlg::OnAbgesagtChange)
    ON_NOTIFY(DTN_DATETIMECHANGE, IDC_INSTANZDATEN_ANMELDENVON, &CInstanzdatenDlg::OnAnmeldenVonChange)
    ON_NOTIFY(DTN_DATETIMECHANGE, IDC_INSTANZDATEN_ANMELDENBIS, &CInstanzdatenDlg::OnAnmeldenBisChange)
    ON_NOTIFY(DTN_DATETIMECHANGE, IDC_INSTANZDATEN_PUBLISH, &CInstanzdatenDlg::OnPublishChange)
    ON_BN_CLICKED(IDC_INSTANZDATEN_EDITORT, &CInstanzdatenDlg::OnBnNewOrt)
    ON_BN_CLICKED(IDC_INSTANZDATEN_GESCHLOSSEN, &CInstanzdatenDlg::OnClosedClick)
    ON_BN_CLICKED(IDC_INSTANZDATEN_SHIFTDATES, &CInstanzdatenDlg::OnBnShiftDates)
    ON_BN_CLICKED(IDC_INSTANZDATEN_NEWDATE, &CInstanzdatenDlg::OnBnNewDate)
    ON_BN_CLICKED(IDC_INSTANZDATEN_DELETEDATE, &CInstanzdatenDlg::OnBnDeleteDate)
    ON_NOTIFY(QVGN_CELLCHANGING, IDC_INSTANZDATEN_DATES, &CInstanzdatenDlg::OnGridEndEdit)
    ON_NOTIFY(QVGN_CELLCHANGED, IDC_INSTANZDATEN_DATES, &CInstanzdatenDlg::OnGridCellChanged)
    ON_NOTIFY(QVGN_EDITCHANGE, IDC_INSTANZDATEN_DATES, &CInstanzdatenDlg::OnGridEditChange)
    ON_NOTIFY(LVN_ITEMCHANGED, IDC_INSTANZDATEN_DATES, &CInstanzdatenDlg::OnGridItemChanged)
    ON_BN_CLICKED(IDC_INSTANZDATEN_DAUERMANUELL, &CInstanzdatenDlg::OnManualDuration)
    ON_CONTROL(CBN_SETFOCUS, IDC_INSTANZDATEN_KONTOAUFWAND, &CInstanzdatenDlg::OnCtrlSetFocus)
    ON_CONTROL(CBN_SETFOCUS, IDC_INSTANZDATEN_KONTOERTRAG, &CInstanzdatenDlg::OnCtrlSetFocus)
    ON_CONTROL(CBN_SETFOCUS, IDC_INSTANZDATEN_ORT, &CInstanzdatenDlg::OnCtrlSetFocus)
    ON_CONTROL(BN_SETFOCUS, IDC_INSTANZDATEN_SHIFTDATES, &CInstanzdatenDlg::OnCtrlSetFocus)
    ON_CONTROL(BN_SETFOCUS, IDC_INSTANZDATEN_NEWDATE, &CInstanzdatenDlg::OnCtrlSetFocus)
    ON_CONTROL(BN_SETFOCUS, IDC_INSTANZDATEN_DELETEDATE, &CInstanzdatenDlg::OnCtrlSetFocus)
    ON_CONTROL(BN_SETFOCUS, IDC_INSTANZDATEN_DAUERMANUELL, &CInstanzdatenDlg::OnCtrlSetFocus)
    ON_CONTROL(BN_SETFOCUS, IDC_INSTANZDATEN_GESCHLOSSEN, &CInstanzdatenDlg::OnCtrlSetFocus)
    ON_CONTROL(BN_SETFOCUS, IDC_INSTANZDATEN_EDITORT, &CInstanzdatenDlg::OnCtrlSetFocus)
    ON_CONTROL(BN_SETFOCUS, IDC_HELPBUTTON, &CInstanzdatenDlg::OnCtrlSetFocus)
    ON_CONTROL(EN_SETFOCUS, IDC_INSTANZDATEN_DAUER, &CInstanzdatenDlg::OnCtrlSetFocus)
    ON_CONTROL(EN_SETFOCUS, IDC_INSTANZDATEN_LEITUNG, &CInstanzdatenDlg::OnCtrlSetFocus)
    ON_CONTROL(EN_SETFOCUS, IDC_INSTANZDATEN_TREFFPUNKT, &CInstanzdatenDlg::OnCtrlSetFocus)
    ON_CONTROL(EN_SETFOCUS, IDC_INSTANZDATEN_BEZEICHNUNG, &CInstanzdatenDlg::OnCtrlSetFocus)
    ON_CONTROL(EN_SETFOCUS, IDC_INSTANZDATEN_PARKPLATZ, &CInstanzdatenDlg::OnCtrlSetFocus)
    ON_CONTROL(EN_SETFOCUS, IDC_INSTANZDATEN_KURSORT, &CInstanzdatenDlg::OnCtrlSetFocus)
    ON_CONTROL(EN_SETFOCUS, IDC_INSTANZDATEN_ADRESSE, &CInstanzdatenDlg::OnCtrlSetFocus)
    ON_CONTROL(EN_SETFOCUS, IDC_INSTANZDATEN_MAXTN, &CInstanzdatenDlg::OnCtrlSetFocus)
    ON_CONTROL(EN_SETFOCUS, IDC_INSTANZDATEN_MININSTR, &CInstanzdatenDlg::OnCtrlSetFocus)
    ON_CONTROL(EN_SETFOCUS, IDC_INSTANZDATEN_ZIELPUBLIKUM, &CInstanzdatenDlg::OnCtrlSetFocus)
    ON_CONTROL(EN_SETFOCUS, IDC_INSTANZDATEN_KURSZIEL, &CInstanzdatenDlg::OnCtrlSetFocus)
    ON_CONTROL(EN_SETFOCUS, IDC_INSTANZDATEN_TENU, &CInstanzdatenDlg::OnCtrlSetFocus)
    ON_CONTROL(EN_SETFOCUS, IDC_INSTANZDATEN_MATERIAL, &CInstanzdatenDlg::OnCtrlSetFocus)
    ON_CONTROL(EN_SETFOCUS, IDC_INSTANZDATEN_BEMERKUNG, &CInstanzdatenDlg::OnCtrlSetFocus)
    ON_CONTROL(EN_SETFOCUS, IDC_INSTANZDATEN_INTERN, &CInstanzdatenDlg::OnCtrlSetFocus)
    ON_CONTROL(EN_SETFOCUS, IDC_INSTANZDATEN_AUFWAND, &CInstanzdatenDlg::OnCtrlSetFocus)
    ON_CONTROL(EN_SETFOCUS, IDC_INSTANZDATEN_ERTRAG, &CInstanzdatenDlg::OnCtrlSetFocus)
    ON_NOTIFY(NM_SETFOCUS, IDC_INSTANZDATEN_DATES, &CInstanzdatenDlg::OnNotifySetFocus)
    ON_NOTIFY(NM_SETFOCUS, IDC_INSTANZDATEN_ANMELDENVON, &CInstanzdatenDlg::OnNotifySetFocus)
    ON_NOTIFY(NM_SETFOCUS, IDC_INSTANZDATEN_ANMELDENBIS, &CInstanzdatenDlg::OnNotifySetFocus)
    ON_NOTIFY(NM_SETFOCUS, IDC_INSTANZDATEN_ABGESAGT, &CInstanzdatenDlg::OnNotifySetFocus)
    ON_NOTIFY(NM_SETFOCUS, IDC_INSTANZDATEN_PUBLISH, &CInstanzdatenDlg::OnNotifySetFocus)
END_MESSAGE_MAP()

BEGIN_QVEVENT_MAP(CInstanzdatenDlg)
    ON_QVEVENT(kEventRunChanged, OnRunChanged)
    ON_QVEVENT(kEventCourseChanged, OnCourseChanged)
    ON_QVEVENT(kEventMandantChanged, OnMandantChanged)
END_QVEVENT_MAP()

CInstanzdatenDlg::CInstanzdatenDlgFactory g_instanzdatenFactory(CLSID_InstanzdatenDlg, RUNTIME_CLASS(CInstanzdatenDlg),
                                                                FALSE, L"Qovaro.NQ2.Tab.Std.Kurs.Instanzdaten");

CInstanzdatenDlg::CInstanzdatenDlg()
    : CKursChildDlg(IDD_INSTANZDATEN, IDS_INSTANZDATEN_CAPTION, L"Instanzdaten", 0, 860, IDC_INSTANZDATEN_BEZEICHNUNG) {
    m_guidFunction = kSecPage;
    m_guidScope = CQvGUID(GUID_ScopeKursinstanz);
}

CInstanzdatenDlg::~CInstanzdatenDlg() = default;

HRESULT CInstanzdatenDlg::GetClassID(GUID* pClsid) {
    if (!pClsid) return E_POINTER;
    *pClsid = CLSID_InstanzdatenDlg;
    return S_OK;
}

void CInstanzdatenDlg::DoDataExchange(CDataExchange* pDX) {
    CKursResourceScope scope;
    CKursChildDlg::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_INSTANZDATEN_BEZEICHNUNG, m_editBezeichnung);
    DDX_Control(pDX, IDC_INSTANZDATEN_ORT, m_cbOrt);
    DDX_Control(pDX, IDC_INSTANZDATEN_DATES, m_gridDates);
    DDX_Control(pDX, IDC_INSTANZDATEN_KONTOAUFWAND, m_cbKontoAufwand);
    DDX_Control(pDX, IDC_INSTANZDATEN_KONTOERTRAG, m_cbKontoErtrag);
    DDX_Control(pDX, IDC_INSTANZDATEN_ANMELDENVON, m_dtcAnmeldenVon);
    DDX_Control(pDX, IDC_INSTANZDATEN_ANMELDENBIS, m_dtcAnmeldenBis);
    DDX_Control(pDX, IDC_INSTANZDATEN_ABGESAGT, m_dtcAbgesagt);
    DDX_Control(pDX, IDC_INSTANZDATEN_PUBLISH, m_dtcPublish);
    DDX_Text(pDX, IDC_INSTANZDATEN_BEZEICHNUNG, strBezeichnung);
    DDX_Text(pDX, IDC_INSTANZDATEN_BEMERKUNG, strBemerkung);
    DDX_Text(pDX, IDC_INSTANZDATEN_INTERN, strBemerkungIntern);
    DDX_Text(pDX, IDC_INSTANZDATEN_KURSORT, strOrt);
    DDX_Text(pDX, IDC_INSTANZDATEN_ADRESSE, strAdresse);
    DDX_Ort(pDX, m_cbOrt, IDC_INSTANZDATEN_ORT, lOrtID);
    DDX_Text(pDX, IDC_INSTANZDATEN_LEITUNG, strLeitung);
    DDX_Text(pDX, IDC_INSTANZDATEN_TREFFPUNKT, strTreffpunkt);
    DDX_Text(pDX, IDC_INSTANZDATEN_TENU, strTenu);
    DDX_Text(pDX, IDC_INSTANZDATEN_ZIELPUBLIKUM, strZielpublikum);
    DDX_Text(pDX, IDC_INSTANZDATEN_KURSZIEL, strKursziel);
    DDX_Text(pDX, IDC_INSTANZDATEN_PARKPLATZ, strParkplatz);
    DDX_Text(pDX, IDC_INSTANZDATEN_MATERIAL, strMaterial);
    DDX_Text(pDX, IDC_INSTANZDATEN_MAXTN, lMaxTeilnehmer);
    DDX_Text(pDX, IDC_INSTANZDATEN_MININSTR, lMinInstruktor);
    DDX_Check(pDX, IDC_INSTANZDATEN_GESCHLOSSEN, fGeschlossen);
    DDX_DateTimeCtrl(pDX, IDC_INSTANZDATEN_ANMELDENVON, dtAnmeldenVon);
    DDX_DateTimeCtrl(pDX, IDC_INSTANZDATEN_ANMELDENBIS, dtAnmeldenBis);
    DDX_DateTimeCtrl(pDX, IDC_INSTANZDATEN_ABGESAGT, dtAbgesagt);
    DDX_DateTimeCtrl(pDX, IDC_INSTANZDATEN_PUBLISH, dtPublish);
    DDX_Check(pDX, IDC_INSTANZDATEN_DAUERMANUELL, fDauerManuell);
    DDX_DoubleRes(pDX, IDC_INSTANZDATEN_DAUER, dblDauer, IDS_DAUER_FORMAT, 0);
    DDX_Konto(pDX, m_cbKontoAufwand, lKontoIDAufwand);
    DDX_QvCurrency(pDX, IDC_INSTANZDATEN_AUFWAND, curAufwand, dblRoundBudget);
    DDX_Konto(pDX, m_cbKontoErtrag, lKontoIDErtrag);
    DDX_QvCurrency(pDX, IDC_INSTANZDATEN_ERTRAG, curErtrag, dblRoundBudget);
}

BOOL CInstanzdatenDlg::OnInitDialog() {
    CKursResourceScope scope;
    m_bLoading = TRUE;
    CKursChildDlg::OnInitDialog();
    ResetFields();

    // The pictures of the common button set: edit, new, delete.
    m_btnShiftDates.AttachButton(IDC_INSTANZDATEN_SHIFTDATES, this, QVBB_IMAGE_ONLY, 2);
    m_btnNewDate.AttachButton(IDC_INSTANZDATEN_NEWDATE, this, QVBB_IMAGE_ONLY, 9);
    m_btnDeleteDate.AttachButton(IDC_INSTANZDATEN_DELETEDATE, this, QVBB_IMAGE_ONLY, 10);
    m_btnEditOrt.AttachButton(IDC_INSTANZDATEN_EDITORT, this, QVBB_IMAGE_ONLY, 2);
    for (CQvBitmapButton* pButton : {&m_btnShiftDates, &m_btnNewDate, &m_btnDeleteDate, &m_btnEditOrt})
        pButton->SetFlatButton(TRUE);

    m_btnHelp.AttachButton(IDC_HELPBUTTON, this);
    m_btnHelp.SetHelpTopic(L"HELP_KURS_TAB_INSTANZDATEN");
    AddToolTipText(IDC_HELPBUTTON, m_btnHelp.GetToolTipText());
    AddToolTipText(IDC_INSTANZDATEN_SHIFTDATES, IDS_INSTANZDATEN_TIP_SHIFT);
    AddToolTipText(IDC_INSTANZDATEN_NEWDATE, IDS_INSTANZDATEN_TIP_NEWDATE);
    AddToolTipText(IDC_INSTANZDATEN_DELETEDATE, IDS_TEILNEHMER_TIP_REMOVE);
    AddToolTipText(IDC_INSTANZDATEN_EDITORT, IDS_INSTANZDATEN_TIP_EDITORT);

    for (UINT nID : {IDC_INSTANZDATEN_MAXTN_SPIN, IDC_INSTANZDATEN_MININSTR_SPIN})
        if (auto* pSpin = static_cast<CSpinButtonCtrl*>(GetDlgItem(static_cast<int>(nID)))) pSpin->SetRange(0, 32767);

    m_editBezeichnung.SetPromptText(IDS_INSTANZDATEN_BEZ_PROMPT, 0xC0);
    m_cbOrt.BuildFilter(NQ_IsEnterpriseEdition());

    static const std::pair<UINT, int> limits[] = {
        {IDC_INSTANZDATEN_BEZEICHNUNG, 254}, {IDC_INSTANZDATEN_KURSORT, 254},   {IDC_INSTANZDATEN_ADRESSE, 1024},
        {IDC_INSTANZDATEN_LEITUNG, 254},     {IDC_INSTANZDATEN_TREFFPUNKT, 254}, {IDC_INSTANZDATEN_TENU, 1024},
        {IDC_INSTANZDATEN_ZIELPUBLIKUM, 254}, {IDC_INSTANZDATEN_KURSZIEL, 1024}, {IDC_INSTANZDATEN_PARKPLATZ, 254},
        {IDC_INSTANZDATEN_MATERIAL, 1024}};
    for (const auto& [nID, nLimit] : limits)
        if (auto* pEdit = static_cast<CEdit*>(GetDlgItem(static_cast<int>(nID)))) pEdit->LimitText(nLimit);

    m_gridDates.QvSetRegistryKey(L"Software\\Qovaro\\NQ2\\KursView\\InstanzdatenDate");
    static const int types[] = {4, 4, 4, 4};
    static const int widths[] = {90, 55, 90, 55};
    m_gridDates.QvInsertColumn(4, IDS_INSTANZDATEN_COL_ANFANG, types, widths);
    m_gridDates.QvSetSingleSelection();

    if (!NQ_IsEnterpriseEdition()) {
        // A local installation keeps no internal remark: the remark takes its place.
        CWnd* pRemark = GetDlgItem(IDC_INSTANZDATEN_BEMERKUNG);
        CWnd* pIntern = GetDlgItem(IDC_INSTANZDATEN_INTERN);
        if (pRemark && pIntern) {
            CRect rcRemark, rcIntern;
            pRemark->GetWindowRect(&rcRemark);
            pIntern->GetWindowRect(&rcIntern);
            ScreenToClient(&rcRemark);
            ScreenToClient(&rcIntern);
            rcRemark.bottom = rcIntern.bottom;
            pRemark->MoveWindow(rcRemark);
        }
        if (CWnd* pLabel = GetDlgItem(IDC_INSTANZDATEN_INTERN_LABEL)) pLabel->ShowWindow(SW_HIDE);
    }

    // The pickers offer today's date while they are switched off.
    UpdateData(FALSE);
    const HRESULT hr = m_eventSink.Create(this, GetQvEventMap());
    if (FAILED(hr)) ID_TRACEHR(hr);
    m_bLoading = FALSE;
    return TRUE;
}

void CInstanzdatenDlg::OnSize(UINT nType, int cx, int cy) {
    CKursChildDlg::OnSize(nType, cx, cy);
    if (!GetSafeHwnd() || !m_btnHelp.GetSafeHwnd()) return;
    CRect rcClient;
    GetClientRect(&rcClient);
    CRect rc;
    m_btnHelp.GetWindowRect(&rc);
    ScreenToClient(&rc);
    m_btnHelp.MoveWindow(rcClient.Width() - 5 - rc.Width(), rc.top, rc.Width(), rc.Height());
    for (UINT nID : kStretched) {
        CWnd* pWnd = GetDlgItem(static_cast<int>(nID));
        if (!pWnd) continue;
        pWnd->GetWindowRect(&rc);
        ScreenToClient(&rc);
        if (rcClient.Width() - 5 > rc.left) pWnd->MoveWindow(rc.left, rc.top, rcClient.Width() - 5 - rc.left, rc.Height());
    }
}

HRESULT CInstanzdatenDlg::CloseTab() {
    const HRESULT hr = m_eventSink.Unadvise();
    if (FAILED(hr)) ID_TRACEHR(hr);
    return CKursChildDlg::CloseTab();
}

void CInstanzdatenDlg::OnFieldChange() {
    // Filling the fields is no change of the user's.
    if (m_bLoading) return;
    BeginEdit();
}

void CInstanzdatenDlg::OnClosedClick() {
    if (m_bLoading) return;
    BeginEdit();
    m_bClosedChosen = IsDlgButtonChecked(IDC_INSTANZDATEN_GESCHLOSSEN) == BST_CHECKED;
}

void CInstanzdatenDlg::OnSpin(NMHDR* pNMHDR, LRESULT* pResult) {
    const auto* pUpDown = reinterpret_cast<NMUPDOWN*>(pNMHDR);
    // The up-down does not move by itself: the page keeps the number within 0 to 32767.
    *pResult = 1;
    const UINT nEditID = pNMHDR->idFrom == IDC_INSTANZDATEN_MAXTN_SPIN ? IDC_INSTANZDATEN_MAXTN : IDC_INSTANZDATEN_MININSTR;
    CWnd* pEdit = GetDlgItem(static_cast<int>(nEditID));
    if (!pEdit) return;
    CString strText;
    pEdit->GetWindowText(strText);
    const long lNew = std::wcstol(strText, nullptr, 10) + pUpDown->iDelta;
    if (static_cast<unsigned long>(lNew) <= 32767) {
        CString strNew;
        strNew.Format(L"%d", lNew);
        pEdit->SetWindowText(strNew);
    }
    BeginEdit();
}

void CInstanzdatenDlg::OnManualDuration() {
    if (m_bLoading) return;
    BeginEdit();
    UpdateData(TRUE);
    if (!fDauerManuell) {
        UpdateData(TRUE);
        dblDauer = CalcKursdauer();
        UpdateData(FALSE);
    }
    LoadData();
}

void CInstanzdatenDlg::OnBnNewOrt() {
    CKursResourceScope scope;
    long lNewOrtID = lOrtID;
    NQ_ShowEditOrtDlg(lNewOrtID);
    if (lNewOrtID == lOrtID || lNewOrtID == -1) return;
    m_cbOrt.SetFocus();
    if (BeginEdit() != eRecordEditing) return;
    // The place chosen in the editor replaces what was typed: the save before it keeps the stored
    // place and waits for no search.
    if (m_cbOrt.HasTypedText()) m_cbOrt.ShowPlace(lOrtID);
    HRESULT hr = RequestSave();
    lOrtID = lNewOrtID;
    if (SUCCEEDED(hr)) hr = m_cbOrt.SetOrtID(lOrtID);
    UpdateData(FALSE);
    BeginEdit();
    if (FAILED(hr)) QvReportMsg(hr, CrackHR(hr), L"CInstanzdatenDlg::OnBnNewOrt", L"Default", __FILE__, __LINE__, 0);
}

void CInstanzdatenDlg::OnOrtPlacesRead() {
    // The save that waited for the rows of the typed place goes on, as Speichern gives it; not
    // while the user is asked whether to save at all: his answer saves or drops the change.
    if (!IsSavePending() || !m_pParentDlg || m_pParentDlg->IsAskingToSave()) return;
    // Not inside a box of a load or a save: it goes on when that has ended.
    if (m_pParentDlg->IsPageBusy()) {
        SetTimer(kWaitingSaveTimer, 200, nullptr);
        return;
    }
    m_pParentDlg->SendMessage(WM_COMMAND, MAKEWPARAM(IDC_KURSDLG_SAVE, BN_CLICKED),
                              reinterpret_cast<LPARAM>(::GetDlgItem(m_pParentDlg->GetSafeHwnd(), IDC_KURSDLG_SAVE)));
}

void CInstanzdatenDlg::OnTimer(UINT_PTR nIDEvent) {
    if (nIDEvent != kWaitingSaveTimer) {
        CKursChildDlg::OnTimer(nIDEvent);
        return;
    }
    KillTimer(kWaitingSaveTimer);
    OnOrtPlacesRead();
}

void CInstanzdatenDlg::OnOrtSaveWait() {
    // The frame's status line says why the save has not happened yet, and that it will.
    IQvFFrame* pFrame = nullptr;
    if (FAILED(QvFQueryFrame(IID_IQvFFrame, reinterpret_cast<void**>(&pFrame))) || !pFrame) return;
    CKursResourceScope scope;
    const CString strText = m_cbOrt.IsSaveWaiting() ? KursLoadString(IDS_INSTANZDATEN_ORT_WAITING) : CString(L"Bereit");
    BSTR bstrText = strText.AllocSysString();
    pFrame->SetStatusText(bstrText);
    SysFreeString(bstrText);
    pFrame->Release();
}

void CInstanzdatenDlg::OnOrtSaveFailed() {
    if (m_pParentDlg && m_pParentDlg->TakeQuitWhenSaved()) m_cbOrt.SetFailureHeadline(NQLoadString(IDS_NQ_QUIT_NOT_SAVED));
}

void CInstanzdatenDlg::OnRunChanged(COleVariant value) {
    // The shown page of a window that is up has reloaded after its own save.
    if (m_bActive && IsParentReady()) return;
    long lID = 0, lSubID = 0;
    if (m_pParentControl) m_pParentControl->GetRecordIDs(&lID, &lSubID);
    if (VariantLong(value) == lSubID && lSubID != 0) MarkModifiedAndReload();
}

void CInstanzdatenDlg::OnCourseChanged(COleVariant value) {
    if (m_bActive && IsParentReady()) return;
    long lID = 0, lSubID = 0;
    if (m_pParentControl) m_pParentControl->GetRecordIDs(&lID, &lSubID);
    if (VariantLong(value) == lID && lID != 0) MarkModifiedAndReload();
}

void CInstanzdatenDlg::OnMandantChanged(COleVariant) { MarkModifiedAndReload(); }

// ---- load and save of the run

void CInstanzdatenDlg::ResetFields() {
    ClearFields();
    COptionServer options;
    dtPublish.SetNull();
    options.GetOption(-1060, L"PublishDate", &dtPublish, 1, 0);
    dblRoundBudget = options.GetRoundBudget();
}

void CInstanzdatenDlg::ClearFields() {
    lMaxTeilnehmer = 0;
    lMinInstruktor = 0;
    dblDauer = 0.0;
    fDauerManuell = FALSE;
    fGeschlossen = FALSE;
    m_bClosedChosen = FALSE;
    for (CString* pText : {&strBezeichnung, &strBemerkung, &strBemerkungIntern, &strOrt, &strAdresse, &strLeitung,
                           &strTreffpunkt, &strTenu, &strParkplatz, &strMaterial, &strZielpublikum, &strKursziel})
        pText->Empty();
    const COleDateTime now = COleDateTime::GetCurrentTime();
    dtAnmeldenVon = now;
    dtAnmeldenBis = now;
    dtAbgesagt = now;
    dtPublish.SetNull();
    lKontoIDAufwand = lKontoIDErtrag = -1;
    lMandantID = 0;
    curAufwand = CQvCurrency();
    curErtrag = CQvCurrency();
    // Pending removals belong to the dates shown before.
    arrDeletedDateIDs.clear();
    if (m_gridDates.GetSafeHwnd()) {
        m_gridDates.SetRedraw(FALSE, L"default");
        m_gridDates.DeleteAllItems();
        m_gridDates.SetRedraw(TRUE, L"default");
    }
}

HRESULT CInstanzdatenDlg::Refresh() {
    CKursResourceScope scope;
    m_bLoading = TRUE;
    HRESULT hr = LoadRun();
    // A run that could not be read leaves the page stale: no edit may begin on amounts it never
    // read, or a save would overwrite the stored ones.
    if (SUCCEEDED(hr)) {
        hr = CKursChildDlg::Refresh();
        if (FAILED(hr)) ID_TRACEHR(hr);
    } else {
        ID_TRACEHR(hr);
        m_bModified = TRUE;
    }
    m_bLoading = FALSE;
    return hr;
}

void CInstanzdatenDlg::ShowNoRun() {
    // Neither the place nor the dates of the run shown before, and no date set.
    lOrtID = -1;
    dtAnmeldenVon.SetNull();
    dtAnmeldenBis.SetNull();
    dtAbgesagt.SetNull();
}

HRESULT CInstanzdatenDlg::LoadRun() {
    lKursID = 0;
    lKursinstanzID = 0;
    ResetFields();
    const long lReports = kurs::ReportCount();
    HRESULT hr = LoadKursContext();
    if (FAILED(hr)) {
        // LoadKursContext has reported it.
        ShowNoRun();
        if (GetSafeHwnd()) UpdateData(FALSE);
        return ID_TRACEHR(hr);
    }
    const long lRunID = GetSubRecordID();
    if (lRunID == 0 || !(static_cast<DWORD>(rightKursinstanz) & kRightRead)) {
        ShowNoRun();
        return hr;
    }

    CQvADOConnection conn;
    CQvADORecordset rs(&conn);
    hr = kurs::OpenConnection(conn);
    CString strSQL;
    strSQL.Format(L"SELECT strBezeichnung, strBemerkung, strOrt, strAdresse, lOrtID, strLeitung, strTreffpunkt, strTenu, "
                  L"strZielpublikum, strKursziel, strParkplatz, strMaterial, lMaxTeilnehmer, lMinInstruktor, "
                  L"fGeschlossen, dtAnmeldenVon, dtAnmeldenBis, dblDauer, dtAbgesagt, dtPublish, "
                  L"isnull(strBemerkungIntern, '') AS strBemerkungIntern FROM Kursinstanz LEFT OUTER JOIN Kursbemerkung "
                  L"ON Kursinstanz.lKursinstanzID = Kursbemerkung.lKursinstanzID WHERE Kursinstanz.lKursinstanzID = %d",
                  lRunID);
    BOOL bEOF = TRUE;
    if (SUCCEEDED(hr)) hr = kurs::OpenRows(rs, strSQL, bEOF);
    if (SUCCEEDED(hr) && !bEOF) {
        hr = rs.GetFieldValue(L"strBezeichnung", &strBezeichnung);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strBemerkung", &strBemerkung);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strBemerkungIntern", &strBemerkungIntern);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strOrt", &strOrt);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strAdresse", &strAdresse);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"lOrtID", &lOrtID);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strLeitung", &strLeitung);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strTreffpunkt", &strTreffpunkt);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strTenu", &strTenu);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strZielpublikum", &strZielpublikum);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strKursziel", &strKursziel);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strParkplatz", &strParkplatz);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"strMaterial", &strMaterial);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"lMaxTeilnehmer", &lMaxTeilnehmer);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"lMinInstruktor", &lMinInstruktor);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"fGeschlossen", &fGeschlossen);
        m_bClosedChosen = fGeschlossen;
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"dblDauer", &dblDauer);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"dtAnmeldenVon", &dtAnmeldenVon);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"dtAnmeldenBis", &dtAnmeldenBis);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"dtAbgesagt", &dtAbgesagt);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"dtPublish", &dtPublish);
        if (FAILED(hr)) ID_TRACEHR(hr);
        // A place that cannot be read leaves the run unread: saved, it would lose its place.
        if (SUCCEEDED(hr) && m_cbOrt.GetSafeHwnd()) hr = m_cbOrt.SetOrtID(lOrtID);
    }
    rs.Close();
    if (SUCCEEDED(hr)) hr = LoadDates();
    if (SUCCEEDED(hr)) hr = LoadBudget();
    if (FAILED(hr)) {
        // What was read of the run is not shown as the run.
        ClearFields();
        ShowNoRun();
    }
    if (GetSafeHwnd()) UpdateData(FALSE);
    // Told once: the place box and the dates report their own failures.
    if (FAILED(hr) && kurs::ReportCount() == lReports) KURS_REPORTDBERROR(conn, hr);
    return hr;
}

void CInstanzdatenDlg::GetStoredStateStatements(std::vector<std::pair<CString, long>>& statements) {
    // The run and its days as the page shows and saves them, without the run's lock and the time
    // of its last change.
    if (GetSubRecordID() == 0) return;
    CString strSQL;
    strSQL.Format(L"SELECT dtDatum, strBezeichnung, strBemerkung, strOrt, strAdresse, lOrtID, strTreffpunkt, "
                  L"strLeitung, dblDauer, strTenu, strParkplatz, strMaterial, strZielpublikum, strKursziel, "
                  L"lMaxTeilnehmer, lMinInstruktor, fGeschlossen, dtAnmeldenVon, dtAnmeldenBis, dtAbgesagt, dtPublish "
                  L"FROM Kursinstanz WHERE lKursinstanzID = %d",
                  GetSubRecordID());
    statements.emplace_back(strSQL, 21);
    strSQL.Format(L"SELECT lKursinstanzdateID, dtStart, dtEnde FROM Kursinstanzdate WHERE lKursinstanzID = %d "
                  L"ORDER BY lKursinstanzdateID",
                  GetSubRecordID());
    statements.emplace_back(strSQL, 3);
}

HRESULT CInstanzdatenDlg::LoadData() {
    CKursResourceScope scope;
    const BOOL bCentral = NQ_IsEnterpriseEdition();
    const BOOL bKind = lTyp == eAuthorityTypLokal || bCentral;

    // The budget, within what the run's rights row allows.
    const HRESULT hrBudget = LoadRightsGeneral(kSecBudget);
    m_Sec &= static_cast<DWORD>(rightKursinstanz == 0 ? 1 : rightKursinstanz);
    SecureDlgItem(IDC_INSTANZDATEN_KONTOAUFWAND, TRUE, lKontoIDAufwand != kNoKontoChosen && lMandantID != 0, kRightEdit);
    SecureDlgItem(IDC_INSTANZDATEN_AUFWAND, TRUE, lKontoIDAufwand != kNoKontoChosen && lMandantID != 0, kRightEdit);
    SecureDlgItem(IDC_INSTANZDATEN_KONTOERTRAG, TRUE, lKontoIDErtrag != kNoKontoChosen && lMandantID != 0, kRightEdit);
    SecureDlgItem(IDC_INSTANZDATEN_ERTRAG, TRUE, lKontoIDErtrag != kNoKontoChosen && lMandantID != 0, kRightEdit);
    for (UINT nID : {IDC_INSTANZDATEN_BUDGET, IDC_INSTANZDATEN_KONTOAUFWAND_LABEL, IDC_INSTANZDATEN_KONTOERTRAG_LABEL,
                     IDC_INSTANZDATEN_ERTRAG_LABEL, IDC_INSTANZDATEN_AUFWAND_LABEL})
        SecureDlgItem(nID, TRUE, TRUE, kRightEdit);

    if (bCentral) {
        LoadRightsForMandant(kSecLeitung, CQvGUID(GUID_ScopeKursinstanz), CString());
        SecureDlgItem(IDC_INSTANZDATEN_LEITUNG, TRUE, TRUE, kRightEdit);
    }

    HRESULT hrLast = hrBudget;
    if (SUCCEEDED(hrBudget)) hrLast = LoadRightsGeneral(kSecIntern);
    SecureDlgItem(IDC_INSTANZDATEN_INTERN, TRUE, TRUE, kRightEdit);
    // In a local installation the remark covers the internal remark's place.
    if (!bCentral) GetDlgItem(IDC_INSTANZDATEN_INTERN)->ShowWindow(SW_HIDE);

    LoadRightsForMandant(kSecDaten, CQvGUID(GUID_ScopeKursinstanz), CString());
    for (UINT nID : {IDC_INSTANZDATEN_BEZEICHNUNG, IDC_INSTANZDATEN_KURSORT, IDC_INSTANZDATEN_ADRESSE,
                     IDC_INSTANZDATEN_ORT, IDC_INSTANZDATEN_EDITORT, IDC_INSTANZDATEN_MAXTN,
                     IDC_INSTANZDATEN_DAUERMANUELL, IDC_INSTANZDATEN_MAXTN_SPIN, IDC_INSTANZDATEN_ANMELDENVON,
                     IDC_INSTANZDATEN_ANMELDENBIS, IDC_INSTANZDATEN_ABGESAGT, IDC_INSTANZDATEN_DATES,
                     IDC_INSTANZDATEN_SHIFTDATES, IDC_INSTANZDATEN_NEWDATE})
        SecureDlgItem(nID, TRUE, bKind, kRightEdit);
    SecureDlgItem(IDC_INSTANZDATEN_DAUER, TRUE, bKind && fDauerManuell, kRightEdit);
    SecureDlgItem(IDC_INSTANZDATEN_DELETEDATE, TRUE, bKind && IsDateRowSelected(), kRightEdit);
    for (UINT nID : {IDC_INSTANZDATEN_MININSTR_LABEL, IDC_INSTANZDATEN_MININSTR, IDC_INSTANZDATEN_MININSTR_SPIN})
        SecureDlgItem(nID, bCentral, TRUE, kRightEdit);
    for (UINT nID : {IDC_INSTANZDATEN_PUBLISH_LABEL, IDC_INSTANZDATEN_PUBLISH})
        SecureDlgItem(nID, bCentral && lTyp != eAuthorityTypLokal, TRUE, kRightEdit);
    // A run whose registration has opened or closed, or that was cancelled, is opened and closed
    // by its registration window: the box shows what that makes of it.
    SecureDlgItem(IDC_INSTANZDATEN_GESCHLOSSEN, TRUE, bKind && !IsRegistrationStarted() && !IsValid(dtAbgesagt),
                  kRightEdit);

    HRESULT hrPage = S_OK;
    if (SUCCEEDED(hrLast)) hrPage = CKursChildDlg::LoadData();
    for (UINT nID : {IDC_INSTANZDATEN_BEMERKUNG, IDC_INSTANZDATEN_TREFFPUNKT, IDC_INSTANZDATEN_TENU,
                     IDC_INSTANZDATEN_MATERIAL, IDC_INSTANZDATEN_PARKPLATZ, IDC_INSTANZDATEN_ZIELPUBLIKUM,
                     IDC_INSTANZDATEN_KURSZIEL})
        SecureDlgItem(nID, TRUE, bKind, kRightEdit);
    if (!bCentral) SecureDlgItem(IDC_INSTANZDATEN_LEITUNG, TRUE, bKind, kRightEdit);

    if (FAILED(hrBudget)) return hrBudget;
    if (FAILED(hrLast)) return hrLast;
    return hrPage;
}

HRESULT CInstanzdatenDlg::SaveData() {
    CKursResourceScope scope;
    // A date typed into the table that it refuses stops the save before anything is written.
    if (m_gridDates.GetSafeHwnd() && !m_gridDates.CommitEdit()) return E_ABORT;
    if (!EndDateTyping()) return E_ABORT;
    if (!IsSavePending()) return CKursChildDlg::SaveData();
    // A place typed but not picked from the list is the place its text names, among the rows the
    // box's worker reads. While they are still coming, nothing is written and nothing said: the
    // save goes on when they are in (OnOrtPlacesRead), and the window answers meanwhile, with the
    // wait cursor and a word in the status line (OnOrtSaveWait). A text
    // that names none leaves the stored place, and the user is told.
    if (m_cbOrt.GetSafeHwnd() && m_cbOrt.HasTypedText()) {
        const COrtComboBox::EPick pick = m_cbOrt.PickTypedPlace(TRUE);
        // Asked before the window closes or moves on, the user learns why it stays.
        if (pick == COrtComboBox::EPick::Pending && m_pParentDlg && m_pParentDlg->IsSavingAsAnswered())
            AfxMessageBox(KursLoadString(IDS_INSTANZDATEN_ORT_PENDING), MB_OK | MB_ICONINFORMATION);
        if (pick == COrtComboBox::EPick::Pending) {
            // A close that asked for this save ends once it is made.
            if (m_pParentDlg) m_pParentDlg->QuitWhenSaved();
            return E_ABORT;
        }
        if (pick == COrtComboBox::EPick::NamesNone) {
            CString strTyped;
            m_cbOrt.GetWindowText(strTyped);
            strTyped.Trim();
            CString strText;
            strText.Format(KursLoadString(IDS_INSTANZDATEN_ORT_UNKNOWN), strTyped);
            AfxMessageBox(strText, MB_OK | MB_ICONEXCLAMATION);
            // The field shows the place that stays, as it was read.
            if (m_cbOrt.ShowPlace(lOrtID)) m_cbOrt.SetCurSel(0);
            else m_cbOrt.SetWindowText(L"");
        }
    }
    if (!UpdateData(TRUE)) return E_ABORT;
    // A registration window that closes before it opens could never be used.
    if (IsValid(dtAnmeldenVon) && IsValid(dtAnmeldenBis) && DayOf(dtAnmeldenBis) < DayOf(dtAnmeldenVon)) {
        CString strText;
        strText.Format(KursLoadString(IDS_INSTANZDATEN_ANMELDEN_ORDER), dtAnmeldenBis.Format(L"%d.%m.%Y"),
                       dtAnmeldenVon.Format(L"%d.%m.%Y"));
        AfxMessageBox(strText, MB_OK | MB_ICONEXCLAMATION);
        if (CWnd* pBis = GetDlgItem(IDC_INSTANZDATEN_ANMELDENBIS)) pBis->SetFocus();
        return E_ABORT;
    }
    // Nor may a date end before it starts (a row stored so, or one changed by the program).
    for (int i = 0; i < m_gridDates.GetItemCount(); ++i) {
        CQvGridItem* pItem = m_gridDates.QvGetGridItem(i);
        CString strStart, strEnd;
        if (!pItem || !EndsBeforeStart(pItem->GetColumnDate(eColStart), pItem->GetColumnDate(eColStartTime),
                                       pItem->GetColumnDate(eColEnde), pItem->GetColumnDate(eColEndeTime), strStart, strEnd))
            continue;
        CString strText;
        strText.Format(KursLoadString(IDS_INSTANZDATEN_DATE_ORDER_SAVE), strEnd, strStart);
        AfxMessageBox(strText, MB_OK | MB_ICONEXCLAMATION);
        return E_ABORT;
    }
    const HRESULT hr = SaveRun();
    if (FAILED(hr) || hr == eRecordDeleted || hr == eRecordChangedMeanwhile) return hr;
    if (NQ_IsBudgetRunning()) {
        // The amounts are stored rounded: the page shows them as they are stored.
        m_bLoading = TRUE;
        CDataExchange dx(this, FALSE);
        DDX_QvCurrency(&dx, IDC_INSTANZDATEN_AUFWAND, curAufwand, dblRoundBudget);
        DDX_QvCurrency(&dx, IDC_INSTANZDATEN_ERTRAG, curErtrag, dblRoundBudget);
        m_bLoading = FALSE;
    }
    return CKursChildDlg::SaveData();
}

BOOL CInstanzdatenDlg::EndDateTyping() {
    // So does a date typed into a field that it refuses; the field keeps the focus to be mended.
    for (CDateTimeCtrl* pPicker : {&m_dtcAnmeldenVon, &m_dtcAnmeldenBis, &m_dtcAbgesagt, &m_dtcPublish}) {
        if (!pPicker->GetSafeHwnd() || pPicker->EndTyping()) continue;
        pPicker->SetFocus();
        return FALSE;
    }
    return TRUE;
}

HRESULT CInstanzdatenDlg::SaveRun() {
    if (lKursinstanzID == 0) return S_OK;
    if (IsValid(dtAnmeldenVon)) dtAnmeldenVon = DayOf(dtAnmeldenVon);
    if (IsValid(dtAnmeldenBis)) dtAnmeldenBis = DayOf(dtAnmeldenBis, 23, 59, 59);
    if (IsValid(dtAbgesagt)) {
        dtAbgesagt = DayOf(dtAbgesagt);
        // A cancelled run is closed.
        if (IsValid(dtAbgesagt)) fGeschlossen = TRUE;
    }
    ApplyRegistrationWindow();

    CString strSQL;
    strSQL.Format(L"UPDATE Kursinstanz SET strBezeichnung = '%s', strBemerkung = '%s', strOrt = '%s', strAdresse = '%s', "
                  L"strLeitung = '%s', strTreffpunkt = '%s', strTenu = '%s', strZielpublikum = '%s', strKursZiel = '%s', "
                  L"strParkplatz = '%s', strMaterial = '%s', lOrtID = %d, lMaxTeilnehmer = %d, lMinInstruktor = %d, "
                  L"fGeschlossen = %d, dtAnmeldenVon = %s, dtAnmeldenBis = %s, dblDauer = %s, dtAbgesagt = %s, "
                  L"dtPublish = %s, dtDatum = (SELECT isnull(min(dtStart),getdate()) FROM Kursinstanzdate WHERE "
                  L"lKursinstanzID = %d) WHERE lKursinstanzID = %d",
                  QvSQLString(strBezeichnung, 254), QvSQLString(strBemerkung, 0), QvSQLString(strOrt, 254),
                  QvSQLString(strAdresse, 1024), QvSQLString(strLeitung, 254), QvSQLString(strTreffpunkt, 254),
                  QvSQLString(strTenu, 1024), QvSQLString(strZielpublikum, 254), QvSQLString(strKursziel, 1024),
                  QvSQLString(strParkplatz, 254), QvSQLString(strMaterial, 1024), lOrtID, lMaxTeilnehmer,
                  lMinInstruktor, fGeschlossen ? 1 : 0, dtAnmeldenVon.SQLConvert(), dtAnmeldenBis.SQLConvert(),
                  DoubleToSqlText(dblDauer), dtAbgesagt.SQLConvert(), dtPublish.SQLConvert(), lKursinstanzID,
                  lKursinstanzID);
    CString strRemark;
    if (NQ_IsEnterpriseEdition()) {
        if (strBemerkungIntern.IsEmpty())
            strRemark.Format(L"DELETE Kursbemerkung WHERE lKursinstanzID = %d", lKursinstanzID);
        else
            strRemark.Format(L"if not exists (SELECT 1 FROM Kursbemerkung WHERE lKursinstanzID = %d) begin DECLARE "
                             L"@lKursbemerkungID int EXEC sp_GetUniqueID 'Kursbemerkung', 'lKursbemerkungID', "
                             L"@lKursbemerkungID OUTPUT INSERT INTO Kursbemerkung(lKursbemerkungID, lKursinstanzID, "
                             L"strBemerkungIntern) VALUES(@lKursbemerkungID, %d, '%s') end else begin UPDATE Kursbemerkung "
                             L"SET strBemerkungIntern = '%s' WHERE lKursinstanzID = %d end",
                             lKursinstanzID, lKursinstanzID, QvSQLString(strBemerkungIntern, 0),
                             QvSQLString(strBemerkungIntern, 0), lKursinstanzID);
    }

    // What the dates grid holds before the save: a save that is rolled back leaves every change
    // pending, so that the next save stores what the user sees.
    struct RowMarks {
        long lID = 0;
        long lChanged = 1;
    };
    std::vector<RowMarks> marks;
    for (int i = 0; i < m_gridDates.GetInsertedItemCount(); ++i) {
        RowMarks row;
        if (CQvGridItem* pItem = m_gridDates.QvGetInsertedGridItem(i)) {
            pItem->GetParam(eParamDateID, &row.lID);
            if (!pItem->GetParam(eParamChanged, &row.lChanged)) row.lChanged = 1;
        }
        marks.push_back(row);
    }
    const std::vector<long> deletedBefore = arrDeletedDateIDs;

    const long lReports = kurs::ReportCount();
    CString strError;
    CQvADOConnection conn;
    HRESULT hr = kurs::OpenConnection(conn);
    if (SUCCEEDED(hr)) {
        kurs::CKursTransaction trans(conn);
        hr = trans.Begin();
        // Nothing is written over what was stored since the page loaded it (the automatic closing
        // of runs writes without the lock).
        if (SUCCEEDED(hr)) hr = CheckStoredRecord();
        if (hr == eRecordDeleted || hr == eRecordChangedMeanwhile) {
            trans.End(E_ABORT);
            return hr;
        }
        if (SUCCEEDED(hr)) hr = SaveDates();
        if (SUCCEEDED(hr)) hr = kurs::Execute(conn, strSQL);
        if (SUCCEEDED(hr) && !strRemark.IsEmpty()) hr = kurs::Execute(conn, strRemark);
        if (SUCCEEDED(hr)) hr = SaveBudget();
        if (FAILED(hr)) ID_TRACEHR(hr);
        // The rollback empties the connection's errors: the failure is reported with its text.
        if (FAILED(hr)) conn.GetErrorText(strError);
        hr = trans.End(hr);
    }
    if (FAILED(hr)) {
        for (int i = 0; i < m_gridDates.GetInsertedItemCount() && std::size_t(i) < marks.size(); ++i)
            if (CQvGridItem* pItem = m_gridDates.QvGetInsertedGridItem(i)) {
                pItem->SetParam(eParamDateID, marks[std::size_t(i)].lID);
                pItem->SetParam(eParamChanged, marks[std::size_t(i)].lChanged);
            }
        arrDeletedDateIDs = deletedBefore;
    } else {
        CString strOrtText;
        if (m_cbOrt.GetSafeHwnd()) m_cbOrt.GetWindowText(strOrtText);
        CString strDetail;
        strDetail.Format(L"Bezeichnung :%s | Bemerkung:%s | Kursort:%s | Adresse:%s | Ort:%d (%s) | Leitung:%s | "
                         L"Treffpunkt:%s | Tenu:%s | Zielpublikum:%s | Kursziel:%s | Parkplatz:%s | Material:%s | "
                         L"MaxTeilnehmer:%d | MinInstruktor:%d | Geschlossen:%d | AnmeldenVon:%s | AnmeldenBis:%s | "
                         L"Dauer:%3.2f | Abgesagt:%s | Veröffentlichen ab:%s",
                         QvSQLString(strBezeichnung, 254), QvSQLString(strBemerkung, 100), QvSQLString(strOrt, 254),
                         QvSQLString(strAdresse, 100), lOrtID, strOrtText, QvSQLString(strLeitung, 254),
                         QvSQLString(strTreffpunkt, 254), QvSQLString(strTenu, 1024), QvSQLString(strZielpublikum, 254),
                         QvSQLString(strKursziel, 1024), QvSQLString(strParkplatz, 254), QvSQLString(strMaterial, 1024),
                         lMaxTeilnehmer, lMinInstruktor, fGeschlossen ? 1 : 0, dtAnmeldenVon.Format(),
                         dtAnmeldenBis.Format(), dblDauer, dtAbgesagt.Format(), dtPublish.Format());
        m_bClosedChosen = fGeschlossen;
        // The run is saved: a log entry that cannot be written does not make the save a failure.
        const long hrLog = kurs::WriteUserLog(1, IDS_LOG_KURSINSTANZ_UPDATED, strDetail, L"Ausbildung.Instanz", 0,
                                              kTableKursinstanz, guidKursinstanz, CQvGUID());
        if (FAILED(hrLog)) ID_TRACEHR(hrLog);
    }
    const HRESULT hrEvent = m_EventSource.FireEvent(kEventRunChanged, lKursinstanzID, FALSE);
    if (FAILED(hrEvent)) ID_TRACEHR(hrEvent);
    // A step that reported its failure (a unit that could not begin, a refused log entry) has
    // said it once.
    if (FAILED(hr) && kurs::ReportCount() == lReports) {
        const QvDBErrorHeadline headline(NQLoadString(IDS_NQ_SAVE_FAILED));
        if (strError.IsEmpty()) KURS_REPORTDBERROR(conn, hr);
        else QvReportDBErrorText(strError, hr, __FILE__, __LINE__);
    }
    return hr;
}

// ---- the registration window

BOOL CInstanzdatenDlg::IsRegistrationStarted() const {
    // The window as it is stored: from the start of its first day to the end of its last.
    const COleDateTime now = COleDateTime::GetCurrentTime();
    return (IsValid(dtAnmeldenVon) && DayOf(dtAnmeldenVon) < now) ||
           (IsValid(dtAnmeldenBis) && DayOf(dtAnmeldenBis, 23, 59, 59) < now);
}

BOOL CInstanzdatenDlg::ClosedByRegistrationWindow(BOOL bClosed) const {
    // The runs of the authorities are opened and closed by the central installation.
    if (lTyp != eAuthorityTypLokal && !NQ_IsEnterpriseEdition()) return bClosed;
    const COleDateTime now = COleDateTime::GetCurrentTime();
    // Without a closing date the window lasts until the run's first date (now without one).
    COleDateTime end = IsValid(dtAnmeldenBis) ? DayOf(dtAnmeldenBis, 23, 59, 59) : now;
    if (!IsValid(dtAnmeldenBis)) {
        bool bFirst = true;
        for (int i = 0; i < m_gridDates.GetItemCount(); ++i) {
            const CQvGridItem* pItem = m_gridDates.QvGetGridItem(i);
            const COleDateTime day = pItem ? pItem->GetColumnDate(eColStart) : NullDate();
            if (!IsValid(day)) continue;
            const COleDateTime time = pItem->GetColumnDate(eColStartTime);
            const COleDateTime start = IsValid(time) ? DayOf(day, time.GetHour(), time.GetMinute()) : DayOf(day);
            if (bFirst || start < end) end = start;
            bFirst = false;
        }
    }
    // Closed once the window has ended; opened while it runs, unless the run was cancelled.
    if (IsValid(dtAnmeldenBis) && end < now) return TRUE;
    if (!IsValid(dtAbgesagt) && IsValid(dtAnmeldenVon) && DayOf(dtAnmeldenVon) < now && now < end) return FALSE;
    return bClosed;
}

void CInstanzdatenDlg::ApplyRegistrationWindow() {
    fGeschlossen = ClosedByRegistrationWindow(fGeschlossen);
    if (GetDlgItem(IDC_INSTANZDATEN_GESCHLOSSEN)) CheckDlgButton(IDC_INSTANZDATEN_GESCHLOSSEN, fGeschlossen ? 1 : 0);
}

void CInstanzdatenDlg::FollowRegistrationWindow() {
    if (m_bLoading || !GetSafeHwnd()) return;
    // A window typed day by day passes through other windows: the box keeps to the user's choice
    // wherever the window leaves the run as it is.
    fGeschlossen = m_bClosedChosen;
    ApplyRegistrationWindow();
    LoadData();
}

void CInstanzdatenDlg::ProposeRegistrationWindow(BOOL bOpen, BOOL bClose) {
    COleDateTime first = NullDate();
    for (int i = 0; i < m_gridDates.GetInsertedItemCount(); ++i) {
        CQvGridItem* pItem = m_gridDates.QvGetInsertedGridItem(i);
        if (!pItem) continue;
        const COleDateTime start = pItem->GetColumnDate(eColStart);
        if (i == 0) first = start;
        else if (IsValid(start) && IsValid(first) && start < first) first = start;
    }
    COptionServer options;
    const long lFlags = ReadOption(options, L"AutoOpenAutoClose", 0);
    const BOOL bDoOpen = (lFlags & 1) && bOpen;
    const BOOL bDoClose = (lFlags & 2) && bClose;
    UpdateData(TRUE);
    if (bDoClose && IsValid(dtAnmeldenBis)) {
        const long lDays = ReadOption(options, L"AutoCloseBeforInstanz", 6);
        if (IsValid(first)) dtAnmeldenBis = DayOf(first, 23, 59, 59);
        else dtAnmeldenBis.SetNull();
        if (IsValid(dtAnmeldenBis)) dtAnmeldenBis -= COleDateTimeSpan(lDays, 0, 0, 0);
    }
    const long lMode = ReadOption(options, L"AutoOpenMode", 0);
    if (bDoOpen && IsValid(dtAnmeldenVon)) {
        const long lDays = ReadOption(options, L"AutoOpenAfterPublish", 28);
        const CQvDateTime* pBase = lMode == 0 ? &dtPublish : lMode == 1 ? &dtAnmeldenBis : nullptr;
        if (pBase && IsValid(*pBase)) dtAnmeldenVon = DayOf(*pBase) + COleDateTimeSpan(lDays, 0, 0, 0);
        else if (pBase) dtAnmeldenVon = Today();
    }
    UpdateData(FALSE);
}

void CInstanzdatenDlg::OnAnmeldenVonChange(NMHDR*, LRESULT* pResult) {
    *pResult = 0;
    BeginEdit();
    if (!IsValid(dtAnmeldenVon)) ProposeRegistrationWindow(TRUE, FALSE);
    else UpdateData(TRUE);
    FollowRegistrationWindow();
}

void CInstanzdatenDlg::OnAnmeldenBisChange(NMHDR*, LRESULT* pResult) {
    *pResult = 0;
    BeginEdit();
    if (!IsValid(dtAnmeldenBis)) ProposeRegistrationWindow(FALSE, TRUE);
    else UpdateData(TRUE);
    FollowRegistrationWindow();
}

void CInstanzdatenDlg::OnAbgesagtChange(NMHDR*, LRESULT* pResult) {
    *pResult = 0;
    BeginEdit();
    const BOOL bWasValid = IsValid(dtAbgesagt);
    UpdateData(TRUE);
    if (!bWasValid) {
        dtAbgesagt = Today();
        fGeschlossen = TRUE;
        m_bClosedChosen = TRUE;
        UpdateData(FALSE);
    }
    FollowRegistrationWindow();
}

void CInstanzdatenDlg::OnPublishChange(NMHDR*, LRESULT* pResult) {
    *pResult = 0;
    BeginEdit();
    const BOOL bWasValid = IsValid(dtPublish);
    UpdateData(TRUE);
    if (!bWasValid) {
        CQvDateTime dtOption;
        dtOption.SetNull();
        COptionServer options;
        options.GetOption(-1060, L"PublishDate", &dtOption, 1, 0);
        if (IsValid(dtOption)) dtPublish = dtOption;
        UpdateData(FALSE);
    }
}

// ---- the dates

void CInstanzdatenDlg::AddDateRow(const COleDateTime& dtStart, BOOL bStartTime, const COleDateTime& dtEnde,
                                  BOOL bEndTime, long lID, long lChanged) {
    CQvGridItem* pItem = nullptr;
    m_gridDates.QvAddItem(pItem, TRUE);
    pItem->SetParam(eParamDateID, lID);
    pItem->SetParam(eParamChanged, lChanged);
    pItem->SetColumnDate(eColStart, dtStart, 1, 0, CQvGridCtrl::eEditDate);
    pItem->SetColumnDate(eColStartTime, bStartTime ? dtStart : NullDate(), 0, 10, CQvGridCtrl::eEditTimeOrEmpty);
    pItem->SetColumnDate(eColEnde, dtEnde, 1, 0, CQvGridCtrl::eEditDateOrEmpty);
    pItem->SetColumnDate(eColEndeTime, bEndTime ? dtEnde : NullDate(), 0, 10, CQvGridCtrl::eEditTimeOrEmpty);
    pItem->Unlock();
}

HRESULT CInstanzdatenDlg::LoadDates() {
    // One row per stored date, whatever the grid showed before.
    m_gridDates.SetRedraw(FALSE, L"default");
    m_gridDates.DeleteAllItems();
    CQvADOConnection conn;
    CQvADORecordset rs(&conn);
    HRESULT hr = kurs::OpenConnection(conn);
    CString strSQL;
    strSQL.Format(L"SELECT lKursinstanzdateID, dtStart, dtEnde FROM Kursinstanzdate WHERE lKursinstanzID = %d ORDER BY "
                  L"dtStart",
                  lKursinstanzID);
    BOOL bEOF = TRUE;
    if (SUCCEEDED(hr)) hr = kurs::OpenRows(rs, strSQL, bEOF);
    while (SUCCEEDED(hr) && !bEOF) {
        long lID = 0;
        COleDateTime dtStart, dtEnde;
        hr = rs.GetFieldValue(L"lKursinstanzdateID", &lID);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"dtStart", &dtStart);
        if (SUCCEEDED(hr)) hr = rs.GetFieldValue(L"dtEnde", &dtEnde);
        if (FAILED(hr)) break;
        const BOOL bStartTime = !(dtStart.GetHour() == 0 && dtStart.GetMinute() == 0);
        const BOOL bEndTime = IsValid(dtEnde) && !(dtEnde.GetHour() == 23 && dtEnde.GetMinute() == 59);
        AddDateRow(dtStart, bStartTime, dtEnde, bEndTime, lID, 0);
        hr = rs.MoveNext(&bEOF);
    }
    rs.Close();
    m_gridDates.SetRedraw(TRUE, L"default");
    fDauerManuell = dblDauer != CalcKursdauer();
    if (FAILED(hr)) {
        ID_TRACEHR(hr);
        KURS_REPORTDBERROR(conn, hr);
    }
    return hr;
}

double CInstanzdatenDlg::CalcKursdauer() {
    const double h = kHalfSecond;
    double dblSum = 0.0;
    for (int i = 0; i < m_gridDates.GetItemCount(); ++i) {
        CQvGridItem* pItem = m_gridDates.QvGetGridItem(i);
        if (!pItem) continue;
        const COleDateTime end = pItem->GetColumnDate(eColEnde);
        const COleDateTime start = pItem->GetColumnDate(eColStart);
        // Without an end, or without a start to count from, the date is one day.
        if (!IsValid(end) || !IsValid(start)) {
            dblSum += 1.0;
            continue;
        }
        const double S = Linear(DayOf(start));
        const double E = Linear(DayOf(end));
        const double diff = E - S;
        const double d = std::trunc(diff >= 0 ? diff + h : diff - h);
        dblSum += std::floor(std::fabs(d)) + 1.0;
        const COleDateTime t1 = pItem->GetColumnDate(eColStartTime);
        const COleDateTime t2 = pItem->GetColumnDate(eColEndeTime);
        if (S - h < E && E < S + h && IsValid(t1) && IsValid(t2)) {
            const COleDateTime T1(2000, 1, 1, t1.GetHour(), t1.GetMinute(), t1.GetSecond());
            const COleDateTime T2(2000, 1, 1, t2.GetHour(), t2.GetMinute(), t2.GetSecond());
            const double t = Linear(T2) - Linear(T1);
            const double shifted = t >= 0 ? t + h : t - h;
            long lHours = static_cast<long>(std::trunc(shifted * 24.0));
            lHours -= 24 * static_cast<long>(std::trunc(shifted));
            lHours %= 24;
            if (lHours <= 4) dblSum -= 0.5;
        }
    }
    return dblSum;
}

void CInstanzdatenDlg::FollowDuration() {
    if (fDauerManuell) return;
    UpdateData(TRUE);
    dblDauer = CalcKursdauer();
    UpdateData(FALSE);
}

BOOL CInstanzdatenDlg::IsDateRowSelected() const {
    return m_gridDates.GetSafeHwnd() && m_gridDates.GetNextItem(-1, LVNI_SELECTED) >= 0;
}

void CInstanzdatenDlg::OnGridEndEdit(NMHDR* pNMHDR, LRESULT* pResult) {
    const auto* pGrid = reinterpret_cast<NMQVGRID*>(pNMHDR);
    *pResult = 0;
    CQvGridItem* pItem = pGrid->pItem;
    if (!pItem) return;
    // The row as the value typed makes it: a date may not end before it starts.
    COleDateTime cells[eColEndeTime + 1];
    for (int c = eColStart; c <= eColEndeTime; ++c) cells[c] = pItem->GetColumnDate(c);
    if (pGrid->nSubItem >= eColStart && pGrid->nSubItem <= eColEndeTime) {
        COleDateTime typed = NullDate();
        const bool bDay = pGrid->nSubItem == eColStart || pGrid->nSubItem == eColEnde;
        if (pGrid->pszText && *pGrid->pszText &&
            !qv::ParseDateEntry(pGrid->pszText, bDay ? qv::DateEntry::date : qv::DateEntry::time, typed))
            typed = NullDate();
        cells[pGrid->nSubItem] = typed;
    }
    // A date moved keeps its length: its end moves by as many days as its start.
    const COleDateTime oldStart = pItem->GetColumnDate(eColStart);
    const bool bMoveEnd = pGrid->nSubItem == eColStart && IsValid(cells[eColStart]) && IsValid(oldStart) &&
                          IsValid(cells[eColEnde]);
    if (bMoveEnd) cells[eColEnde] += DayOf(cells[eColStart]) - DayOf(oldStart);
    CString strStart, strEnd;
    if (EndsBeforeStart(cells[eColStart], cells[eColStartTime], cells[eColEnde], cells[eColEndeTime], strStart, strEnd)) {
        CString strText;
        strText.Format(KursLoadString(IDS_INSTANZDATEN_DATE_ORDER), strEnd, strStart);
        AfxMessageBox(strText, MB_OK | MB_ICONEXCLAMATION);
        *pResult = 1;
        return;
    }
    // Without the edit of the run nothing of the grid may change.
    if (BeginEdit() != eRecordEditing) {
        *pResult = 1;
        return;
    }
    if (bMoveEnd) pItem->SetColumnDate(eColEnde, cells[eColEnde], 1, 0, CQvGridCtrl::eEditDateOrEmpty);
    pItem->SetParam(eParamChanged, 1L);
}

void CInstanzdatenDlg::OnGridEditChange(NMHDR*, LRESULT* pResult) {
    // Typing into a cell begins the edit as typing into any field does.
    *pResult = 0;
    if (!m_bLoading) BeginEdit();
}

void CInstanzdatenDlg::OnGridCellChanged(NMHDR*, LRESULT* pResult) {
    *pResult = 0;
    BeginEdit();
    FollowDuration();
    FollowRegistrationWindow();
}

void CInstanzdatenDlg::OnGridItemChanged(NMHDR* pNMHDR, LRESULT* pResult) {
    *pResult = 0;
    const auto* pNM = reinterpret_cast<NMLISTVIEW*>(pNMHDR);
    if (pNM->iItem < 0 || m_bLoading) return;
    const bool bSelected = ((pNM->uNewState & LVIS_SELECTED) && pNM->uOldState == 0) ||
                           ((pNM->uNewState & LVIS_FOCUSED) && pNM->uOldState == LVIS_FOCUSED);
    const bool bLost = (pNM->uOldState & LVIS_SELECTED) && pNM->uNewState == 0;
    if (bSelected || bLost) LoadData();
}

void CInstanzdatenDlg::OnBnShiftDates() {
    CKursResourceScope scope;
    if (BeginEdit() != eRecordEditing) return;
    COleDateTime first = NullDate();
    for (int i = 0; i < m_gridDates.GetInsertedItemCount(); ++i) {
        const COleDateTime start = m_gridDates.QvGetInsertedGridItem(i)->GetColumnDate(eColStart);
        if (i == 0 || (IsValid(start) && IsValid(first) && start < first)) first = start;
    }
    if (!IsValid(first)) return;
    CGetDatumDlg dlg(this);
    dlg.dtDatum = first;
    if (dlg.DoModal() != IDOK || !IsValid(dlg.dtDatum)) return;
    const COleDateTimeSpan delta = DayOf(dlg.dtDatum) - DayOf(first);
    m_gridDates.SetRedraw(FALSE, L"default");
    for (int i = 0; i < m_gridDates.GetInsertedItemCount(); ++i) {
        CQvGridItem* pItem = m_gridDates.QvGetInsertedGridItem(i);
        pItem->Lock();
        const COleDateTime start = pItem->GetColumnDate(eColStart);
        if (IsValid(start)) pItem->SetColumnDate(eColStart, start + delta, 1, 0, CQvGridCtrl::eEditDate);
        const COleDateTime end = pItem->GetColumnDate(eColEnde);
        if (IsValid(end)) pItem->SetColumnDate(eColEnde, end + delta, 1, 0, CQvGridCtrl::eEditDateOrEmpty);
        pItem->SetParam(eParamChanged, 1L);
        pItem->Unlock();
    }
    m_gridDates.SetRedraw(TRUE, L"default");
    ProposeRegistrationWindow(TRUE, TRUE);
    FollowRegistrationWindow();
}

void CInstanzdatenDlg::OnBnNewDate() {
    CKursResourceScope scope;
    if (BeginEdit() != eRecordEditing) return;
    COleDateTime start = COleDateTime::GetCurrentTime();
    COleDateTime end = start;
    COleDateTime startTime = NullDate();
    COleDateTime endTime = NullDate();
    CQvGridItem* pTemplate = nullptr;
    for (int i = 0; i < m_gridDates.GetInsertedItemCount(); ++i) {
        CQvGridItem* pItem = m_gridDates.QvGetInsertedGridItem(i);
        const COleDateTime itemStart = pItem->GetColumnDate(eColStart);
        if (!pTemplate) pTemplate = pItem;
        else if (IsValid(itemStart) && IsValid(pTemplate->GetColumnDate(eColStart)) &&
                 pTemplate->GetColumnDate(eColStart) < itemStart)
            pTemplate = pItem;
    }
    if (pTemplate) {
        start = pTemplate->GetColumnDate(eColStart);
        end = pTemplate->GetColumnDate(eColEnde);
        startTime = pTemplate->GetColumnDate(eColStartTime);
        endTime = pTemplate->GetColumnDate(eColEndeTime);
    }
    const COleDateTimeSpan oneDay(1, 0, 0, 0);
    const COleDateTime newStart = DayOf(start) + oneDay;
    const COleDateTime newEnd = IsValid(end) ? DayOf(end) + oneDay : NullDate();
    m_gridDates.SetRedraw(FALSE, L"default");
    CQvGridItem* pItem = nullptr;
    m_gridDates.QvAddItem(pItem, TRUE);
    pItem->SetParam(eParamDateID, 0L);
    pItem->SetParam(eParamChanged, 1L);
    pItem->SetColumnDate(eColStart, newStart, 1, 0, CQvGridCtrl::eEditDate);
    pItem->SetColumnDate(eColStartTime, startTime, 0, 10, CQvGridCtrl::eEditTimeOrEmpty);
    pItem->SetColumnDate(eColEnde, newEnd, 1, 0, CQvGridCtrl::eEditDateOrEmpty);
    pItem->SetColumnDate(eColEndeTime, endTime, 0, 10, CQvGridCtrl::eEditTimeOrEmpty);
    pItem->Unlock();
    m_gridDates.SetRedraw(TRUE, L"default");
    FollowDuration();
    FollowRegistrationWindow();
    const int nLast = m_gridDates.GetItemCount() - 1;
    m_gridDates.SetEditAndSelection(nLast, eColStart);
}

void CInstanzdatenDlg::OnBnDeleteDate() {
    CKursResourceScope scope;
    long lID = 0;
    if (!NQ_GetSelectedParamValue(&m_gridDates, eParamDateID, lID)) return;
    if (m_gridDates.GetItemCount() == 1) {
        AfxMessageBox(KursLoadString(IDS_INSTANZDATEN_LASTDATE), MB_ICONINFORMATION);
        return;
    }
    if (BeginEdit() != eRecordEditing) return;
    const int nSelected = m_gridDates.GetNextItem(-1, LVNI_SELECTED);
    if (nSelected < 0) return;
    if (m_gridDates.IsEditing()) m_gridDates.EndEdit(FALSE);
    if (lID != 0) arrDeletedDateIDs.push_back(lID);
    m_gridDates.QvDeleteItem(nSelected);
    FollowDuration();
    FollowRegistrationWindow();
}

HRESULT CInstanzdatenDlg::SaveDates() {
    CQvADOConnection conn;
    HRESULT hr = kurs::OpenConnection(conn);
    for (int i = 0; SUCCEEDED(hr) && i < m_gridDates.GetItemCount(); ++i) {
        CQvGridItem* pItem = m_gridDates.QvGetGridItem(i);
        if (!pItem) continue;
        long lChanged = 1;
        if (!pItem->GetParam(eParamChanged, &lChanged)) lChanged = 1;
        if (lChanged == 0) continue;
        long lID = 0;
        pItem->GetParam(eParamDateID, &lID);
        const COleDateTime dateStart = pItem->GetColumnDate(eColStart);
        const COleDateTime timeStart = pItem->GetColumnDate(eColStartTime);
        const COleDateTime dateEnde = pItem->GetColumnDate(eColEnde);
        const COleDateTime timeEnde = pItem->GetColumnDate(eColEndeTime);
        CQvDateTime dtStart, dtEnde;
        if (IsValid(dateStart))
            dtStart = IsValid(timeStart) ? DayOf(dateStart, timeStart.GetHour(), timeStart.GetMinute(), 0) : DayOf(dateStart);
        else dtStart.SetNull();
        if (IsValid(dateEnde))
            dtEnde = IsValid(timeEnde) ? DayOf(dateEnde, timeEnde.GetHour(), timeEnde.GetMinute(), 0)
                                       : DayOf(dateEnde, 23, 59, 59);
        else dtEnde.SetNull();
        CString strSQL;
        if (lID == 0) {
            hr = kurs::GetUniqueID(conn, L"Kursinstanzdate", L"lKursinstanzdateID", lID);
            strSQL.Format(L"INSERT INTO Kursinstanzdate (lKursinstanzdateID, lKursinstanzID, dtStart, dtEnde) VALUES (%d, "
                          L"%d, %s, %s)",
                          lID, lKursinstanzID, dtStart.SQLConvert(), dtEnde.SQLConvert());
        } else {
            strSQL.Format(L"UPDATE Kursinstanzdate SET dtStart = %s, dtEnde = %s WHERE lKursinstanzdateID = %d",
                          dtStart.SQLConvert(), dtEnde.SQLConvert(), lID);
        }
        if (SUCCEEDED(hr)) hr = kurs::Execute(conn, strSQL);
        if (FAILED(hr)) break;
        pItem->SetParam(eParamDateID, lID);
        pItem->SetParam(eParamChanged, 0L);
        CString strDetail;
        strDetail.Format(L"Neue Kurszeiten: Begin:%s | Ende:%s", dtStart.Format(), dtEnde.Format());
        hr = kurs::WriteUserLog(1, IDS_LOG_KURSINSTANZ_UPDATED, strDetail, L"Ausbildung.Instanz", 0, kTableKursinstanz,
                                guidKursinstanz, CQvGUID());
    }
    while (SUCCEEDED(hr) && !arrDeletedDateIDs.empty()) {
        const long lID = arrDeletedDateIDs.front();
        // A date without an end still names its start in the log.
        CString strWhere, strText;
        strWhere.Format(L"lKursinstanzdateID = %d", lID);
        hr = QvDBLookupString(L"convert(varchar(20),dtStart, 120) + ' bis ' + isnull(convert(varchar(20),dtEnde, 120), '')",
                              L"Kursinstanzdate", strWhere, &strText, kurs::kProfile);
        BOOL bDeleted = FALSE;
        if (SUCCEEDED(hr)) {
            CString strSQL;
            strSQL.Format(L"DELETE Kursinstanzdate WHERE lKursinstanzdateID = %d", lID);
            hr = kurs::Execute(conn, strSQL);
            bDeleted = SUCCEEDED(hr);
        }
        arrDeletedDateIDs.erase(arrDeletedDateIDs.begin());
        if (bDeleted) {
            CString strDetail;
            strDetail.Format(L"Delete: %s", strText);
            hr = kurs::WriteUserLog(1, IDS_LOG_KURSINSTANZ_UPDATED, strDetail, L"Ausbildung.Instanz", 0,
                                    kTableKursinstanz, guidKursinstanz, CQvGUID());
        }
    }
    if (FAILED(hr)) {
        ID_TRACEHR(hr);
        KURS_REPORTDBERROR(conn, hr);
    }
    return hr;
}

CQvDateTime CInstanzdatenDlg::GetFirstKursDate(long lKursinstanzID) {
    CQvDateTime dt;
    dt.SetNull();
    CString strWhere;
    strWhere.Format(L"lKursinstanzID=%d", lKursinstanzID);
    QvDBLookupDate(L"isnull(min(dtStart),getdate())", L"Kursinstanzdate", strWhere, &dt, kurs::kProfile);
    return dt;
}

// ---- the budget

HRESULT CInstanzdatenDlg::LoadBudget() {
    if (!NQ_IsBudgetRunning()) return S_OK;
    HRESULT hr = NQ_GetActMandantID(lMandantID);
    const CQvDateTime dt = GetFirstKursDate(lKursinstanzID);

    BOOL bStandard = FALSE;
    lKontoIDAufwand = VRQ_GetKontoID(kTableKursinstanz, lKursinstanzID, eBudgetLinkAufwand, lMandantID, dt);
    if (lKontoIDAufwand == -1) {
        lKontoIDAufwand = VRQ_GetStdKontoID(eStandardkontoKursinstanz, eStandardkontoAufwand, lMandantID, dt);
        bStandard = TRUE;
    }
    lKontoIDAufwandLoaded = lKontoIDAufwand;
    if (SUCCEEDED(hr)) hr = VRQ_FillKontoCombo(&m_cbKontoAufwand, lMandantID, dt, bStandard, TRUE);

    bStandard = FALSE;
    lKontoIDErtrag = VRQ_GetKontoID(kTableKursinstanz, lKursinstanzID, eBudgetLinkErtrag, lMandantID, dt);
    if (lKontoIDErtrag == -1) {
        lKontoIDErtrag = VRQ_GetStdKontoID(eStandardkontoKursinstanz, eStandardkontoErtrag, lMandantID, dt);
        bStandard = TRUE;
    }
    lKontoIDErtragLoaded = lKontoIDErtrag;
    if (SUCCEEDED(hr)) hr = VRQ_FillKontoCombo(&m_cbKontoErtrag, lMandantID, dt, bStandard, TRUE);

    EBuchungssatzModifiedTyp eKind = eBuchungssatzModified;
    if (lKontoIDAufwand >= 0 && SUCCEEDED(hr))
        hr = VRQ_GetBudgetBuchungssatz(kTableKursinstanz, lKursinstanzID, eBudgetLinkAufwand, curAufwand, eKind);
    if (lKontoIDErtrag >= 0 && SUCCEEDED(hr))
        hr = VRQ_GetBudgetBuchungssatz(kTableKursinstanz, lKursinstanzID, eBudgetLinkErtrag, curErtrag, eKind);
    if (FAILED(hr)) ID_TRACEHR(hr);
    return hr;
}

HRESULT CInstanzdatenDlg::SaveBudget() {
    if (!NQ_IsBudgetRunning()) return S_OK;
    const CQvDateTime dt = GetFirstKursDate(lKursinstanzID);
    CString strText;
    strText.Format(KursLoadString(IDS_INSTANZDATEN_BUCHUNGSTEXT), strBezeichnung);

    HRESULT hr = S_OK;
    if (lKontoIDAufwand != lKontoIDAufwandLoaded)
        hr = VRQ_SaveKontoID(lKontoIDAufwand, kTableKursinstanz, lKursinstanzID, eBudgetLinkAufwand, lMandantID);
    long lKonto = lKontoIDAufwand == -1
                      ? VRQ_GetStdKontoID(eStandardkontoKursinstanz, eStandardkontoAufwand, lMandantID, dt)
                      : lKontoIDAufwand;
    if (lKonto >= 0 && SUCCEEDED(hr))
        hr = VRQ_SaveBudgetBuchungssatz(lKonto, kTableKursinstanz, lKursinstanzID, eBudgetLinkAufwand, dt, strText,
                                        eBuchungssatzModified, curAufwand, TRUE, FALSE);

    if (lKontoIDErtrag != lKontoIDErtragLoaded && SUCCEEDED(hr))
        hr = VRQ_SaveKontoID(lKontoIDErtrag, kTableKursinstanz, lKursinstanzID, eBudgetLinkErtrag, lMandantID);
    lKonto = lKontoIDErtrag == -1 ? VRQ_GetStdKontoID(eStandardkontoKursinstanz, eStandardkontoErtrag, lMandantID, dt)
                                  : lKontoIDErtrag;
    if (lKonto >= 0 && SUCCEEDED(hr))
        hr = VRQ_SaveBudgetBuchungssatz(lKonto, kTableKursinstanz, lKursinstanzID, eBudgetLinkErtrag, dt, strText,
                                        eBuchungssatzModified, curErtrag, TRUE, FALSE);

    if (SUCCEEDED(hr)) {
        CQvEventSource events;
        hr = events.FireEvent(kEventBudgetChanged, 0, FALSE);
    }
    if (FAILED(hr)) ID_TRACEHR(hr);
    return hr;
}
